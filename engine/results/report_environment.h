#pragma once
// What the report tells about when, by whom and where it was made, taken from the
// operating system.  Kept here so the report code itself stays free of system
// headers.  Every function is reentrant and safe from any thread.
#include <cstdint>
#include <string>

namespace velk {

// Local date and time of a moment given in seconds since 1970.
struct LocalClock {
    int year = 0;   // four digits
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalClock localClock(int64_t seconds);
// The C library's ctime text (it ends with a line end).
std::string ctimeText(int64_t seconds);
// Name of the effective user running the engine; empty when unknown.
std::string currentUserName();
// The computer's host name; empty when unknown.
std::string hostName();
// Seconds since 1970 now.
int64_t wallClockNow();

}  // namespace velk
