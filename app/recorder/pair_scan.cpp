#include "app/recorder/pair_scan.h"

#include <cctype>

namespace velk::recorder {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

bool isTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view line) {
    while (!line.empty() && isTrimmed(line.front())) line.remove_prefix(1);
    while (!line.empty() && isTrimmed(line.back())) line.remove_suffix(1);
    return line;
}

}  // namespace

int32_t schemeOf(std::string_view url) {
    if (startsWithNoCase(url, "http:")) return 1;
    if (startsWithNoCase(url, "https:")) return 2;
    return 0;
}

Pairs scanPairs(std::string_view text) {
    enum State { kBetween, kName, kValue };
    Pairs pairs;
    State state = kBetween;
    size_t mark = 0;
    std::string name;
    size_t i = 0;
    for (; i < text.size() && text[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (state == kBetween) {
            if (c <= 32 || c > 'z') continue;
            state = kName;
            mark = i;
        }
        if (state == kName) {
            if (c == '&') {
                pairs.emplace_back(std::string(text.substr(mark, i - mark)), std::string());
                state = kBetween;
            } else if (c == '=') {
                name.assign(text.substr(mark, i - mark));
                mark = i + 1;
                state = kValue;
            }
        } else if (c == '&') {
            pairs.emplace_back(std::move(name), std::string(text.substr(mark, i - mark)));
            name.clear();
            state = kBetween;
        }
    }
    if (state == kName)
        pairs.emplace_back(std::string(text.substr(mark, i - mark)), std::string());
    else if (state == kValue)
        pairs.emplace_back(std::move(name), std::string(text.substr(mark, i - mark)));
    return pairs;
}

void applyHeaderLines(std::string_view headers, scenario::RecordedNavigation& navigation) {
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = headers.size();
        const std::string_view line = trim(headers.substr(start, end - start));
        // "\r\n" ends one line, not two.
        if (end + 1 < headers.size() && headers[end] == '\r' && headers[end + 1] == '\n') ++end;
        start = end + 1;
        constexpr std::string_view kContentType = "Content-Type";
        if (startsWithNoCase(line, kContentType)) {
            std::string_view rest = line.substr(kContentType.size());
            while (!rest.empty() &&
                   (rest.front() == ':' || rest.front() == ' ' || rest.front() == '\t'))
                rest.remove_prefix(1);
            navigation.contentType.assign(rest);
        } else {
            navigation.pairs.emplace_back("header$", std::string(line));
        }
    }
}

}  // namespace velk::recorder
