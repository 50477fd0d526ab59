// The HTTP/2 choice among the global settings: kept inside "HTTPVersion" so the
// settings file keeps its keys, read back as written, and written into the
// generated script only when chosen.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/scenario/scenario.h"
#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "velkcore.h"

namespace velk::settings {
namespace {

TEST(Http2Settings, StoredInTheHttpVersionValueAndReadBack) {
    struct Case {
        int32_t httpVersion, http2;
        const char* stored;  // the HTTPVersion line of the file
        int32_t readVersion, readHttp2;
    } cases[] = {
        {0, 0, "HTTPVersion=0", 0, 0},
        {1, 0, "HTTPVersion=1", 1, 0},
        {1, 1, "HTTPVersion=2", 1, 1},
        {1, 2, "HTTPVersion=3", 1, 2},
        // HTTP/2 falls back to HTTP 1.1 only.
        {0, 2, "HTTPVersion=3", 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        velk::test::TempDir dir;
        GlobalSettings saved;
        GlobalSettings::Values v = saved.values();
        v.httpVersion = c.httpVersion;
        v.http2 = c.http2;
        ASSERT_TRUE(saved.setValues(v));
        {
            SettingsFile store(dir.file("VELK.conf"));
            ASSERT_TRUE(saved.save(store));
        }
        std::ifstream in(dir.file("VELK.conf"));
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find(std::string(c.stored) + "\n"), std::string::npos) << text;
        GlobalSettings loaded;
        SettingsFile store(dir.file("VELK.conf"));
        int read = 0;
        ASSERT_TRUE(loaded.load(store, &read));
        EXPECT_EQ(read, 12);
        EXPECT_EQ(loaded.httpVersion(), c.readVersion);
        EXPECT_EQ(loaded.http2(), c.readHttp2);
    }
}

std::string generated(int32_t http2) {
    GlobalSettings settings;
    GlobalSettings::Values v = settings.values();
    v.http2 = http2;
    EXPECT_TRUE(settings.setValues(v));
    scenario::CScenario scenario;
    scenario.reset();
    const StatusOr<std::string> made = scenario.generateScript(settings);
    EXPECT_TRUE(velk::test::isOk(made));
    return made ? *made : std::string();
}

TEST(Http2Settings, GeneratedScriptCarriesTheChoiceAndTheEngineTakesIt) {
    EXPECT_EQ(generated(0).find("http2="), std::string::npos);
    for (int32_t choice : {1, 2}) {
        const std::string text = generated(choice);
        const std::string expected = "httpver=1\r\nhttp2=" + std::to_string(choice) + "\r\n";
        EXPECT_NE(text.find(expected), std::string::npos) << text;
        InitKS(0, 0);
        TestSet* set = CreateTestSet();
        EXPECT_EQ(ParseTest(set, "generated", text.c_str()), 1) << text;
        FreeTestSet(set);
        CleanupKS();
    }
}

}  // namespace
}  // namespace velk::settings
