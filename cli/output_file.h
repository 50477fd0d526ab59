#pragma once
// Writes a whole file so that the old one is replaced only when the new one is
// complete: a temporary file beside it, flushed to disk, then renamed over it.
#include <string>

namespace velk::cli {

// false with error set (the old file, if any, is left as it was).
bool writeFileWhole(const std::string& path, const std::string& content, std::string& error);

}  // namespace velk::cli
