#include "results/outfile_name.h"

#include <cstdio>

#include "base/message.h"

namespace velk {
namespace {

std::string twoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

}  // namespace

std::string testFileName(const std::string& testName) {
    size_t cut = testName.find_last_of("/\\");
    return cut == std::string::npos ? testName : testName.substr(cut + 1);
}

std::string expandOutfileTemplate(const std::string& pattern, const OutfileFields& f) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c != '%') {
            out += c;
            continue;
        }
        // A "%" closing the template names no macro; it is reported like any
        // unknown one (its character is the terminator) and reading stops there.
        char macro = i + 1 < pattern.size() ? pattern[++i] : '\0';
        switch (macro) {
            case '%':
                out += '%';
                break;
            case 'c':
                out += std::to_string(f.options.clients);
                break;
            case 'd':
                out += twoDigits(f.now.day);
                break;
            case 'm':
                out += twoDigits(f.now.month);
                break;
            case 'y':
                out += std::to_string(f.now.year);
                break;
            case 't':
                out += twoDigits(f.now.hour) + twoDigits(f.now.minute) + twoDigits(f.now.second);
                break;
            case 'f':
                out += testFileName(f.testName);
                break;
            case 'n': {
                std::string name = testFileName(f.testName);
                out += name.substr(0, name.rfind('.'));
                break;
            }
            case 'p':
                out += std::to_string(f.options.port);
                break;
            case 'r':
                out += std::to_string(f.options.requests);
                break;
            case 's':
                out += f.currentServer;
                break;
            default:
                report("Warning: unknown macro %%%c in outfile template ignored!\n", macro);
                break;
        }
    }
    return out;
}

std::string reportFilePath(const std::string& reportDir, const std::string& name) {
    std::string dir = reportDir;
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return dir + "/" + name;
}

}  // namespace velk
