#include "app/editor/editor_tables.h"

#include <array>

namespace velk::editor {
namespace {

constexpr std::array<SpeedItem, 11> kSpeeds{{
    {"True line speed", -1},
    {"LAN 10MB", 10000000},
    {"T1", 1000000},
    {"512K Cable/DSL", 512000},
    {"256K Cable/DSL", 256000},
    {"ISDN 128K", 128000},
    {"ISDN 64K", 64000},
    {"56K", 56000},
    {"33.6K", 33600},
    {"28.8K", 28800},
    {"14.4K", 14400},
}};

// Six groups, each opened by its header line ("* IE 4.0 *" ...).
constexpr std::array<const char*, 70> kUserAgents{
    "* VELK*",
    "Mozilla/5.0 (compatible; VELK; Windows)",
    "* IE 3.0 *",
    "Mozilla/2.0 (compatible; MSIE 3.01; Windows 3.1)",
    "Mozilla/2.0 (compatible; MSIE 3.0a; Windows 3.1)",
    "Mozilla/2.0 (compatible; MSIE 3.0; AK; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0; AK; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.0; AOL 3.0; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0; SK; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0; SK; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.0; Win 32)",
    "Mozilla/2.0 (compatible; MSIE 3.0; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0; Windows 95) Modified",
    "Mozilla/2.0 (compatible; MSIE 3.0; Windows 95;*)",
    "Mozilla/2.0 (compatible; MSIE 3.0; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.0; Windows NT;*)",
    "Mozilla/2.0 (compatible; MSIE 3.0A; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0B3; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0B3; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.0B; Win32)",
    "Mozilla/2.0 (compatible; MSIE 3.0B; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.0B; Windows 95;*)",
    "Mozilla/2.0 (compatible; MSIE 3.0B; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.0B; Windows NT;*)",
    "Mozilla/2.0 (compatible; MSIE 3.1; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.01*; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.01*; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.01*; Mac_PowerPC)",
    "Mozilla/2.0 (compatible; MSIE 3.01*; Mac_68000)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Win32)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.02; AK; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.02; AK; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Update a; Win32)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Update a; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Update a; Windows NT)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Update a; AK; Win32)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Update a; AK; Windows 95)",
    "Mozilla/2.0 (compatible; MSIE 3.02; Update a; AK; Windows NT)",
    "* IE 4.0 *",
    "Mozilla/4.0 (compatible; MSIE 4.0b1; Windows 95)",
    "Mozilla/4.0 (compatible; MSIE 4.0b1; Windows NT)",
    "Mozilla/4.0 (compatible; MSIE 4.0b1 Crawler; Windows 95)",
    "Mozilla/4.0 (compatible; MSIE 4.0b1 Crawler; Windows NT)",
    "Mozilla/4.0 (compatible; MSIE 4.0b2; Windows 95)",
    "Mozilla/4.0 (compatible; MSIE 4.0b2; Windows NT)",
    "Mozilla/4.0 (compatible; MSIE 4.0b2 Crawler; Windows 95)",
    "Mozilla/4.0 (compatible; MSIE 4.0b2 Crawler; Windows NT)",
    "Mozilla/4.0 (compatible; MSIE 4.0; Windows 95)",
    "Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)",
    "Mozilla/4.0 (compatible; MSIE 4.0 Crawler; Windows 95)",
    "Mozilla/4.0 (compatible; MSIE 4.0 Crawler; Windows NT)",
    "* IE 5.0 *",
    "Mozilla/4.0 (compatible; MSIE 5.*; Windows 95*)",
    "Mozilla/4.0 (compatible; MSIE 5.*; Windows 98*)",
    "Mozilla/4.0 (compatible; MSIE 5.*; Windows NT*)",
    "Mozilla/4.0 (compatible; MSIE 5.*)",
    "* IE 5.5 *",
    "Mozilla/4.0 (compatible; MSIE 5.5; Windows 95*)",
    "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98*)",
    "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT*)",
    "Mozilla/4.0 (compatible; MSIE 5.5)",
    "* IE 6.0 *",
    "Mozilla/4.0 (compatible; MSIE 6.*; Windows 95*)",
    "Mozilla/4.0 (compatible; MSIE 6.*; Windows 98*)",
    "Mozilla/4.0 (compatible; MSIE 6.*; Windows NT*)",
    "Mozilla/4.0 (compatible; MSIE 6.*)",
    "Mozilla/4.0 (compatible; MSIE 6.0b; Windows NT 4.0)",
    "Mozilla/4.0 (compatible; MSIE 6.0b; Windows NT 5.0)",
};

}  // namespace

std::span<const SpeedItem> speedItems() {
    return kSpeeds;
}

int speedIndexFor(int32_t bitsPerSecond) {
    for (size_t i = 0; i < kSpeeds.size(); ++i)
        if (kSpeeds[i].bitsPerSecond == bitsPerSecond) return int(i);
    return 0;
}

int32_t speedValueAt(int index) {
    return index >= 0 && size_t(index) < kSpeeds.size() ? kSpeeds[size_t(index)].bitsPerSecond : -1;
}

std::span<const char* const> userAgentLines() {
    return kUserAgents;
}

}  // namespace velk::editor
