#include "app/runner/global_variables.h"

#include <algorithm>
#include <cctype>

namespace velk::runner {
namespace {

constexpr std::string_view kOpen = "$gvar(";

// The next "$gvar(" at or after from, compared without regard to case.
size_t findOpen(std::string_view text, size_t from) {
    const auto lower = [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); };
    for (size_t at = text.find('$', from); at != std::string_view::npos;
         at = text.find('$', at + 1)) {
        if (text.size() - at < kOpen.size()) return std::string_view::npos;
        if (std::equal(kOpen.begin(), kOpen.end(), text.begin() + std::ptrdiff_t(at),
                       [&](char a, char b) { return a == lower(b); }))
            return at;
    }
    return std::string_view::npos;
}

void scanLine(std::string_view line, std::vector<GlobalVariableUse>& uses) {
    for (size_t at = findOpen(line, 0); at != std::string_view::npos; at = findOpen(line, at)) {
        const size_t nameStart = at + kOpen.size();
        const size_t nameEnd = line.find_first_of(",)", nameStart);
        if (nameEnd == std::string_view::npos) return;
        GlobalVariableUse use{std::string(line.substr(nameStart, nameEnd - nameStart)), {}};
        size_t end = nameEnd;
        if (line[nameEnd] == ',') {
            end = line.find(')', nameEnd + 1);
            if (end == std::string_view::npos) return;
            use.defaultText = std::string(line.substr(nameEnd + 1, end - nameEnd - 1));
        }
        at = end + 1;
        if (use.name.empty()) continue;
        const bool known = std::any_of(uses.begin(), uses.end(), [&](const GlobalVariableUse& u) {
            return u.name == use.name;
        });
        if (!known) uses.push_back(std::move(use));
    }
}

}  // namespace

std::vector<GlobalVariableUse> globalVariablesUsed(std::string_view script) {
    std::vector<GlobalVariableUse> uses;
    size_t start = 0;
    while (start < script.size()) {
        const size_t end = script.find('\n', start);
        scanLine(script.substr(start, end == std::string_view::npos ? end : end - start), uses);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return uses;
}

std::vector<std::string> globalVariableArguments(const std::vector<GlobalVariableUse>& uses,
                                                 const std::map<std::string, std::string>& values) {
    std::vector<std::string> arguments;
    for (const GlobalVariableUse& use : uses) {
        // The engine splits an argument at its first "=": such a name cannot be given.
        if (use.name.find('=') != std::string::npos) continue;
        const auto value = values.find(use.name);
        if (value != values.end() && !value->second.empty())
            arguments.push_back("-" + use.name + "=" + value->second);
    }
    return arguments;
}

}  // namespace velk::runner
