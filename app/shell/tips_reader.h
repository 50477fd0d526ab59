#pragma once
// TipsReader: the tips of the "Tip of the Day" dialog, one per line of
// Tips.txt.  Lines that start with a tab, a line feed (or carriage return), a
// blank or ";" are skipped; at the end of the file reading goes on from its
// start.  The reading position survives program runs ("FilePos"); when the
// file's modification time ("TimeStamp") is not the stored one, reading starts
// over at the beginning.  The file is untrusted: only a regular file of at
// most 1 MiB is read; a larger one, or one that cannot be read, is trouble.
//
// Not thread-safe: one reader per dialog.
#include <optional>
#include <string>

namespace velk::shell {

class TipsReader {
public:
    enum class Status { kOk, kMissing, kTrouble };

    // Reads path and positions at storedPosition, unless the file changed
    // since storedTimeStamp.  kMissing: no such file (or not readable);
    // kTrouble: the file cannot be read or is too large (no tips), or the
    // stored position cannot be reached (reading then starts at the beginning).
    Status open(const std::string& path, const std::string& storedTimeStamp,
                long long storedPosition);

    // The next tip, or nothing when the file holds none.
    std::optional<std::string> next();

    // What to store: the position after the last tip and the file's time.
    long long position() const { return m_position; }
    const std::string& timeStamp() const { return m_timeStamp; }

private:
    std::string m_bytes;
    std::string m_timeStamp;
    long long m_position = 0;
};

}  // namespace velk::shell
