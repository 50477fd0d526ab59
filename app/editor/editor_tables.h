#pragma once
// The fixed lists of the scenario options: the connection speeds a user can
// simulate (with the bits per second stored for each) and the user-agent lines
// offered in six groups, each opened by a header line.
//
// Constant data; safe from any thread.
#include <cstdint>
#include <span>

namespace velk::editor {

struct SpeedItem {
    const char* text;
    int32_t bitsPerSecond;  // -1: no limit
};

std::span<const SpeedItem> speedItems();
// The first item whose value is bitsPerSecond; the first item when none is.
int speedIndexFor(int32_t bitsPerSecond);
// The value of item index; -1 (no limit) when index is no item.
int32_t speedValueAt(int index);

std::span<const char* const> userAgentLines();

}  // namespace velk::editor
