#pragma once
// TestSet: one parsed test and its last run, behind the opaque handle of the C
// interface.
//
// Created and freed by its caller through the exports; parsed and configured on
// the caller's thread.  During a run the options, request definitions and
// sequences are read-only.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/text_buffer.h"
#include "http/current_target.h"
#include "http/http_counters.h"
#include "http/response_budget.h"
#include "results/run_record.h"
#include "run/run_state.h"
#include "run/start_gate.h"
#include "run/user_share.h"
#include "script/general_options.h"
#include "script/request_def.h"

namespace velk {

// Longest test name kept; longer names are cut.
inline constexpr size_t kMaxTestName = 255;

struct SequenceEntry {
    std::string name;
    std::optional<std::string> arguments;  // from the first "(" on, closing ")" included
};

// An ordered list of sequence entries.  Its length can be set back without losing
// the entries behind it, which an include relies on when it adds nothing.
class Sequence {
public:
    void append(SequenceEntry entry) {
        if (m_length < m_entries.size())
            m_entries[m_length] = std::move(entry);
        else
            m_entries.push_back(std::move(entry));
        ++m_length;
    }
    void setLength(size_t length) { m_length = length < m_entries.size() ? length : m_entries.size(); }
    size_t length() const { return m_length; }
    const SequenceEntry& operator[](size_t i) const { return m_entries[i]; }

private:
    std::vector<SequenceEntry> m_entries;
    size_t m_length = 0;
};

}  // namespace velk

struct TestSet {
    std::string testName;
    velk::GeneralOptions options;
    std::map<std::string, std::unique_ptr<velk::RequestDef>, std::less<>> requests;
    int32_t requestSectionCount = 0;
    velk::Sequence initSeq;
    velk::Sequence testSeq;
    velk::Sequence finalSeq;
    std::vector<std::string> headers;
    std::unique_ptr<velk::TextBuffer> scriptText;
    std::map<std::string, std::string, std::less<>> globals;
    int32_t slotCount = 0;

    // Shared by the users of a run.
    velk::CurrentTarget currentTarget;
    velk::HttpCounters httpCounters;
    velk::ResponseBudget responseBudget;
    std::atomic<int32_t> abortFlag{0};
    std::atomic<int32_t> requestsMade{0};  // test-sequence entries done by all users
    std::atomic<int32_t> scriptLoadFailureSaid{0};  // every user fails alike: said once
    velk::ErrorCounters errorCounters;
    // What a host shows while the run goes on: every error by class, whatever
    // the results mode, and the users whose thread is running.
    velk::ErrorCounters liveErrors;
    std::atomic<int32_t> usersActive{0};
    velk::StartGate startGate;
    // A run shared with other processes (SelectUsers, SetStartBarrier).
    velk::UserShare userShare;
    velk::RunTimes runTimes;
    // The users of the last run; none before a run and after CleanKS.
    std::unique_ptr<velk::RunState> run;

    // A run still going (a host that frees its test set too early) is stopped
    // and waited for rather than left touching freed memory.
    ~TestSet() {
        abortFlag.store(1);
        startGate.open();
        run.reset();
    }

    void setTestName(std::string_view name) { testName.assign(name.substr(0, velk::kMaxTestName)); }
    bool scriptDriven() const { return !options.script.empty(); }
};
