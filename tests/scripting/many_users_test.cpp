// Fifty scripted users at once, each with its own globals (as tasks sharing their
// loop's interpreter, or with VELK_SCRIPT_TASKS=0 an interpreter and thread each).
#include <gtest/gtest.h>

#include <map>

#include "scripting/script_run.h"

namespace velk::test {
namespace {

class ManyScriptedUsers : public ScriptRun {};

TEST_F(ManyScriptedUsers, FiftyUsersRunTheirScriptsSideBySide) {
    constexpr int kUsers = 50;
    constexpr int kRounds = 4;
    ASSERT_EQ(
        run("var me = velk.GetOpt(\"clid\");\n"
            "velk.AddRequest(\"mine\", \"/user\" + me);\n"
            "for (var i = 0; i < " +
                std::to_string(kRounds) +
                " && !velk.IsAborting(); i++) {\n"
                "  velk.SetParam(\"page\", \"round\", String(i));\n"
                "  velk.SetParam(\"page\", \"who\", me);\n"
                "  velk.Request(\"page\");\n"
                "  if (velk.Response().indexOf(\"who=\" + me) < 0) velk.Logit(\"not mine\");\n"
                "}\n"
                "velk.Request(\"mine\");\n"
                "var o = {}; o.self = o;\n",
            "clients=" + std::to_string(kUsers) + "\nkeepalive=1\n",
            "[page]\n$uri=/page\nround=\nwho=\n"),
        1);
    // Every user made its own requests, with its own values.
    std::map<std::string, int> perTarget;
    for (const std::string& t : targets()) ++perTarget[t];
    ASSERT_EQ(m_server.requestCount(), kUsers * (kRounds + 1));
    for (int u = 0; u < kUsers; ++u) {
        for (int i = 0; i < kRounds; ++i)
            EXPECT_EQ(perTarget["/page?round=" + std::to_string(i) + "&who=" + std::to_string(u)],
                      1)
                << u;
        EXPECT_EQ(perTarget["/user" + std::to_string(u)], 1);
        const std::vector<int32_t> r = results(u);
        ASSERT_EQ(r.size(), size_t(kRounds + 1)) << u;
        for (int32_t value : r) EXPECT_GE(value, 0);
    }
    EXPECT_EQ(m_progress.all().back(), std::make_pair(kUsers * (kRounds + 1), -1));
    EXPECT_TRUE(m_messages.lines().empty());
    const std::string text = report();
    EXPECT_NE(text.find("--- Client 49 ---\npage\t"), std::string::npos);
    EXPECT_EQ(text.find("--- Client 50 ---"), std::string::npos);
}

}  // namespace
}  // namespace velk::test
