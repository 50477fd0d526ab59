#pragma once
// Verify Scenario: plays a scenario with one user for two iterations and
// lists, per request played, what the server gave while recording and what it
// gave now (final status, redirect target, title, size), marking what
// differs.  The engine tells of each exchange as it ends
// (SetExchangeObserver): its status, its last redirect and its body, whose
// title is read, bounded.  The second iteration runs with what the first left
// (the user's cookies): a server that answers a returning visitor otherwise
// (a login page that redirects one who is signed in) differs there, and is
// listed with the iteration's number.  Requests without a recorded outcome
// (hand-written scenarios) are compared by status class only: any final
// status other than 2xx or 3xx, or no response, differs.
//
// prepareVerify runs where the scenario is (the user-interface thread);
// runVerify may run on any thread, but only while no other test runs in the
// process (the engine's output goes to its one output function).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/scenario/recorded_outcome.h"
#include "app/scenario/scenario.h"
#include "app/settings/global_settings.h"
#include "engine/base/status_or.h"

namespace velk::runner {

// What one played request got back, as the engine told of it.
struct ReplayedExchange {
    std::string name;
    int32_t status = 0;    // final status; 0 when no response came
    std::string location;  // path of the last redirect's Location, or empty
    std::string title;
    int32_t size = -1;         // bytes of the final body
    bool failedCheck = false;  // a check of the script failed on it
    int32_t iteration = 1;     // the user's pass it was played in, from 1
};

struct VerifyRow {
    std::string request;
    std::optional<scenario::RecordedOutcome> recorded;
    ReplayedExchange replayed;
    // What differs ("status", "redirect", "title", "no response"), or empty.
    std::vector<std::string> differences;
    int32_t iteration = 1;

    // The request's name, with "(iteration 2)" after it past the first.
    std::string label() const;
};

struct VerifyReport {
    // Every request of the first iteration, and of later iterations those
    // that differ there only.
    std::vector<VerifyRow> rows;
    bool differs() const;
    // The requests of one iteration, and how many of them differ in any.
    int32_t played() const;
    int32_t differing() const;
    // The table as text: one line per request, "!" before a differing one.
    std::string text() const;
};

struct VerifyPlan {
    std::string script;  // the scenario's script, without pauses
    // Arguments for the engine's command line (program name first): the
    // global variables the script reads with $gvar.  Empty: none.
    std::vector<std::string> engineArgs;
    std::map<std::string, scenario::RecordedOutcome> recorded;  // by request name
};

// The plan, or a status whose message says why the scenario makes no script
// (or has no requests).
StatusOr<VerifyPlan> prepareVerify(const scenario::CScenario& scenario,
                                   const settings::GlobalSettings& settings);

inline constexpr int32_t kVerifyIterations = 2;

// Plays the plan through the engine (InitKS done by the caller): the report,
// or a status whose message says why the engine refused the script or could
// not play it.
StatusOr<VerifyReport> runVerify(const VerifyPlan& plan);

// The page title in body: the text of its first <title>, entities decoded and
// white space collapsed; empty when there is none.
std::string pageTitle(std::string_view body);

// Rows for the played requests, compared with the recorded outcomes.
VerifyReport compareWithRecording(const std::vector<ReplayedExchange>& played,
                                  const std::map<std::string, scenario::RecordedOutcome>& recorded);

}  // namespace velk::runner
