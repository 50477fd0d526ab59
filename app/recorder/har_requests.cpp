// A HAR visit's entries as the scenario's requests: method, URL, headers, the
// body as a form's fields or a content block, the pauses and the recorded
// outcome that checks and verify compare with.
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/base/ascii_text.h"
#include "app/recorder/har_import.h"
#include "app/recorder/new_recording.h"
#include "app/scenario/recorded_outcome.h"
#include "app/scenario/scenario.h"

namespace velk::recorder {
namespace {

using base::asciiLowered;

// A body as the script's "<<" block: JSON loses its line breaks (blanks to
// JSON); other text keeps its lines (the script drops empty ones, leading blanks
// and lines beginning with ";", and ends each line in LF).
std::string contentBlock(const std::string& body, bool json) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < body.size()) {
        size_t lineEnd = body.find_first_of("\r\n", start);
        if (lineEnd == std::string::npos) lineEnd = body.size();
        lines.push_back(body.substr(start, lineEnd - start));
        if (lineEnd + 1 < body.size() && body[lineEnd] == '\r' && body[lineEnd + 1] == '\n')
            ++lineEnd;
        start = lineEnd + 1;
    }
    // The end line must not be a line of the body.
    const std::set<std::string> taken(lines.begin(), lines.end());
    std::string end = "VELK_BODY_END";
    for (size_t n = 2; taken.count(end); ++n) end = "VELK_BODY_END" + std::to_string(n);
    std::string out = "<<" + end;
    for (size_t i = 0; i < lines.size(); ++i) out += (json && i > 0 ? " " : "\r\n") + lines[i];
    return out + "\r\n" + end;
}

void addParam(scenario::CRequest& r, const std::string& name, const std::string& value,
              bool encode) {
    auto param = std::make_unique<scenario::CReqParam>();
    param->setNameAndEncode(name, encode);
    auto f = std::make_unique<scenario::CReqParamFunction>();
    f->makeLiteral(value);
    param->insert(-1, std::move(f));
    r.insertParam(-1, std::move(param));
}

// The outcome kept for checks and --verify: status and, for a page, its title.
scenario::RecordedOutcome outcomeOf(const ScriptExchange& e) {
    scenario::RecordedOutcome o;
    o.status = e.status;
    const std::string body = asciiLowered(e.responseBody.substr(0, 65536));
    const size_t open = body.find("<title>");
    const size_t close = open == std::string::npos ? open : body.find("</title>", open);
    if (asciiLowered(e.responseType).find("html") != std::string::npos &&
        close != std::string::npos) {
        bool blank = false;
        for (char c : std::string_view(e.responseBody).substr(open + 7, close - open - 7)) {
            const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
            if (space) {
                blank = !o.title.empty();
                continue;
            }
            if (blank) o.title += ' ';
            blank = false;
            o.title += c;
        }
        o.title = o.title.substr(0, scenario::RecordedOutcome::kMaxTitle);
    }
    return o;
}

}  // namespace

std::vector<ScriptExchange> addHarRequests(scenario::CScenario& scenario, const HarVisit& visit) {
    prepareRecordingScenario(scenario);
    std::vector<ScriptExchange> out;
    scenario::CRequestsContainer& requests = scenario.requests();
    scenario::CRequest* previous = nullptr;
    for (const HarEntry& entry : visit.entries) {
        ScriptExchange e = entry.exchange;
        auto r = std::make_unique<scenario::CRequest>();
        for (int32_t m = 1; m <= scenario::CRequest::kMethodCount; ++m)
            if (scenario::CRequest::methodName(m) == e.method) r->setMethod(m);
        r->setUrl(e.url);
        const std::string type = asciiLowered(e.contentType);
        const bool form = type.starts_with("application/x-www-form-urlencoded");
        r->setContentType(e.contentType.empty() ? (e.body.empty() ? "text/html" : "text/plain")
                                                : e.contentType);
        for (const auto& [name, value] : e.headers)
            addParam(*r, kHeaderParam, name + ": " + value, false);
        if (form) {
            // A form: its fields, so the editor shows them one by one.
            for (const auto& [name, value] : decodeFormPairs(e.body))
                addParam(*r, name, value, true);
        } else if (!e.body.empty()) {
            addParam(*r, kContentParam,
                     contentBlock(e.body, type.find("json") != std::string::npos), false);
        }
        // The pause the visitor took before this request is the delay after the last one.
        if (previous) {
            previous->setDelayFrom(entry.pauseSeconds);
            previous->setDelayTo(entry.pauseSeconds);
        }
        if (e.status > 0) {
            scenario::RecordedOutcome outcome = outcomeOf(e);
            outcome.location = entry.redirectedTo;
            r->setOutcome(std::move(outcome));
        }
        previous = requests.addChild(0, std::move(r));
        e.requestId = previous ? previous->getId() : 0;
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace velk::recorder
