#pragma once
// What Run Test checks before a run starts, and its messages: requests in the
// scenario, log and report directories that exist or can be made, a report
// name pattern that is a file name, and memory for the timing arrays.
//
// Plain functions without state.
#include <cstdint>
#include <string>

namespace velk::runner {

inline constexpr const char* kNoRequestsMessage =
    "No requests in the test scenario. Test has stopped.\n"
    "Go to Recorder to add some requests to the test scenario.";
inline constexpr const char* kTooManyRequestsQuestion =
    "Number of requests is too large!\n\nTimings will be disabled. Would you like to continue?";

// True when path is a directory or every missing level of it could be made.
// A path without a "/" cannot be made.
bool ensureDirectory(const std::string& path);
// "Cannot create directory %s."
std::string cannotCreateDirectoryMessage(const std::string& path);

// True when the timing arrays of amount bytes cannot be kept: 4 GiB or more,
// or not less than the physical memory available.
bool timingsTooLarge(int64_t amount, uint64_t availableMemory);
// The physical memory available now, in bytes.
uint64_t availablePhysicalMemory();

}  // namespace velk::runner
