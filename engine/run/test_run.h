#pragma once
// TestRun: a parsed test, what its run shares and the users of its last run;
// what the run driver and every user session work on.  It holds the parsed test
// and the shared part rather than being them, so each layer sees only its own.
//
// Parsed and configured on the caller's thread; during a run `test` is read-only
// and `shared` is used as SharedRun says.  `userShare`, `loopThreads` and `run`
// belong to the caller's thread (the driver runs on it).
#include <memory>
#include <string>

#include "http/request_executor.h"
#include "results/shared_run.h"
#include "run/run_state.h"
#include "run/user_share.h"
#include "script/parsed_test.h"

namespace velk {

struct TestRun {
    ParsedTest test;
    SharedRun shared;
    // A run shared with other processes (SelectUsers, SetStartBarrier).
    UserShare userShare;
    // Event-loop threads for sequence-driven users; 0 is one per processor.
    int32_t loopThreads = 0;
    // Told of every sequence request a user has made (SetExchangeObserver), on
    // that user's thread; null for none.  Set before RunTest.
    struct Exchange {
        const std::string& name;
        int32_t user;       // the global index, from 0
        int32_t iteration;  // the user's pass, from 1
        int32_t result;     // the recorded time or error class
        const ExchangeOutcome& outcome;
    };
    void (*exchangeObserver)(void* context, const Exchange& exchange) = nullptr;
    void* exchangeContext = nullptr;
    // The users of the last run; none before a run and after CleanKS.
    std::unique_ptr<RunState> run;

    TestRun() = default;
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;
    // A run still going (a host that frees its test set too early) is stopped
    // and waited for rather than left touching freed memory.
    ~TestRun() {
        shared.abortFlag.store(1);
        shared.startGate.open();
        run.reset();
    }
};

}  // namespace velk
