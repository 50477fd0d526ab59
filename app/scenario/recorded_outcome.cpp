#include "app/scenario/recorded_outcome.h"

namespace velk::scenario {
namespace {

bool isAsciiWordChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// Characters a page may write as an entity (&amp; &#233; ...).
bool mayBeEntity(unsigned char c) {
    return c >= 0x80 || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
}

}  // namespace

std::string titlePattern(std::string_view title) {
    // Cut at a character boundary of UTF-8: a continuation byte is never first.
    if (title.size() > RecordedOutcome::kMaxTitle) {
        size_t cut = RecordedOutcome::kMaxTitle;
        while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
        title = title.substr(0, cut);
    }
    size_t first = 0, last = title.size();
    while (first < last && isBlank(static_cast<unsigned char>(title[first]))) ++first;
    while (last > first && isBlank(static_cast<unsigned char>(title[last - 1]))) --last;
    title = title.substr(first, last - first);
    if (title.empty()) return {};

    std::string out = "/<title[^>]*>\\s*";
    bool wild = false;  // the last piece written matches any text without "<"
    for (size_t i = 0; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        if (isBlank(c)) {
            while (i + 1 < title.size() && isBlank(static_cast<unsigned char>(title[i + 1]))) ++i;
            out += "\\s+";
            wild = false;
        } else if (mayBeEntity(c)) {
            if (!wild) out += "[^<]*?";
            wild = true;
        } else {
            if (!isAsciiWordChar(c)) out += '\\';
            out += char(c);
            wild = false;
        }
    }
    out += "\\s*<\\/title>/i";
    return out;
}

std::string urlPath(std::string_view url) {
    if (const size_t scheme = url.find("://"); scheme != std::string_view::npos) {
        const size_t slash = url.find('/', scheme + 3);
        url = slash == std::string_view::npos ? std::string_view("/") : url.substr(slash);
    }
    url = url.substr(0, url.find_first_of("?#"));
    return std::string(url.substr(0, RecordedOutcome::kMaxLocation));
}

std::string checkLines(const RecordedOutcome& outcome, bool byTitle) {
    std::string out;
    const std::string pattern = titlePattern(outcome.title);
    if (!pattern.empty()) out += "$fail=!" + pattern + "\r\n";
    // A line break would end the script line early.
    const bool oneLine = outcome.location.find_first_of("\r\n") == std::string::npos;
    if ((!byTitle || pattern.empty()) && oneLine)
        out += "$expectlocation=" + outcome.location + "\r\n";
    return out;
}

}  // namespace velk::scenario
