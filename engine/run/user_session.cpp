#include "run/user_session.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>

#include "base/abort_sleep.h"
#include "base/ascii.h"
#include "base/message.h"
#include "http/connection_selector.h"
#include "http/json_value.h"
#include "loop/task_wait.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "regex/capture_template.h"
#include "run/entry_overrides.h"
#include "run/test_run.h"
#include "scripting/script_interrupt.h"
#include "scripting/scripted_frame.h"

namespace velk {
namespace {

// The value of the response header name in a header block (the last one when
// it comes more than once, so an interim 100 block's lines give way to the
// final answer's); none when the block lacks it.
std::optional<std::string_view> headerIn(std::string_view block, std::string_view name) {
    std::optional<std::string_view> found;
    while (!block.empty()) {
        const size_t eol = block.find('\n');
        std::string_view line = block.substr(0, eol);
        block = eol == std::string_view::npos ? std::string_view() : block.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() <= name.size() || line[name.size()] != ':' ||
            !equalsNoCase(line.substr(0, name.size()), name))
            continue;
        line.remove_prefix(name.size() + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        found = line;
    }
    return found;
}

const char* passName(int pass) {
    return pass == 0 ? "InitSeq" : pass == 1 ? "TestSeq" : "FinalSeq";
}

}  // namespace

UserSession::UserSession(TestRun& set, int32_t index)
    : m_set(set),
      m_index(index),
      m_http(set.test.options, set.test.headers, set.shared.currentTarget,
             set.shared.httpCounters) {
    m_http.userIndex = index;
    m_http.responseBudget = &set.shared.responseBudget;
}

void UserSession::resolve(const Sequence& seq, std::vector<RequestDef*>& entries,
                          std::vector<const std::string*>& arguments) {
    entries.clear();
    arguments.clear();
    for (size_t i = 0; i < seq.length(); ++i) {
        auto it = m_requests.find(seq[i].name);
        entries.push_back(it == m_requests.end() ? nullptr : &it->second);
        arguments.push_back(seq[i].arguments ? &*seq[i].arguments : nullptr);
    }
}

void UserSession::prepare() {
    const GeneralOptions& o = m_set.test.options;
    m_requests.clear();
    for (const auto& [name, def] : m_set.test.requests) {
        RequestDef& copy = m_requests.emplace(name, def->cloneForUser()).first->second;
        // A secure test's general port 80 becomes 443, for the requests that took
        // it as well as for the shared target.
        if (o.secure && copy.secure == 0 && !copy.portGiven && copy.port == 80) copy.port = 443;
    }
    resolve(m_set.test.initSeq, m_init, m_initArgs);
    resolve(m_set.test.testSeq, m_test, m_testArgs);
    resolve(m_set.test.finalSeq, m_final, m_finalArgs);
    // Counters start at start + user × step, so users count in ranges of their own.
    m_http.slots.assign(size_t(m_set.test.slotCount), 0);
    for (const auto& [name, def] : m_set.test.requests)
        for (const ParamEntry& entry : *def->params) initialiseSlots(entry.pieces);

    const int32_t positions = int32_t(m_set.test.testSeq.length());
    m_record.latency.clear();
    // Response times of every sequence: the test sequence's positions, then the
    // initial sequence's and the final sequence's (mergeRunLatency names them).
    if (!m_set.test.scriptDriven())
        m_record.latency.resize(size_t(positions) + m_init.size() + m_final.size());
    if (m_set.test.scriptDriven())
        m_record.results.prepare(ResultMode::Scripted, positions, 0, false);
    else if (o.nodetails)
        m_record.results.prepare(ResultMode::Aggregated, positions, o.requests, false);
    else
        m_record.results.prepare(ResultMode::Detailed, positions, o.requests, o.timestamp != 0);
}

void UserSession::initialiseSlots(const std::vector<ValuePiece>& pieces) {
    for (const ValuePiece& p : pieces) {
        if (p.kind == ValuePiece::Kind::Counter && p.slot >= 0 &&
            size_t(p.slot) < m_http.slots.size())
            m_http.slots[size_t(p.slot)] = int32_t(int64_t(p.first) + int64_t(m_index) * p.second);
        if (p.nested) initialiseSlots(*p.nested);
    }
}

void UserSession::exportVariables(const RequestDef& request) {
    if (request.exports.empty() && request.jsonExports.empty() && request.headerExports.empty())
        return;
    // The answer's header block and body; none without an answer.
    std::optional<std::string_view> head;
    std::string_view body;
    if (m_previousBody && *m_previousBody <= m_http.response.size()) {
        head = m_http.response.view().substr(0, *m_previousBody);
        body = m_http.response.view().substr(*m_previousBody);
    }
    for (const auto& [name, entry] : request.exports) {
        int32_t captures[20];
        int pairs = 10;
        if (m_previousBody && entry.pattern.regex &&
            entry.pattern.regex->match(body, captures, pairs))
            m_http.variables[name] = expandCaptureTemplate(entry.valueTemplate, body, captures,
                                                           pairs, TemplateDollars::kEscapes, 255);
        else
            m_http.variables.erase(name);
    }
    // A value found and not too long is kept; anything else forgets the name.
    const auto keep = [&](const std::string& name, std::optional<std::string_view> value,
                          const char* what, const std::string& where) {
        if (value && value->size() > kMaxJsonExport) {
            m_http.log.printf("%s %.200s is longer than %zu bytes, not kept\r\n", what,
                              where.c_str(), kMaxJsonExport);
            value.reset();
        }
        if (value)
            m_http.variables[name] = std::string(*value);
        else
            m_http.variables.erase(name);
    };
    for (const auto& [name, entry] : request.jsonExports) {
        std::optional<std::string> value;
        if (m_previousBody) value = jsonValue(m_http.log, body, entry.path, entry.pathText);
        keep(name, value, "JSON: the value at", entry.pathText);
    }
    for (const auto& [name, header] : request.headerExports)
        keep(name, head ? headerIn(*head, header) : std::nullopt, "Header", header);
}

void UserSession::openLog() {
    const GeneralOptions& o = m_set.test.options;
    if (!o.log) return;
    std::string dir = o.logdir;
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    std::string name = m_set.test.testName;
    if (size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
    char file[512];
    std::snprintf(file, sizeof file, "%s-%dx%d-user%d.log", name.c_str(), o.clients, o.requests,
                  m_index + 1);
    // An empty log directory means the current one (never the file system root).
    m_http.log.open(dir.empty() ? std::string(file) : dir + "/" + file);
}

int UserSession::run() {
    // Users that share a loop's thread still need seeds of their own.
    uint32_t identity = uint32_t(platform::currentThreadId());
    // (An odd multiplier maps distinct indexes to distinct values.)
    if (loop::taskLoop() != nullptr) identity ^= uint32_t(m_index) * 0x9E3779B9u;
    m_http.random.seed(uint32_t(platform::wallSeconds()) ^ identity);
    if (m_set.test.options.delaystart == 0) m_set.shared.startGate.wait();
    openLog();
    // A script may still make a last request during its grace after an abort
    // (its own watchdog stops it then); the margin lets that request finish.
    // With abortseq 0 a sequence-driven user finishes its pass after an abort:
    // its pauses end early and its requests still go, but for no longer than
    // one time-out in all, or a server that never stops sending would hold
    // the run for ever.
    int64_t graceMs = 0;
    if (m_set.test.scriptDriven())
        graceMs = kRunawayGraceMs + 1000;
    else if (m_set.test.options.abortseq == 0)
        graceMs = std::max<int64_t>(1000, int64_t(m_set.test.options.timeout) * 1000);
    m_http.abortWatch.watch(&m_set.shared.abortFlag, graceMs);
    m_http.connection.setAbortWatch(&m_http.abortWatch);
    if (const Status connection = setUpUserConnection(m_http); !connection) {
        // The connection has logged its own reason, when it had one.
        if (connection.message().empty()) m_http.log.write("ERROR: Cannot init sockets\r\n");
        m_http.log.close();
        return 0;
    }
    m_record.started = true;
    try {
        if (m_set.test.scriptDriven())
            runScript();
        else
            runSequences();
    } catch (const std::bad_alloc&) {
        report("FATAL EXCEPTION IN THREAD %d: out of memory!\r\n", m_index);
    } catch (...) {
        report("FATAL EXCEPTION IN THREAD %d!\r\n", m_index);
    }
    m_record.endTick = platform::tickMillis();
    m_record.sentAtEnd = m_set.shared.httpCounters.httpRequests.load(std::memory_order_relaxed);
    m_record.requestsMade = m_http.requestsMade;
    m_record.bytesSent = m_http.bytesSent;
    m_record.bytesReceived = m_http.bytesReceived;
    m_record.sendTimeMs = m_http.sendTimeMs;
    m_record.receiveTimeMs = m_http.receiveTimeMs;
    if (m_http.connection.isReusable()) m_http.connection.close();
    m_http.connection.releaseTls();
    m_http.log.close();
    return 1;
}

void UserSession::runScript() {
    m_record.startTick = platform::tickMillis();
    m_record.sentAtStart = m_set.shared.httpCounters.httpRequests.load(std::memory_order_relaxed);
    ScriptSession session{
        m_set.test,       m_set.shared,
        m_index,          m_http,
        m_requests,       m_previousBody,
        m_record.results, [this](const RequestDef& request) { exportVariables(request); }};
    runUserScript(session);
}

void UserSession::runSequences() {
    const GeneralOptions& o = m_set.test.options;
    m_record.startTick = platform::tickMillis();
    m_record.sentAtStart = m_set.shared.httpCounters.httpRequests.load(std::memory_order_relaxed);
    m_softReference = m_record.startTick;

    auto endOfPass = [&](bool initNetworkFailure) {
        ++m_http.completedPasses;
        return m_set.shared.abortFlag.load(std::memory_order_relaxed) != 0 ||
               maxRequestsReached() || initNetworkFailure;
    };

    if (!m_init.empty()) {
        int32_t last = runPass(Pass::Init, m_init, m_initArgs, 0);
        if (endOfPass(last == kResultNetwork)) return;
    }
    // newvisitor=1: what a visit gathers (cookies, variables, the page before)
    // belongs to that visit; each iteration starts from what the init sequence left.
    std::optional<VisitStart> visitStart;
    if (o.newvisitor)
        visitStart.emplace(VisitStart{m_http.cookies, m_http.variables, m_http.previousUrl});
    for (int32_t iteration = 0; iteration < o.requests; ++iteration) {
        if (visitStart && iteration > 0) {
            m_http.cookies = visitStart->cookies;
            m_http.variables = visitStart->variables;
            m_http.previousUrl = visitStart->previousUrl;
            m_previousBody.reset();
        }
        const bool stamp = o.timestamp && !o.nodetails && m_record.results.hasTimestamps();
        if (stamp) m_record.results.times(iteration).start = platform::wallSeconds();
        runPass(Pass::Test, m_test, m_testArgs, iteration);
        if (stamp) m_record.results.times(iteration).end = platform::wallSeconds();
        if (endOfPass(false)) return;
    }
    if (!m_final.empty()) {
        runPass(Pass::Final, m_final, m_finalArgs, 0);
        endOfPass(false);
    }
}

bool UserSession::stopRequested() const {
    return m_set.shared.abortFlag.load(std::memory_order_relaxed) != 0 &&
           m_set.test.options.abortseq;
}

bool UserSession::maxRequestsReached() const {
    const int32_t limit = m_set.userShare.maxRequests;
    return limit > 0 &&
           m_set.shared.httpCounters.httpRequests.load(std::memory_order_relaxed) > limit;
}

int32_t UserSession::runPass(Pass pass, const std::vector<RequestDef*>& entries,
                             const std::vector<const std::string*>& arguments, int32_t iteration) {
    const GeneralOptions& o = m_set.test.options;
    const bool test = pass == Pass::Test;
    int32_t last = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (stopRequested() || maxRequestsReached()) break;
        RequestDef* request = entries[k];
        if (!request) continue;  // the driver checks names before the run
        if (m_http.log.isOpen())
            m_http.log.printf("----- [%s]: %s(%d) -----\r\n", passName(int(pass)),
                              request->name.c_str(), int(m_http.completedPasses) + 1);

        // The entry's arguments hold for this run only: the request stays as defined.
        std::optional<EntryOverrides> overrides;
        const EffectiveRequest effective =
            arguments[k] ? overrides.emplace().apply(m_set.test, *request, *arguments[k])
                         : EffectiveRequest(*request);
        const int64_t startUs = platform::nowMicros();
        int32_t measuredUs = 0;
        ExchangeOutcome outcome;
        const bool observed = m_set.exchangeObserver != nullptr;
        int32_t result = executeRequest(m_http, effective, m_previousBody, &measuredUs,
                                        observed ? &outcome : nullptr);
        const int64_t elapsedUs = platform::nowMicros() - startUs;
        last = result;
        if (observed)
            m_set.exchangeObserver(
                m_set.exchangeContext,
                TestRun::Exchange{request->name, m_index, int32_t(m_http.completedPasses) + 1,
                                  result, outcome});

        if (stopRequested()) break;  // the request just made is not recorded
        if (result >= 0) exportVariables(*request);
        // On an error the rest of the pass is skipped, but counted as done.
        const bool endsPass = result < 0 && !o.ignoreerrors;
        if (test) {
            // Counted done before its result is recorded: a reader who takes the
            // live error counts and then this count sees no error without its
            // request, even while this user pauses.
            m_set.shared.requestsMade.fetch_add(endsPass ? int32_t(entries.size() - k) : 1,
                                                std::memory_order_relaxed);
            recordResult(int32_t(k), iteration, result);
        }
        // The response-time figures take the time before rounding: the report's
        // rounded times would make every percentile of a fast server 0.
        recordLatency(latencySlot(pass, k), result >= 0 ? measuredUs : result, *request, startUs,
                      elapsedUs);
        pause(*request);
        if (endsPass) break;
    }
    return last;
}

int32_t UserSession::latencySlot(Pass pass, size_t entry) const {
    const size_t test = m_set.test.testSeq.length();
    switch (pass) {
        case Pass::Test:
            return int32_t(entry);
        case Pass::Init:
            return int32_t(test + entry);
        case Pass::Final:
            return int32_t(test + m_init.size() + entry);
    }
    return -1;
}

void UserSession::recordResult(int32_t position, int32_t iteration, int32_t result) {
    UserResults& results = m_record.results;
    if (result < 0) m_set.shared.liveErrors.count(result);
    if (results.mode() == ResultMode::Aggregated) {
        if (result < 0)
            m_set.shared.errorCounters.count(result);
        else
            results.addTime(position, result);
    } else if (results.mode() == ResultMode::Detailed) {
        results.setCell(position, iteration, result);
    }
}

void UserSession::recordLatency(int32_t position, int32_t result, const RequestDef& request,
                                int64_t startUs, int64_t elapsedUs) {
    // Paced requests (softdelay, as `rate` sets it) are due an interval after the
    // previous one started; InitSeq and FinalSeq keep the schedule, unrecorded.
    const int64_t intervalUs =
        m_set.test.options.softdelay && request.delay > 0 ? int64_t(request.delay) * 1000 : 0;
    const int64_t latenessUs = m_nextIntendedUs > 0 ? startUs - m_nextIntendedUs : 0;
    m_nextIntendedUs = intervalUs > 0 ? startUs + intervalUs : 0;
    if (position >= 0 && result >= 0) m_set.shared.liveLatency.record(result);
    m_set.shared.liveRequests.record(m_set.shared.liveRequests.nameOf(position), result);
    if (position >= 0 && size_t(position) < m_record.latency.size())
        m_record.latency[size_t(position)].record(result, elapsedUs, latenessUs, intervalUs,
                                                  m_set.test.options.softdelay != 0);
}

void UserSession::pause(const RequestDef& r) {
    const int64_t min = r.delay, max = r.delayUpper;
    int64_t ms = 0;
    if (min > 0) {
        if (m_set.test.options.softdelay)
            ms = min - (platform::tickMillis() - m_softReference);
        else
            ms = max != 0
                     ? min + m_http.random.next(int32_t(std::min<int64_t>(max - min, INT32_MAX)))
                     : min;
    }
    loop::sleepOrStop(
        ms, [this] { return m_set.shared.abortFlag.load(std::memory_order_relaxed) != 0; },
        kAbortCheckMillis);
    m_softReference = platform::tickMillis();
}

}  // namespace velk
