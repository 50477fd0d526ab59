#include "app/scenario/scenario.h"

#include <gtest/gtest.h>

#include <thread>

namespace velk::scenario {
namespace {

TEST(OutputLog, EachMessageIsItsKindWordAnArrowTheTextAndALineEnd) {
    base::OutputLog log;
    log.append(base::OutputLog::kMessage, "started");
    log.append(base::OutputLog::kWarning, "two\nlines");
    log.append(base::OutputLog::kFailure, "");
    log.append(7, "plain");
    EXPECT_EQ(log.text(),
              "MESSAGE>   started\r\nWARNING>   two\nlines\r\nFAILURE>   \r\n>   plain\r\n");
    log.clear();
    EXPECT_EQ(log.text(), "");
}

TEST(OutputLog, AppendsFromAWorkerWhileTheViewReadsStayWhole) {
    base::OutputLog log;
    constexpr int kLines = 2000;
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) log.append(base::OutputLog::kMessage, "line");
    });
    for (int i = 0; i < 200; ++i) {
        const std::string text = log.text();
        EXPECT_EQ(text.size() % std::string("MESSAGE>   line\r\n").size(), 0u);
    }
    worker.join();
    EXPECT_EQ(log.text().size(), kLines * std::string("MESSAGE>   line\r\n").size());
}

TEST(Scenario, ResetRestoresEverythingAndClearOnlyDropsRequests) {
    CScenario s;
    EXPECT_EQ(s.general().proxyMask, "");  // filled in by reset, not by construction
    s.reset();
    EXPECT_EQ(s.general().proxyMask, "192.168.$C2.$C1");
    s.general().keepAlive = true;
    s.general().projectName = "p";
    s.run().clients = 3;
    s.run().mainSequence = {"a"};
    s.requests().addChild(0, std::make_unique<CRequest>());
    s.requests().setInsertAfterId(1);

    s.clear();
    EXPECT_EQ(s.requests().count(), 0);
    EXPECT_EQ(s.requests().getInsertAfterId(), 0);
    EXPECT_TRUE(s.general().keepAlive);
    EXPECT_EQ(s.run().clients, 3);

    s.requests().addChild(0, std::make_unique<CRequest>());
    s.reset();
    EXPECT_EQ(s.requests().count(), 0);
    EXPECT_FALSE(s.general().keepAlive);
    EXPECT_EQ(s.general().projectName, "");
    EXPECT_EQ(s.run().clients, 20);
    EXPECT_TRUE(s.run().mainSequence.empty());
}

}  // namespace
}  // namespace velk::scenario
