// newvisitor=1 in real runs: a framework login in the test sequence, which sends
// a signed-in visitor away from its form, holds in every iteration only when each
// iteration starts as a new visitor.  The server counts the sign-ins.
#include <gtest/gtest.h>

#include "common/message_capture.h"
#include "support/spa_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

struct Outcome {
    int errors = 0;
    int firstFailingIteration = -1;  // over both users; -1 when none failed
};

Outcome runFormLogin(SpaServer& server, bool newVisitor) {
    MessageCapture messages;
    SetOutFunc(&messages, MessageCapture::sink);
    SetProgressReporter(nullptr, nullptr);
    TestSet* set = CreateTestSet();
    const std::string script =
        "server=127.0.0.1\nport=" + std::to_string(server.port()) +
        "\nclients=2\nrequests=3\ndelaystart=0\nkeepalive=1\nnewvisitor=" +
        (newVisitor ? "1" : "0") +
        "\n[form]\n$uri=/login\n$fail=!/Log in/\n"
        "[signin]\n$method=POST\n$uri=/login\n_token=$Hidden(_token)\nuser=ann\npassword=secret\n"
        "$fail=!/Welcome, ann/\n[testseq]\nform\nsignin\n";
    Outcome out;
    EXPECT_EQ(ParseTest(set, "visitor", script.c_str()), 1) << messages.last();
    EXPECT_EQ(RunTest(set), 1) << messages.last();
    for (int32_t user = 0; user < 2; ++user) {
        auto** rows = static_cast<int32_t**>(GetResults(set, user));
        if (rows == nullptr) {
            ADD_FAILURE() << "no results for user " << user;
            continue;
        }
        for (int32_t position = 0; position < 2; ++position)
            for (int32_t iteration = 0; iteration < 3; ++iteration)
                if (rows[position][iteration] < 0) {
                    ++out.errors;
                    if (out.firstFailingIteration < 0 || iteration < out.firstFailingIteration)
                        out.firstFailingIteration = iteration;
                }
    }
    FreeTestSet(set);
    SetOutFunc(nullptr, nullptr);
    return out;
}

TEST(NewVisitor, FrameworkLoginInTheTestSequenceHoldsInEveryIteration) {
    SpaServer server;
    const Outcome outcome = runFormLogin(server, true);
    EXPECT_EQ(outcome.errors, 0);
    EXPECT_EQ(server.formSignIns(), 6);
    EXPECT_EQ(server.loginRedirects(), 0);
    EXPECT_EQ(server.formRefusals(), 0);
}

TEST(NewVisitor, WithoutTheOptionTheSecondIterationFindsItselfSignedIn) {
    SpaServer server;
    const Outcome outcome = runFormLogin(server, false);
    EXPECT_EQ(outcome.firstFailingIteration, 1);
    EXPECT_EQ(outcome.errors, 2 * 2 * 2);  // both requests of iterations 2 and 3, both users
    EXPECT_EQ(server.formSignIns(), 2);
    EXPECT_EQ(server.loginRedirects(), 4);
}

}  // namespace
}  // namespace velk::test
