#pragma once
// Whole-file reads for scripts, includes and request content.  Files are untrusted:
// a read is bounded by a cap so a huge or endless file (a FIFO, /dev/zero) cannot
// exhaust memory.
#include <cstddef>
#include <optional>
#include <string>

namespace velk::platform {

// Largest file the engine reads whole: 256 MiB.
inline constexpr size_t kMaxWholeFile = size_t(256) << 20;

enum class ReadStatus { Ok, CannotOpen, TooLarge, ReadError };

// Reads the file at path into out as raw bytes.
ReadStatus readWholeFile(const std::string& path, std::string& out, size_t cap = kMaxWholeFile);

// Whether files can be made in the directory at path; false with why ("does not
// exist", "is not a directory", "cannot be written") otherwise.
bool isWritableDirectory(const std::string& path, std::string& why);

}  // namespace velk::platform
