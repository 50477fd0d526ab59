#pragma once
// The application core's file input and output, for every file a user names.
//
// Reading: a whole regular file up to a limit, so that a FIFO, a device or a
// huge file gives a message instead of a hang or an exhausted memory.
//
// Writing replaces a file only with a complete new one: the bytes go to a temporary file
// in the same directory, are flushed to the disk, and the temporary file is then
// renamed over the target.  When anything fails (disk full, file size limit,
// permission) the temporary file is removed and the old file stays as it was.
//
// Thread-safe: no shared state; two writers of the same path race as rename does.
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/base/status.h"
#include "engine/base/status_or.h"

namespace velk::base {

// Reads a whole regular file of at most maxBytes.  kIo with a message naming
// the path for a file that cannot be opened or read, is not a regular file (a
// directory, a FIFO, a device) or is larger.  Throws nothing but std::bad_alloc.
StatusOr<std::string> readRegularFile(const std::string& path, size_t maxBytes);

// Who may read a file that is written.  The one rule: a replaced file keeps its
// permission bits and a new one gets 0666 less the umask, like any file a
// program makes; a file that holds secrets (the settings' proxy password) is
// always the owner's only.
enum class FileAccess { kAsBefore, kOwnerOnly };

// Writes bytes to path as described above: 0, or the errno of the step that
// failed.  A target that exists and is not a regular file (a directory, a
// device, a FIFO) is refused with EISDIR rather than replaced.
int replaceFileWhole(const std::string& path, std::string_view bytes,
                     FileAccess access = FileAccess::kAsBefore);
// The same, for a document the user saves: kIo with a message naming the path
// and the cause, and saying that the file on the disk was not changed.
Status writeFileReplacing(const std::string& path, std::string_view bytes,
                          FileAccess access = FileAccess::kAsBefore);

}  // namespace velk::base
