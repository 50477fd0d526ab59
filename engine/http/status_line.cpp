#include "http/status_line.h"

#include <climits>
#include <cstring>

namespace velk {
namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

enum class Scan { kDone, kMismatch, kEnd };

// The text ends at end or at a NUL, whichever comes first.
char at(const char* p, const char* end) {
    return p < end ? *p : '\0';
}

// One %d: blanks skipped, an optional sign, decimal digits.  Like strtol, a value
// out of range saturates; like scanf, it is then stored as an int.
Scan scanInt(const char*& p, const char* end, int& out) {
    while (isSpace(at(p, end))) ++p;
    if (at(p, end) == '\0') return Scan::kEnd;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (!isDigit(at(p, end))) return Scan::kMismatch;
    // Accumulated negatively, so LONG_MIN fits.
    long value = 0;
    bool saturated = false;
    for (; isDigit(at(p, end)); ++p) {
        const int digit = *p - '0';
        if (saturated) continue;
        if (value < (LONG_MIN + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    long result;
    if (saturated)
        result = negative ? LONG_MIN : LONG_MAX;
    else if (negative)
        result = value;
    else
        result = value == LONG_MIN ? LONG_MAX : -value;
    out = static_cast<int>(result);
    return Scan::kDone;
}

}  // namespace

int scanStatusLine(const char* text, int& minor, int& status) {
    return scanStatusLine(std::string_view(text, std::strlen(text)), minor, status);
}

int scanStatusLine(std::string_view text, int& minor, int& status) {
    static constexpr char kPrefix[] = "HTTP/1.";
    const char* p = text.data();
    const char* const end = p + text.size();
    for (const char* f = kPrefix; *f != '\0'; ++f, ++p) {
        if (at(p, end) == '\0') return -1;
        if (*p != *f) return 0;
    }
    switch (scanInt(p, end, minor)) {
        case Scan::kEnd:
            return -1;
        case Scan::kMismatch:
            return 0;
        case Scan::kDone:
            break;
    }
    // The blank in the format matches any run of blanks, including none.
    return scanInt(p, end, status) == Scan::kDone ? 2 : 1;
}

}  // namespace velk
