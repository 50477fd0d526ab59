// Verify's page titles and its comparison with the recording.
#include "app/runner/scenario_verify.h"

#include <gtest/gtest.h>

#include "app/base/terminal_text.h"

namespace velk::runner {
namespace {

TEST(ScenarioVerify, PageTitles) {
    EXPECT_EQ(pageTitle("<TITLE lang=en>\n  J&eacute;r &amp; &#233;&#xE9; &lt;x&gt;\n</Title>"),
              "J&eacute;r & éé <x>");
    EXPECT_EQ(pageTitle("<p>no title</p>"), "");
    EXPECT_EQ(pageTitle("<title>never closed"), "");
    EXPECT_EQ(pageTitle("<title>&#0; &#99999999999;</title>"), "\xEF\xBF\xBD &#99999999999;");
}

TEST(ScenarioVerify, ComparesWithTheRecordingOrByStatusClass) {
    const std::map<std::string, scenario::RecordedOutcome> recorded{
        {"login", {200, "/account", "Your account", 10}}, {"form", {200, "", "Log in", 10}}};
    const std::vector<ReplayedExchange> played{
        {"form", 200, "", "Log in", 99, false},  // the size alone is no difference
        {"login", 200, "", "Log in", 99, true},  // landed back on the form
        {"typed", 200, "", "", 5, false},        // hand-written: 2xx is fine
        {"gone", 404, "", "", 5, false},         // hand-written: 4xx differs
        {"down", 0, "", "", -1, false},          // no response
        {"checked", 200, "", "", 5, true}};      // only the engine's check failed
    const VerifyReport report = compareWithRecording(played, recorded);
    using V = std::vector<std::string>;
    ASSERT_EQ(report.rows.size(), 6u);
    EXPECT_EQ(report.rows[0].differences, V{});
    EXPECT_EQ(report.rows[1].differences, (V{"redirect", "title"}));
    EXPECT_EQ(report.rows[2].differences, V{});
    EXPECT_EQ(report.rows[3].differences, V{"status"});
    EXPECT_EQ(report.rows[4].differences, V{"no response"});
    EXPECT_EQ(report.rows[5].differences, V{"check"});
    EXPECT_TRUE(report.differs());
    const std::string text = report.text();
    EXPECT_NE(
        text.find("! login\t200\t200\t/account\t\tYour account\tLog in\t10\t99\tredirect, title\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("  form\t"), std::string::npos);
    EXPECT_NE(text.find("6 requests played, 4 differ from the recording\n"), std::string::npos);
    EXPECT_FALSE(compareWithRecording({played[0]}, recorded).differs());
}

// A title that would retitle the terminal and clear it, sent raw and as
// character entities, and a recorded title from the file: printed escaped.
TEST(ScenarioVerify, ControlCharactersFromTheServerOrTheFileAreShownEscaped) {
    const std::string replayed = pageTitle("<title>&#27;]0;PWNED&#x7;\x1b[2J\xc2\x9b</title>");
    ASSERT_EQ(replayed, "\x1b]0;PWNED\x07\x1b[2J\xc2\x9b");
    const std::map<std::string, scenario::RecordedOutcome> recorded{
        {"home\x1b[31m", {200, "/a\x07", "Home\tpage\x1b[0m", 10}}};
    const std::string text =
        compareWithRecording({{"home\x1b[31m", 200, "", replayed, 10, false}}, recorded).text();
    EXPECT_EQ(text.find_first_of("\x1b\x07"), std::string::npos) << text;
    EXPECT_NE(text.find("! home\\x1b[31m\t200\t200\t/a\\x07\t\tHome\\x09page\\x1b[0m\t"
                        "\\x1b]0;PWNED\\x07\\x1b[2J\\u009b\t"),
              std::string::npos)
        << text;
    // Text of several lines keeps its tabs and line ends, and nothing else.
    EXPECT_EQ(base::escapeControlsKeepLines("a\tb\r\nc\rd\x7f\n"), "a\tb\r\nc\\x0dd\\x7f\n");
    EXPECT_EQ(base::escapeControls("caf\xc3\xa9 \xe2\x82\xac"), "caf\xc3\xa9 \xe2\x82\xac");
}

}  // namespace
}  // namespace velk::runner
