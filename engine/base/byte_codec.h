#pragma once
// ByteWriter and ByteReader: fixed-size little-endian items and raw bytes in a
// string, the one byte codec of what the programs write for each other (the
// results file, a run's shard records).  Formats built on it add their own
// counted strings, limits and checks.
//
// Bytes read are untrusted: every read is bounds-checked, and one that does not
// fit fails and leaves the position where it was, so damaged input can only end
// a reading early.  Plain values; not shared.
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace velk {

// An item is its memory bytes: the hosts we build for are little-endian.
static_assert(std::endian::native == std::endian::little);

template <class T>
concept ByteItem = std::is_arithmetic_v<T>;

class ByteWriter {
public:
    template <ByteItem T>
    void put(T value) {
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        m_bytes.append(bytes, sizeof(T));
    }
    void putBytes(std::string_view bytes) { m_bytes.append(bytes); }
    size_t size() const { return m_bytes.size(); }
    // Overwrites the item written at offset (a length known only afterwards);
    // an offset that holds no such item is left alone.
    template <ByteItem T>
    void patch(size_t offset, T value) {
        if (offset > m_bytes.size() || m_bytes.size() - offset < sizeof(T)) return;
        std::memcpy(m_bytes.data() + offset, &value, sizeof(T));
    }
    const std::string& bytes() const { return m_bytes; }
    std::string take() { return std::move(m_bytes); }

private:
    std::string m_bytes;
};

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}

    template <ByteItem T>
    bool get(T& value) {
        if (remaining() < sizeof(T)) return false;
        std::memcpy(&value, m_bytes.data() + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }
    // The next n bytes, viewed in the input.
    bool getBytes(size_t n, std::string_view& out) {
        if (remaining() < n) return false;
        out = m_bytes.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    // Moves on to pos, which must lie ahead within the bytes.
    bool skipTo(size_t pos) {
        if (pos < m_pos || pos > m_bytes.size()) return false;
        m_pos = pos;
        return true;
    }
    size_t position() const { return m_pos; }
    size_t remaining() const { return m_bytes.size() - m_pos; }
    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    std::string_view m_bytes;
    size_t m_pos = 0;
};

}  // namespace velk
