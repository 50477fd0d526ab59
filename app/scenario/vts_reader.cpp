#include "app/scenario/vts_reader.h"

namespace velk::scenario {

void VtsReader::fail(const std::string& what) {
    if (m_error.empty()) m_error = "Unexpected file format: " + what + ".";
}

bool VtsReader::readInt(int32_t& value) {
    if (!ok()) return false;
    if (remaining() < 4) {
        fail("the file ends inside a number at byte " + std::to_string(m_pos));
        return false;
    }
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(static_cast<unsigned char>(m_bytes[m_pos + size_t(i)])) << (8 * i);
    value = static_cast<int32_t>(u);
    m_pos += 4;
    return true;
}

bool VtsReader::readFlag(bool& value) {
    int32_t n = 0;
    if (!readInt(n)) return false;
    value = n != 0;
    return true;
}

bool VtsReader::readString(std::string& text) {
    const size_t at = m_pos;
    int32_t n = 0;
    if (!readInt(n)) return false;
    if (n < 0 || size_t(n) > remaining()) {
        fail("a text at byte " + std::to_string(at) + " claims " + std::to_string(n) +
             " bytes, but " + std::to_string(remaining()) + " remain");
        return false;
    }
    text.assign(m_bytes.substr(m_pos, size_t(n)));
    m_pos += size_t(n);
    return true;
}

bool VtsReader::readCount(int32_t& count, size_t minEntryBytes) {
    const size_t at = m_pos;
    int32_t n = 0;
    if (!readInt(n)) return false;
    if (n < 0 || size_t(n) > remaining() / minEntryBytes) {
        fail("a list at byte " + std::to_string(at) + " claims " + std::to_string(n) +
             " entries, but " + std::to_string(remaining()) + " bytes remain");
        return false;
    }
    count = n;
    return true;
}

bool VtsReader::beginRecord() {
    int32_t schema = 0;
    return readInt(schema) && schema == 1;
}

}  // namespace velk::scenario
