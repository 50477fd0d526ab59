#include "app/runner/scenario_verify.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <set>

#include "app/base/file_io.h"
#include "app/base/terminal_text.h"
#include "app/runner/global_variables.h"
#include "velkcore.h"

namespace velk::runner {
namespace {

// A verify plays one user twice; its log holds every byte of every response.
constexpr size_t kMaxLog = size_t(64) << 20;
constexpr size_t kMaxTitleScan = 64 * 1024;

bool startsAt(std::string_view text, size_t pos, std::string_view token) {
    return text.substr(pos, token.size()) == token;
}

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

// The earliest of the log's own lines at or after from, at a line start.
size_t nextMarker(std::string_view log, size_t from) {
    static constexpr std::array<std::string_view, 3> kTokens{"----- [", "Response:\r\n", "FAIL: "};
    size_t best = std::string_view::npos;
    for (std::string_view token : kTokens) {
        for (size_t at = log.find(token, from); at != std::string_view::npos && at < best;
             at = log.find(token, at + 1)) {
            if (at == 0 || log[at - 1] == '\n') {
                best = at;
                break;
            }
        }
    }
    return best;
}

std::string_view headerValue(std::string_view head, std::string_view name) {
    for (size_t at = 0; at < head.size();) {
        size_t end = head.find("\r\n", at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(at, end - at);
        at = end + 2;
        if (line.size() <= name.size() || line[name.size()] != ':') continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k) same = lower(line[k]) == name[k];
        if (!same) continue;
        std::string_view value = line.substr(name.size() + 1);
        while (!value.empty() && isBlank(value.front())) value.remove_prefix(1);
        while (!value.empty() && isBlank(value.back())) value.remove_suffix(1);
        return value;
    }
    return {};
}

int32_t statusOf(std::string_view head) {
    // "HTTP/1.x NNN"
    if (!head.starts_with("HTTP/") || head.size() < 12) return 0;
    const size_t blank = head.find(' ');
    if (blank == std::string_view::npos || blank + 4 > head.size()) return 0;
    int32_t status = 0;
    for (size_t k = blank + 1; k < blank + 4; ++k) {
        if (head[k] < '0' || head[k] > '9') return 0;
        status = status * 10 + (head[k] - '0');
    }
    return status;
}

// The pass number of a log's request line, "(2)" from at; 1 when unreadable.
int32_t iterationAt(std::string_view line, size_t at) {
    int32_t n = 0;
    size_t digits = 0;
    for (; at < line.size() && digits < 9 && line[at] >= '0' && line[at] <= '9'; ++at, ++digits)
        n = n * 10 + (line[at] - '0');
    return digits > 0 && at < line.size() && line[at] == ')' && n > 0 ? n : 1;
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

struct TempFolder {
    std::string path;
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

struct FreeSet {
    void operator()(TestSet* s) const { FreeTestSet(s); }
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

std::vector<ReplayedExchange> readUserLog(std::string_view log) {
    std::vector<ReplayedExchange> out;
    size_t pos = nextMarker(log, 0);
    while (pos != std::string_view::npos && pos < log.size()) {
        size_t next = pos + 1;
        if (startsAt(log, pos, "----- [")) {
            size_t end = log.find("\r\n", pos);
            if (end == std::string_view::npos) end = log.size();
            const std::string_view line = log.substr(pos, end - pos);
            ReplayedExchange e;
            const size_t nameAt = line.find("]: ");
            const size_t paren = line.rfind('(');
            if (nameAt != std::string_view::npos && paren != std::string_view::npos &&
                paren > nameAt) {
                e.name = std::string(line.substr(nameAt + 3, paren - nameAt - 3));
                e.iteration = iterationAt(line, paren + 1);
            }
            out.push_back(std::move(e));
            next = end;
        } else if (startsAt(log, pos, "FAIL: ")) {
            if (!out.empty()) out.back().failedCheck = true;
        } else if (!out.empty()) {
            // A response: its head, then its body by Content-Length, or up to
            // the log's next line of its own.
            const size_t headAt = pos + 11;
            const size_t headEnd = log.find("\r\n\r\n", headAt);
            if (headEnd == std::string_view::npos) break;
            const std::string_view head = log.substr(headAt, headEnd - headAt);
            const size_t bodyAt = headEnd + 4;
            size_t bodyEnd = std::string_view::npos;
            const std::string_view length = headerValue(head, "content-length");
            if (!length.empty() && length.size() < 12 &&
                std::all_of(length.begin(), length.end(),
                            [](char c) { return c >= '0' && c <= '9'; })) {
                const size_t n = std::stoull(std::string(length));
                if (n <= log.size() - bodyAt) bodyEnd = bodyAt + n;
            }
            if (bodyEnd == std::string_view::npos) {
                bodyEnd = nextMarker(log, bodyAt);
                if (bodyEnd == std::string_view::npos) bodyEnd = log.size();
            }
            ReplayedExchange& e = out.back();
            const int32_t status = statusOf(head);
            if (status != 100) {
                e.status = status;
                if (status == 301 || status == 302 || status == 303 || status == 307 ||
                    status == 308)
                    e.location = scenario::urlPath(headerValue(head, "location"));
                const std::string_view body = log.substr(bodyAt, bodyEnd - bodyAt);
                e.title = pageTitle(body);
                e.size = int32_t(std::min<size_t>(body.size(), INT32_MAX));
            }
            next = std::max(bodyEnd, headAt);
        }
        pos = nextMarker(log, next);
    }
    return out;
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

bool prepareVerify(const scenario::CScenario& scenario, const settings::GlobalSettings& settings,
                   VerifyPlan& plan, std::string& error) {
    if (scenario.requests().count() == 0) {
        error = "The scenario has no requests.";
        return false;
    }
    std::string text;
    if (!scenario.generateScript(settings, text, error)) return false;
    // One pass as fast as the server answers: the recorded pauses are left out.
    plan.script.clear();
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string_view line(text.data() + at, end - at);
        if (!line.starts_with("$delay=")) plan.script.append(line);
        at = end;
    }
    // The global variables' values the Runner page keeps, as a run gets them.
    plan.engineArgs.clear();
    const std::vector<std::string> values =
        globalVariableArguments(globalVariablesUsed(plan.script), scenario.globalValues());
    if (!values.empty()) {
        plan.engineArgs.push_back("velk");
        plan.engineArgs.insert(plan.engineArgs.end(), values.begin(), values.end());
    }
    plan.recorded.clear();
    std::lock_guard<const scenario::CRequestsContainer> g(scenario.requests());
    for (const scenario::CRequest* r : scenario.requests().flattened()) {
        const std::string name =
            r->getName().empty() ? "req_" + std::to_string(r->getId()) : r->getName();
        if (r->getOutcome()) plan.recorded.emplace(name, *r->getOutcome());
    }
    return true;
}

bool runVerify(const VerifyPlan& plan, VerifyReport& report, std::string& error) {
    if (plan.script.find('\0') != std::string::npos) {
        error = "A text in the scenario holds a NUL byte.";
        return false;
    }
    TempFolder folder;
    std::string pattern = (std::filesystem::temp_directory_path() / "velk-verify-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        error = "No folder for the verify log can be made in " +
                std::filesystem::temp_directory_path().string() + ".";
        return false;
    }
    folder.path = pattern;
    std::unique_ptr<TestSet, FreeSet> set(CreateTestSet());
    if (!set) {
        error = "Out of memory.";
        return false;
    }
    if (!plan.engineArgs.empty()) {
        // The engine cuts arguments at their "=": it gets its own copies.
        std::vector<std::string> args = plan.engineArgs;
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (ParseCommandLine(set.get(), int32_t(args.size()), argv.data()) != 1) {
            error = "The engine refused the command line (see the output).";
            return false;
        }
    }
    if (ParseTest(set.get(), "verify", plan.script.c_str()) != 1) {
        error = "The engine refused the scenario's script (see the output).";
        return false;
    }
    const std::string iterations = std::to_string(kVerifyIterations);
    const std::array<std::pair<const char*, std::string>, 9> overrides{{{"clients", "1"},
                                                                        {"requests", iterations},
                                                                        {"maxrequests", "0"},
                                                                        {"maxtime", "0"},
                                                                        {"delaystart", "0"},
                                                                        {"ignoreerrors", "1"},
                                                                        {"log", "1"},
                                                                        {"logdir", folder.path},
                                                                        {"nodetails", "1"}}};
    for (const auto& [name, value] : overrides)
        if (ParseGeneralParam(set.get(), name, value.c_str()) != 1) {
            error = std::string("The engine refused the verify setting ") + name + ".";
            return false;
        }
    if (RunTest(set.get()) != 1) {
        error = "The engine could not play the scenario (see the output).";
        return false;
    }
    // The one user's log, whatever the engine named it.
    std::string logPath;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path, ec))
        if (entry.path().extension() == ".log") logPath = entry.path().string();
    std::string log;
    if (logPath.empty()) {
        error = "The engine wrote no log of the verify run.";
        return false;
    }
    if (!base::readRegularFile(logPath, kMaxLog, log, error)) {
        error = "The verify log cannot be read: " + error;
        return false;
    }
    report = compareWithRecording(readUserLog(log), plan.recorded);
    return true;
}

}  // namespace velk::runner
