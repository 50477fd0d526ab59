#pragma once
// Writes the items of a scenario file: 4-byte little-endian signed ints and
// counted strings (an int byte count, then the bytes, no terminator).
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::scenario {

class VtsWriter {
public:
    static constexpr int32_t kSchema = 1;

    void writeInt(int32_t value);
    void writeFlag(bool value) { writeInt(value ? 1 : 0); }
    void writeString(std::string_view text);
    void writeSchema() { writeInt(kSchema); }

    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

}  // namespace velk::scenario
