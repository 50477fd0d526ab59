// The JavaScript example in examples/ against the demo site, as shipped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "demo_server.h"
#include "scripting/script_run.h"
#include "velkcore.h"

namespace velk::test {
namespace {

TEST(DemoShopJsExample, EveryShopperLogsInBrowsesItsRoundsAndSaysSo) {
    demo::DemoServer server;
    server.start(0);
    TempDir dir;
    MessageCapture messages;
    InitKS(0, 0);
    SetOutFunc(&messages, MessageCapture::sink);
    SetProgressReporter(nullptr, nullptr);  // progress lines would count as messages
    TestSet* set = CreateTestSet();

    constexpr int kUsers = 3;
    std::vector<std::string> args = {"velkrun", "-port=" + std::to_string(server.port()),
                                     "-users=" + std::to_string(kUsers),
                                     "-reports=" + dir.path().string()};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    ASSERT_EQ(ParseCommandLine(set, int32_t(argv.size()), argv.data()), 1);
    const std::string text = readFile(VELK_EXAMPLES_DIR "/demo-shop-js.txt");
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(ParseTest(set, "demo-shop-js.txt", text.c_str()), 1);
    ASSERT_EQ(ParseGeneralParam(set, "log", "1"), 1);
    ASSERT_EQ(ParseGeneralParam(set, "logdir", dir.path().c_str()), 1);
    ASSERT_EQ(RunTest(set), 1);

    for (int u = 0; u < kUsers; ++u) {
        SCOPED_TRACE(u);
        auto** queue = static_cast<int32_t**>(GetResults(set, u));
        ASSERT_NE(queue, nullptr);
        // Login form, login, then home, products, product and search per round.
        ASSERT_EQ((*queue)[0], 2 + 3 * 4);
        for (int i = 1; i <= (*queue)[0]; ++i) EXPECT_GE((*queue)[i], 0) << i;
        const std::string log = readFile(dir.file("demo-shop-js-" + std::to_string(kUsers) +
                                                  "x1-user" + std::to_string(u + 1) + ".log"));
        EXPECT_NE(log.find("--- notice from script ---\nshopper" + std::to_string(u) +
                           " browsed 3 rounds\n"),
                  std::string::npos);
    }
    EXPECT_TRUE(messages.lines().empty());

    std::string report;
    SaveResults(
        set, &report,
        [](void* sink, const char* piece) { *static_cast<std::string*>(sink) += piece; }, nullptr);
    EXPECT_NE(report.find("--- Client 2 ---\nloginform\tIteration start\tIteration end\t"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("--- Errors report ---"), std::string::npos) << report;

    FreeTestSet(set);
    SetOutFunc(nullptr, nullptr);
    CleanupKS();
}

}  // namespace
}  // namespace velk::test
