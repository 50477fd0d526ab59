#pragma once
// Replaces a file only with a complete new one: the bytes go to a temporary file
// in the same directory, are flushed to the disk, and the temporary file is then
// renamed over the target.  When anything fails (disk full, file size limit,
// permission) the temporary file is removed and the old file stays as it was.
//
// Thread-safe: no shared state; two writers of the same path race as rename does.
#include <string>
#include <string_view>

namespace velk::model {

// Writes bytes to path as described above.  False with a message naming the
// path and the cause when the file could not be replaced.  A new file gets the
// old file's permission bits, or 0666 less the umask when there was none.
bool writeFileReplacing(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace velk::model
