#pragma once
// One virtual user: plays InitSeq once, TestSeq `requests` times and FinalSeq
// once over its own connection, with its own copies of the requests, cookies,
// variables and random generator, and records every result.
//
// A UserSession is prepared by the run driver, then run on its own thread; all
// of it is private to that thread until the thread ends.  It shares with the
// other users only what the TestRun shares (read-only options, atomic counters,
// the abort flag and the current target).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "http/http_session.h"
#include "http/request_executor.h"
#include "results/run_record.h"
#include "script/request_def.h"

namespace velk {

struct TestRun;

class Sequence;

class UserSession {
public:
    UserSession(TestRun& set, int32_t index);
    UserSession(const UserSession&) = delete;
    UserSession& operator=(const UserSession&) = delete;

    // Copies the request definitions, sets the per-user slots and makes the
    // result storage.  On the driver's thread, before the run.
    void prepare();
    // The user's whole life; on its own thread.  1 when it ran, 0 when its
    // connection could not be set up.
    int run();

    int32_t index() const { return m_index; }
    const UserRecord& record() const { return m_record; }
    UserRecord& record() { return m_record; }
    HttpSession& http() { return m_http; }

private:
    enum class Pass { Init, Test, Final };
    // The state a new visitor's iteration starts from (newvisitor=1).
    struct VisitStart {
        std::vector<std::pair<std::string, std::string>> cookies;
        std::map<std::string, std::string, std::less<>> variables;
        std::string previousUrl;
    };

    void openLog();
    void initialiseSlots(const std::vector<ValuePiece>& pieces);
    // Sets or removes the request's exported variables from the response just read.
    void exportVariables(const RequestDef& request);
    void runSequences();
    // A script-driven user: its script issues the requests.
    void runScript();
    // Plays one pass; returns the result of its last request (0 when none ran).
    int32_t runPass(Pass pass, const std::vector<RequestDef*>& entries,
                    const std::vector<const std::string*>& arguments, int32_t iteration);
    void recordResult(int32_t position, int32_t iteration, int32_t result);
    // The slot of a sequence entry among the user's response-time figures.
    int32_t latencySlot(Pass pass, size_t entry) const;
    // Response-time figures, with the pacing schedule that the intended start
    // times come from; position -1 keeps the schedule only.  result is the
    // time as measured (not rounded) or an error class.
    void recordLatency(int32_t position, int32_t result, const RequestDef& request, int64_t startUs,
                       int64_t elapsedUs);
    void pause(const RequestDef& request);
    bool stopRequested() const;
    bool maxRequestsReached() const;
    void resolve(const Sequence& seq, std::vector<RequestDef*>& entries,
                 std::vector<const std::string*>& arguments);

    TestRun& m_set;
    int32_t m_index;
    HttpSession m_http;
    std::map<std::string, RequestDef, std::less<>> m_requests;
    std::vector<RequestDef*> m_init, m_test, m_final;
    std::vector<const std::string*> m_initArgs, m_testArgs, m_finalArgs;
    UserRecord m_record;
    BodyRef m_previousBody;
    int64_t m_softReference = 0;
    int64_t m_nextIntendedUs = 0;  // when the next paced request is due; 0: none
};

}  // namespace velk
