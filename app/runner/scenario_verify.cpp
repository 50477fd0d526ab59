#include "app/runner/scenario_verify.h"

#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include "app/base/terminal_text.h"
#include "app/runner/global_variables.h"
#include "app/runner/runner.h"
#include "engine/base/mutex.h"
#include "engine/base/thread_annotations.h"
#include "velkcore.h"

namespace velk::runner {
namespace {

// Far more exchanges than a scenario's two iterations make: a script that
// loops cannot fill memory.
constexpr size_t kMaxExchanges = 100000;
constexpr size_t kMaxTitleScan = 64 * 1024;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

size_t findNoCase(std::string_view text, std::string_view token, size_t from) {
    if (token.empty() || text.size() < token.size()) return std::string_view::npos;
    for (size_t i = from; i + token.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < token.size() && lower(text[i + k]) == token[k]) ++k;
        if (k == token.size()) return i;
    }
    return std::string_view::npos;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string collapse(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (isBlank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The common character entities and numeric references; others stay as written.
std::string decodeEntities(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kNamed{
        {{"amp;", "&"},
         {"lt;", "<"},
         {"gt;", ">"},
         {"quot;", "\""},
         {"apos;", "'"},
         {"nbsp;", " "}}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::string_view rest = text.substr(i + 1);
        bool done = false;
        for (const auto& [name, value] : kNamed)
            if (rest.starts_with(name)) {
                out += value;
                i += name.size();
                done = true;
                break;
            }
        if (done) continue;
        if (rest.starts_with("#")) {
            const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            size_t k = hex ? 2 : 1;
            uint32_t cp = 0;
            size_t digits = 0;
            for (; k < rest.size() && digits < 8; ++k, ++digits) {
                const char c = lower(rest[k]);
                const int d = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                            : -1;
                if (d < 0) break;
                cp = cp * (hex ? 16 : 10) + uint32_t(d);
            }
            if (digits > 0 && k < rest.size() && rest[k] == ';') {
                appendUtf8(out, cp);
                i += k + 1;
                continue;
            }
        }
        out += '&';
    }
    return out;
}

bool statusClassGood(int32_t status) {
    return status >= 200 && status < 400;
}

std::string shown(int32_t status) {
    return status > 0 ? std::to_string(status) : "-";
}

std::string shownSize(int32_t size) {
    return size >= 0 ? std::to_string(size) : "-";
}

struct FreeSet {
    void operator()(TestSet* s) const { FreeTestSet(s); }
};

// The exchanges the engine tells of, on the user's thread.
struct PlayedExchanges {
    Mutex mutex;
    std::vector<ReplayedExchange> played GUARDED_BY(mutex);

    static void take(void* context, const VelkExchange* e) noexcept {
        auto& self = *static_cast<PlayedExchanges*>(context);
        try {
            ReplayedExchange r;
            r.name = e->name;
            r.iteration = e->iteration;
            r.status = e->status;
            if (e->status != 0) {
                const std::string_view body(e->body, size_t(std::max<int64_t>(e->bodySize, 0)));
                r.location = scenario::urlPath(e->location);
                r.title = pageTitle(body);
                r.size = int32_t(std::min<size_t>(body.size(), INT32_MAX));
            }
            r.failedCheck = e->result == VELK_RESULT_FAIL;
            MutexLock lock(self.mutex);
            if (self.played.size() < kMaxExchanges) self.played.push_back(std::move(r));
        } catch (...) {
            // Out of memory: the exchange is left out; the engine must not see it.
        }
    }
};

}  // namespace

bool VerifyReport::differs() const {
    return std::any_of(rows.begin(), rows.end(),
                       [](const VerifyRow& r) { return !r.differences.empty(); });
}

std::string VerifyRow::label() const {
    return iteration > 1 ? request + " (iteration " + std::to_string(iteration) + ")" : request;
}

int32_t VerifyReport::played() const {
    return int32_t(std::count_if(rows.begin(), rows.end(),
                                 [](const VerifyRow& r) { return r.iteration <= 1; }));
}

int32_t VerifyReport::differing() const {
    // A later iteration's row is there only for a request that had not differed.
    return int32_t(std::count_if(rows.begin(), rows.end(),
                                 [](const VerifyRow& r) { return !r.differences.empty(); }));
}

std::string VerifyReport::text() const {
    std::string out =
        "  request\trecorded status\treplayed status\trecorded redirect\treplayed redirect\t"
        "recorded title\treplayed title\trecorded size\treplayed size\tdifferences\n";
    for (const VerifyRow& r : rows) {
        const bool bad = !r.differences.empty();
        std::string what;
        for (const std::string& d : r.differences) what += (what.empty() ? "" : ", ") + d;
        out += bad ? "! " : "  ";
        // Names, locations and titles come from the scenario file and the server.
        out += base::escapeControls(r.label()) + "\t";
        out +=
            (r.recorded ? shown(r.recorded->status) : "-") + "\t" + shown(r.replayed.status) + "\t";
        out += (r.recorded ? base::escapeControls(r.recorded->location) : "-") + "\t" +
               base::escapeControls(r.replayed.location) + "\t";
        out += (r.recorded ? base::escapeControls(r.recorded->title) : "-") + "\t" +
               base::escapeControls(r.replayed.title) + "\t";
        out += (r.recorded ? shownSize(r.recorded->size) : "-") + "\t" +
               shownSize(r.replayed.size) + "\t";
        out += what + "\n";
    }
    const int32_t bad = differing();
    out += std::to_string(played()) + " requests played, " + std::to_string(bad) +
           (bad == 1 ? " differs" : " differ") + " from the recording\n";
    return out;
}

std::string pageTitle(std::string_view body) {
    body = body.substr(0, kMaxTitleScan);
    const size_t open = findNoCase(body, "<title", 0);
    if (open == std::string_view::npos) return {};
    const size_t start = body.find('>', open);
    if (start == std::string_view::npos) return {};
    const size_t close = findNoCase(body, "</title", start);
    if (close == std::string_view::npos) return {};
    std::string title = collapse(decodeEntities(body.substr(start + 1, close - start - 1)));
    return title.substr(0, scenario::RecordedOutcome::kMaxTitle * 4);
}

VerifyReport compareWithRecording(
    const std::vector<ReplayedExchange>& played,
    const std::map<std::string, scenario::RecordedOutcome>& recorded) {
    VerifyReport report;
    std::set<std::string> differed;
    for (const ReplayedExchange& e : played) {
        VerifyRow row;
        row.request = e.name;
        row.replayed = e;
        if (auto it = recorded.find(e.name); it != recorded.end()) row.recorded = it->second;
        auto& d = row.differences;
        if (e.status == 0) {
            d.emplace_back("no response");
        } else if (row.recorded) {
            const scenario::RecordedOutcome& r = *row.recorded;
            if (r.status != 0 && r.status != e.status) d.emplace_back("status");
            if (r.location != e.location) d.emplace_back("redirect");
            if (collapse(r.title) != e.title) d.emplace_back("title");
        } else {
            if (!statusClassGood(e.status)) d.emplace_back("status");
        }
        if (e.failedCheck && d.empty()) d.emplace_back("check");
        // A later iteration is listed where it differs and the request did not
        // differ before: a returning visitor's answer, not the same fault again.
        row.iteration = std::max(e.iteration, 1);
        const bool firstTime = d.empty() || differed.insert(e.name).second;
        if (row.iteration > 1 && (d.empty() || !firstTime)) continue;
        report.rows.push_back(std::move(row));
    }
    return report;
}

StatusOr<VerifyPlan> prepareVerify(const scenario::CScenario& scenario,
                                   const settings::GlobalSettings& settings) {
    if (scenario.requests().count() == 0)
        return Status(StatusCode::kInvalid, "The scenario has no requests.");
    StatusOr<std::string> generated = scenario.generateScript(settings);
    if (!generated) return generated.status();
    const std::string& text = *generated;
    VerifyPlan plan;
    // One pass as fast as the server answers: the recorded pauses are left out.
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string_view line(text.data() + at, end - at);
        if (!line.starts_with("$delay=")) plan.script.append(line);
        at = end;
    }
    // The global variables' values the Runner page keeps, as a run gets them.
    const std::vector<std::string> values =
        globalVariableArguments(globalVariablesUsed(plan.script), scenario.globalValues());
    if (!values.empty()) {
        plan.engineArgs.push_back("velk");
        plan.engineArgs.insert(plan.engineArgs.end(), values.begin(), values.end());
    }
    std::lock_guard<const scenario::CRequestsContainer> g(scenario.requests());
    for (const scenario::CRequest* r : scenario.requests().flattened()) {
        const std::string name =
            r->getName().empty() ? "req_" + std::to_string(r->getId()) : r->getName();
        if (r->getOutcome()) plan.recorded.emplace(name, *r->getOutcome());
    }
    return plan;
}

namespace {

// The one thing verify needs of the run besides the exchanges: whether it ran.
struct PassResult : RunnerEvents {
    void progress(int32_t, int32_t, const std::string&) override {}
    void firstBatchPassCollected() override {}
    void runFinished(bool) override {}
    void passEnded(TestSet*, const PassEnd& end) override { result = end.result; }
    int32_t result = 0;
};

}  // namespace

StatusOr<VerifyReport> runVerify(const VerifyPlan& plan) {
    if (plan.script.find('\0') != std::string::npos)
        return Status(StatusCode::kInvalid, "A text in the scenario holds a NUL byte.");
    std::unique_ptr<TestSet, FreeSet> set(CreateTestSet());
    if (!set) return Status(StatusCode::kInvalid, "Out of memory.");
    if (!plan.engineArgs.empty()) {
        // The engine cuts arguments at their "=": it gets its own copies.
        std::vector<std::string> args = plan.engineArgs;
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (ParseCommandLine(set.get(), int32_t(args.size()), argv.data()) != 1)
            return Status(StatusCode::kInvalid,
                          "The engine refused the command line (see the output).");
    }
    if (ParseTest(set.get(), "verify", plan.script.c_str()) != 1)
        return Status(StatusCode::kInvalid,
                      "The engine refused the scenario's script (see the output).");
    const std::string iterations = std::to_string(kVerifyIterations);
    const std::array<std::pair<const char*, std::string>, 8> overrides{{{"clients", "1"},
                                                                        {"requests", iterations},
                                                                        {"maxrequests", "0"},
                                                                        {"maxtime", "0"},
                                                                        {"delaystart", "0"},
                                                                        {"ignoreerrors", "1"},
                                                                        {"log", "0"},
                                                                        {"nodetails", "1"}}};
    for (const auto& [name, value] : overrides)
        if (ParseGeneralParam(set.get(), name, value.c_str()) != 1)
            return Status(StatusCode::kInvalid,
                          std::string("The engine refused the verify setting ") + name + ".");
    PlayedExchanges exchanges;
    SetExchangeObserver(set.get(), &exchanges, PlayedExchanges::take);
    // Played as every run is, by the runner; it frees the set before exchanges go.
    PassResult pass;
    Runner runner;
    runner.initialize(Runner::kHostEngine);
    if (!runner.run(set.release(), "verify", CycleSettings{}, &pass) || pass.result != 1)
        return Status(StatusCode::kInvalid,
                      "The engine could not play the scenario (see the output).");
    MutexLock lock(exchanges.mutex);
    return compareWithRecording(exchanges.played, plan.recorded);
}

}  // namespace velk::runner
