#include "app/scenario/script_generator.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "app/scenario/req_param.h"
#include "app/scenario/request.h"

namespace velk::scenario {
namespace {

void appendSequence(std::string& out, const char* header, bool use,
                    const std::vector<std::string>& list) {
    if (!use || list.empty()) return;
    out += header;
    for (const std::string& entry : list)
        if (!entry.empty()) out += entry + "\r\n";
}

bool holdsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::string lineBreakError(const std::string& field) {
    return "The " + field + " holds a line break; it must be a single line.";
}

// The general and run fields that each go on one line of the script.
Status checkGeneralFieldsAreSingleLines(const CGeneralSection& general, const CRunSection& run,
                                        const settings::GlobalSettings& settings) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"proxy mask", &general.proxyMask},
        {"authorization user", &general.authorizationUser},
        {"authorization password", &general.authorizationPassword},
        {"user agent", &general.userAgent},
        {"project name", &general.projectName},
        {"description", &run.description},
        {"output file template", &run.outputFileTemplate},
        {"log directory", &run.logDirectory},
        {"report directory", &run.reportDirectory},
    };
    for (const auto& [name, text] : fields)
        if (holdsLineBreak(*text)) return {StatusCode::kInvalid, lineBreakError(name)};
    if (settings.useProxy() && holdsLineBreak(settings.proxyAddress()))
        return {StatusCode::kInvalid, lineBreakError("proxy address")};
    for (const auto* list : {&run.initialSequence, &run.mainSequence, &run.finalSequence})
        for (const std::string& entry : *list)
            if (holdsLineBreak(entry))
                return {StatusCode::kInvalid,
                        lineBreakError("sequence entry " +
                                       entry.substr(0, entry.find_first_of("\r\n")))};
    return Status::ok();
}

}  // namespace

namespace {

constexpr const char* kBodyFault =
    "body has a line that begins with \"[\" or \";\", which a test script cannot hold as "
    "content; put the body in a file and name it with $content in the editor";

// A body may span lines, but the script reads a content line that begins
// with "[" as a new section and one that begins with ";" as a comment.
std::string contentLineFault(std::string_view body) {
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view line = body.substr(start, end - start);
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string_view::npos && (line[first] == '[' || line[first] == ';'))
            return kBodyFault;
        start = end + 1;
    }
    return {};
}

}  // namespace

Status checkRequestFieldsAreSingleLines(const CRequestsContainer& requests) {
    std::lock_guard<const CRequestsContainer> guard(requests);
    for (const CRequest* r : requests.flattened()) {
        std::string field;
        if (holdsLineBreak(r->getName()))
            field = "name";
        else if (holdsLineBreak(r->getServer()))
            field = "server";
        else if (holdsLineBreak(r->getUri()))
            field = "uri";
        else if (holdsLineBreak(r->getContentType()))
            field = "content type";
        for (int32_t i = 0; field.empty() && i < r->paramCount(); ++i) {
            const CReqParam* p = r->getParam(i);
            if (holdsLineBreak(p->getName()))
                field =
                    "parameter name " + p->getName().substr(0, p->getName().find_first_of("\r\n"));
            else if (p->isContentBlock())
                field = contentLineFault(p->buildValue(false, '&'));
            else if (holdsLineBreak(p->buildValue(false, '&')))
                field = "value of parameter " + p->getName();
        }
        if (!field.empty()) {
            const std::string& name = r->getName();
            return {
                StatusCode::kInvalid,
                "Request " + name.substr(0, name.find_first_of("\r\n")) + ": the " + field +
                    (field == kBodyFault ? "." : " holds a line break; it must be a single line.")};
        }
    }
    return Status::ok();
}

PerUserCount perUserRequestCount(const CRunSection& run, int32_t requestCount) {
    PerUserCount result;
    const int64_t n = requestCount;
    const int64_t users = run.cycling ? std::min(run.cycleFrom, run.cycleTo) : run.clients;
    const bool requestLimit = run.useRequestLimit && run.requestLimit > 0;
    const bool timeLimit = run.useTimeLimit && run.timeLimit > 0;
    if (requestLimit && users <= 0) {
        result.error =
            run.cycling
                ? "The total number of requests is limited, but the cycle starts at " +
                      std::to_string(users) +
                      " virtual users: at least 1 user is needed to reach the limit."
                : "The total number of requests is limited, but the number of virtual users "
                  "is " +
                      std::to_string(users) + ": at least 1 user is needed to reach the limit.";
        return result;
    }
    if ((requestLimit || timeLimit) && n <= 0) {
        result.error = "The scenario has no requests.";
        return result;
    }
    const int64_t lower =
        requestLimit ? (run.requestLimit + n * users - 1) / (n * users) : run.requestsPerUser;
    const int64_t timeBound = timeLimit ? int64_t(run.timeLimit) * 1200 / n : run.requestsPerUser;
    result.ok = true;
    result.count = std::max(lower, timeBound);
    return result;
}

Status appendGeneralPart(const CGeneralSection& general, const CRunSection& run,
                         int32_t requestCount, const settings::GlobalSettings& settings,
                         std::string& out) {
    if (Status single = checkGeneralFieldsAreSingleLines(general, run, settings); !single)
        return single;
    auto line = [&out](const std::string& text) { out += text + "\r\n"; };
    auto flagLine = [&line](const char* name, bool on) {
        line(std::string(name) + (on ? "=1" : "=0"));
    };

    out += "\r\n[General]\r\n";
    line("timeout=" + std::to_string(settings.timeout()));
    if (settings.useProxy()) line("proxy=" + settings.proxyAddress());
    line(settings.httpVersion() != 0 ? "httpver=1" : "httpver=0");
    // Only when chosen, so scripts without HTTP/2 read as they always have.
    if (settings.http2() != 0) line("http2=" + std::to_string(settings.http2()));
    line("sslver=" + std::to_string(settings.sslVersion()));
    flagLine("keepalive", general.keepAlive);
    flagLine("ignoreerrors", general.ignoreErrors);
    // Only when on, so scripts of older scenarios read as they always have.
    if (general.newVisitor) line("newvisitor=1");
    if (general.proxyEmulation) {
        line("proxyemulation=1");
        line("proxymask=" + general.proxyMask);
    } else {
        line("proxyemulation=0");
    }
    if (general.useAuthorization)
        line("authorization=" + general.authorizationUser + ":" + general.authorizationPassword);
    line("projectname=" + general.projectName);
    if (general.useSpeedLimit && general.speedLimit != -1)
        line("maxspeed=" + std::to_string(general.speedLimit));
    if (run.writeLog) line("logdir=" + run.logDirectory);
    if (run.useReportDirectory) line("reportdir=" + run.reportDirectory);
    if (run.clients > 0) line("clients=" + std::to_string(run.clients));
    if (run.requestsPerUser > 0) {
        const PerUserCount perUser = perUserRequestCount(run, requestCount);
        if (!perUser.ok) return {StatusCode::kInvalid, perUser.error};
        line("requests=" + std::to_string(perUser.count));
    }
    if (run.useRequestLimit && run.requestLimit > 0)
        line("maxrequests=" + std::to_string(run.requestLimit));
    // 64-bit: a stored limit may be large enough to overflow 32 bits.
    if (run.useTimeLimit && run.timeLimit > 0)
        line("maxtime=" + std::to_string(int64_t(run.timeLimit) * 60));
    line(run.timeoutCheck ? "nowait=0" : "nowait=1");
    if (!run.outputFileTemplate.empty()) line("outfile=" + run.outputFileTemplate);
    if (!run.description.empty()) line("description=" + run.description);
    line("softdelay=1");
    if (run.rateMode == 1) line("rate=" + std::to_string(int64_t(run.rateValue) * 3600));
    if (!run.details) {
        line("nodetails=1");
        line("timestamp=0");
    } else {
        line("nodetails=0");
        line(run.timeStamps ? "timestamp=1" : "timestamp=0");
    }
    if (run.useStartDelay) line("delaystart=" + std::to_string(run.startDelay));
    line("timingmode=" + std::to_string(run.timingMode));
    switch (run.rounding) {
        case 0:
            line("round=0.01");
            break;
        case 1:
            line("round=0.1");
            break;
        case 2:
            line("round=1");
            break;
        default:
            break;  // the user interface offers no other value
    }
    flagLine("log", run.writeLog);
    appendSequence(out, "\r\n[InitSeq]\r\n", run.useInitialSequence, run.initialSequence);
    appendSequence(out, "\r\n[TestSeq]\r\n", run.useMainSequence, run.mainSequence);
    appendSequence(out, "\r\n[FinalSeq]\r\n", run.useFinalSequence, run.finalSequence);
    if (general.useUserAgent) out += "\r\n[Header]\r\nUser-Agent: " + general.userAgent + "\r\n";
    return Status::ok();
}

}  // namespace velk::scenario
