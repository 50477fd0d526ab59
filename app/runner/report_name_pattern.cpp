#include "app/runner/report_name_pattern.h"

#include <cstdio>

namespace velk::runner {
namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string twoDigits(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

}  // namespace

std::string forbiddenFileNameMessage() {
    return std::string("A filename cannot contain any of the following characters:\n") +
           kForbiddenFileNameChars;
}

bool hasForbiddenFileNameChar(const std::string& name) {
    return name.find_first_of(kForbiddenFileNameChars) != std::string::npos;
}

std::string expandReportPattern(const std::string& pattern, const std::string& scenarioName,
                                int users, int iterations, const std::tm& when) {
    std::string text = pattern;
    // In this order, as the engine names its reports.
    replaceAll(text, "%n", scenarioName);
    replaceAll(text, "%c", std::to_string(users));
    replaceAll(text, "%r", std::to_string(iterations));
    char year[16];
    std::snprintf(year, sizeof year, "%04d", when.tm_year + 1900);
    replaceAll(text, "%y", year);
    replaceAll(text, "%m", twoDigits(when.tm_mon + 1));
    replaceAll(text, "%d", twoDigits(when.tm_mday));
    replaceAll(text, "%t",
               twoDigits(when.tm_hour) + twoDigits(when.tm_min) + twoDigits(when.tm_sec));
    replaceAll(text, "%%", "%");
    return text;
}

}  // namespace velk::runner
