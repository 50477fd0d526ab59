#pragma once
// The engine's single path for user-visible messages, and the two process-wide
// callbacks (output and progress) that callers install.
//
// Thread safety: report() may be called from any engine thread; the callbacks are
// installed before a run and only read during one.
#include <cstdint>
#include <string>

#include "base/status.h"

extern "C" {
typedef void (*OutFunc)(void* context, const char* text);
typedef void (*ProgressReporter)(void* context, int32_t made, int32_t total);
}

namespace velk {

// Largest message, terminating zero included; longer ones are cut to fit.
inline constexpr int kMessageBufferSize = 4096;

// Formats like printf, drops every trailing line feed and hands the text to the
// installed output callback.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats like printf into a string of any length (report() cuts what it says
// to kMessageBufferSize).
std::string formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A failed status whose message is formatted like printf: how a layer that
// does not talk to the user hands its message up.
Status failure(StatusCode code, const char* format, ...) __attribute__((format(printf, 2, 3)));
// failure() for input that does not parse or is out of range (kInvalid).
Status invalidInput(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Says the message of a failed status (if it has one) through report(), and
// returns whether the status was ok.  For callers inside the engine that end a
// status's way up; the exports convert theirs in one place of their own.
bool reportIfFailed(const Status& status);

// Installs the output callback.  A null callback silences output (a host installs
// null before it goes away) instead of being called.
void setOutFunc(void* context, OutFunc func);
// Installs the progress callback; null silences progress.
void setProgressReporter(void* context, ProgressReporter func);
// The callbacks in force until a host installs its own.
void defaultOutFunc(void* context, const char* text);
void defaultProgressReporter(void* context, int32_t made, int32_t total);

// Calls the installed progress callback.
void reportProgress(int32_t made, int32_t total);

}  // namespace velk
