#include "app/scenario/vts_writer.h"

#include <limits>
#include <stdexcept>

namespace velk::scenario {

void VtsWriter::writeInt(int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) m_bytes += static_cast<char>((u >> shift) & 0xFF);
}

void VtsWriter::writeString(std::string_view text) {
    // The count is 32-bit; a longer text cannot be written truthfully.
    if (text.size() > size_t(std::numeric_limits<int32_t>::max()))
        throw std::length_error("text too long for a scenario file");
    writeInt(static_cast<int32_t>(text.size()));
    m_bytes.append(text);
}

}  // namespace velk::scenario
