// The http2 option as a script states it: its three values, what it refuses, and
// that httpver still means only the HTTP/1.x minor version.
#include <gtest/gtest.h>

#include "base/message.h"
#include "common/message_capture.h"
#include "script/general_options.h"
#include "script/parsed_test.h"
#include "script/script_parser.h"

namespace velk {
namespace {

using test::MessageCapture;

class Http2Option : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_capture, MessageCapture::sink); }
    void TearDown() override { setOutFunc(nullptr, nullptr); }

    MessageCapture m_capture;
};

TEST_F(Http2Option, ScriptLinesSetItOrAreRefusedWithTheMessage) {
    struct Case {
        const char* line;
        bool accepted;
        int32_t http2;  // when accepted
    } cases[] = {
        {"", true, 0},
        {"http2=0\n", true, 0},
        {"http2=1\n", true, 1},
        {"http2=2\n", true, 2},
        {"http2=3\n", false, 0},
        {"http2=12\n", false, 0},
        {"http2=yes\n", false, 0},
        {"http2=\n", false, 0},
        {"httpver=2\n", false, 0},  // HTTP/2 is never an HTTP/1.x minor version
        {"httpver=0\nhttp2=1\n", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        m_capture.clear();
        ParsedTest test;
        const bool parsed = reportIfFailed(ScriptParser(test).parse(std::string(c.line) + "[a]\n"));
        EXPECT_EQ(parsed, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(test.options.http2, c.http2);
            EXPECT_EQ(m_capture.count(), 0u);
        }
    }
}

TEST_F(Http2Option, RefusalSaysWhichValuesItTakes) {
    ParsedTest test;
    EXPECT_FALSE(reportIfFailed(setGeneralOption(test, "http2", "on")));
    EXPECT_EQ(m_capture.last(), "Only 0, 1 or 2 expected as a value of http2");
    EXPECT_EQ(test.options.http2, 0);
}

TEST_F(Http2Option, StaysOutOfTheOrderedOptionTable) {
    // Scripts and the scripting interface enumerate that table by position.
    EXPECT_EQ(findOption("http2"), nullptr);
}

}  // namespace
}  // namespace velk
