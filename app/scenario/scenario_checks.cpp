#include "app/scenario/scenario_checks.h"

#include <strings.h>

#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

#include "app/scenario/scenario.h"

namespace velk::scenario {
namespace {

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// A one-line text that must stay below the engine's limit; limit 0: no limit.
bool checkText(const std::string& what, const std::string& text, size_t limit,
               std::string& message) {
    if (hasLineBreak(text)) {
        message = what + " holds a line break; it must be a single line.";
        return false;
    }
    if (limit != 0 && text.size() > limit) {
        message = what + " is " + std::to_string(text.size()) +
                  " characters long; a test accepts at most " + std::to_string(limit) + ".";
        return false;
    }
    return true;
}

// Section names of the script: a request section with one of them would be
// read as that section.
bool isSectionName(const std::string& name) {
    static const char* const kSections[] = {"General",  "InitSeq", "TestSeq", "FinalSeq",
                                            "Includes", "Header",  "Script"};
    for (const char* section : kSections)
        if (strcasecmp(name.c_str(), section) == 0) return true;
    return false;
}

std::string sectionName(const CRequest& request) {
    return request.getName().empty() ? "req_" + std::to_string(request.getId()) : request.getName();
}

bool checkRequest(const CRequest& request, std::set<std::string>& names, std::string& message) {
    const std::string name = sectionName(request);
    const std::string quoted = "\"" + name + "\"";
    if (!checkText("The name of request " + quoted, name, kMaxRequestNameLength, message))
        return false;
    if (isSectionName(name)) {
        message = "A request is named " + quoted +
                  ", which is the name of a section of the test script; give it another name.";
        return false;
    }
    if (!names.insert(name).second) {
        message =
            "More than one request is named " + quoted + "; every request needs a name of its own.";
        return false;
    }
    const std::string of = " of request " + quoted;
    if (!checkText("The server" + of, request.getServer(), 0, message) ||
        !checkText("The URI" + of, request.getUri(), 0, message) ||
        !checkText("The content type" + of, request.getContentType(), 0, message))
        return false;
    for (int32_t i = 0; i < request.paramCount(); ++i) {
        const CReqParam& param = *request.getParam(i);
        const std::string what = "Parameter \"" + param.getName() + "\"" + of;
        if (!checkText(what + ": its name", param.getName(), 0, message) ||
            (!param.isContentBlock() &&
             !checkText(what + ": its value", param.buildValue(false, '&'), 0, message)))
            return false;
    }
    return true;
}

bool checkGeneral(const CGeneralSection& g, std::string& message) {
    if (g.proxyEmulation && !checkText("The proxy emulation address pattern", g.proxyMask,
                                       kMaxProxyMaskLength, message))
        return false;
    if (g.useAuthorization) {
        if (!checkText("The authorization name", g.authorizationUser, 0, message) ||
            !checkText("The authorization password", g.authorizationPassword, 0, message) ||
            !checkText("The authorization name and password together",
                       g.authorizationUser + ":" + g.authorizationPassword, kMaxAuthorizationLength,
                       message))
            return false;
    }
    if (g.useUserAgent && !checkText("The user agent", g.userAgent, 0, message)) return false;
    if (!checkText("The scenario name", g.projectName, kMaxProjectNameLength, message))
        return false;
    if (g.useSpeedLimit && g.speedLimit != -1 && g.speedLimit < 0) {
        message = "The connection speed limit is negative (" + std::to_string(g.speedLimit) +
                  " bits per second).";
        return false;
    }
    return true;
}

bool checkRun(const CRunSection& run, std::string& message) {
    if (!checkText("The description", run.description, kMaxDescriptionLength, message) ||
        !checkText("The report file name pattern", run.outputFileTemplate, kMaxOutfileLength,
                   message))
        return false;
    if (run.writeLog &&
        !checkText("The log directory", run.logDirectory, kMaxLogDirectoryLength, message))
        return false;
    if (run.useReportDirectory &&
        !checkText("The report directory", run.reportDirectory, kMaxReportDirectoryLength, message))
        return false;
    if (run.useStartDelay && run.startDelay < 0) {
        message =
            "The delay between users is negative (" + std::to_string(run.startDelay) + " ms).";
        return false;
    }
    if (run.rateMode == 1 && (run.rateValue <= 0 || run.rateValue > INT32_MAX / 3600)) {
        message = "The load level must be between 1 and " + std::to_string(INT32_MAX / 3600) +
                  " requests per second.";
        return false;
    }
    return true;
}

}  // namespace

Status checkScenarioForRun(const CScenario& scenario) {
    std::string message;
    const auto invalid = [&message] { return Status(StatusCode::kInvalid, std::move(message)); };
    if (!checkGeneral(scenario.general(), message) || !checkRun(scenario.run(), message))
        return invalid();
    const CRequestsContainer& requests = scenario.requests();
    std::lock_guard<const CRequestsContainer> guard(requests);
    std::set<std::string> names;
    for (const CRequest* request : requests.flattened())
        if (!checkRequest(*request, names, message)) return invalid();
    return Status::ok();
}

}  // namespace velk::scenario
