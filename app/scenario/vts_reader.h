#pragma once
// Reads the items of a scenario file from untrusted bytes.  Nothing is
// allocated on the file's word: a string length or list count larger than what
// remains stops the reading with an error.  After the first error every read
// fails, so record readers can run on and be checked once at the end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::scenario {

class VtsReader {
public:
    explicit VtsReader(std::string_view bytes) : m_bytes(bytes) {}

    bool readInt(int32_t& value);
    bool readFlag(bool& value);
    bool readString(std::string& text);
    // A list count; each entry takes at least minEntryBytes of the file.
    bool readCount(int32_t& count, size_t minEntryBytes);
    // Reads a record's schema number: true when it is 1.  Any other number ends
    // that record quietly (its owner reads on); a read error makes it false too.
    bool beginRecord();

    // Stops the reading with a message (for limits the caller knows of).
    void fail(const std::string& what);

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    size_t offset() const { return m_pos; }
    size_t remaining() const { return m_bytes.size() - m_pos; }

private:
    std::string_view m_bytes;
    size_t m_pos = 0;
    std::string m_error;
};

}  // namespace velk::scenario
