#pragma once
// The files velkrun writes on the user's word (--summary, --html, --results,
// --shard-out, --merge) and the files it reads on it (scripts, shard results).
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/base/status_or.h"

namespace velk::cli {

// Writes content to path: "-" is standard output; an existing target that is not
// a regular file but can take a stream (a character device, a FIFO with a
// reader, /proc/self/fd/N) is written in place, never replaced; a directory or a
// block device is refused; anything else is replaced only by a complete new
// file.  kIo with a message naming the path and the cause (the old file, if
// any, is left as it was).
Status writeOutputFile(const std::string& path, std::string_view content);

// Whether writeOutputFile(path) can be expected to succeed, asked before a run
// so that its figures are not lost to a path that cannot take them: the place
// exists and may be written.  kIo with the message writeOutputFile gives.
Status canWriteOutputFile(const std::string& path);

// Largest files read: scripts (as for the files they include) and shard results.
inline constexpr size_t kMaxScriptBytes = size_t(256) << 20;
inline constexpr size_t kMaxShardBytes = size_t(1) << 30;

// Reads a whole regular file of at most maxBytes: a FIFO, a directory, a device
// or a larger file gives kIo (naming the path) instead of a hang or exhausted
// memory.
StatusOr<std::string> readInputFile(const std::string& path, size_t maxBytes);

}  // namespace velk::cli
