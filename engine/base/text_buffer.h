#pragma once
// A growable byte buffer for script text, content, headers, requests and
// responses.  Nothing is allocated until the first append, then the initial
// capacity (or what the bytes need); it grows by a quarter at a time until the
// new length plus 10 fits, and keeps its capacity when emptied, so a buffer
// that is reused for every request stops allocating once it has grown.  Each
// of thousands of users has several, most of them small or never used.  Not
// thread-safe: one owner.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace velk {

class TextBuffer {
public:
    explicit TextBuffer(size_t initialCapacity = 1024) : m_initial(initialCapacity) {}
    TextBuffer(const TextBuffer& other) : m_initial(other.m_initial) {
        if (!other.empty()) append(other.view());
    }
    TextBuffer& operator=(const TextBuffer&) = delete;

    void append(const char* bytes, size_t count) {
        reserveFor(count);
        if (count > 0) std::memcpy(m_data.get() + m_length, bytes, count);
        m_length += count;
        m_data[m_length] = '\0';
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    void clear() {
        m_length = 0;
        if (m_data) m_data[0] = '\0';
    }
    // Keeps the first length bytes (no more than there are).
    void truncate(size_t length) {
        if (length >= m_length) return;
        m_length = length;
        m_data[m_length] = '\0';
    }
    // Drops from the text, from byte from on, every byte that drop says to.
    template <typename Drop>
    void dropBytesFrom(size_t from, Drop drop) {
        if (from >= m_length) return;
        size_t kept = from;
        for (size_t i = from; i < m_length; ++i)
            if (!drop(m_data[i])) m_data[kept++] = m_data[i];
        m_length = kept;
        m_data[m_length] = '\0';
    }

    const char* data() const { return m_data ? m_data.get() : ""; }
    // Always zero-terminated, for the C-style scanners of the protocol code.
    const char* c_str() const { return data(); }
    size_t size() const { return m_length; }
    bool empty() const { return m_length == 0; }
    size_t capacity() const { return m_capacity; }
    std::string_view view() const { return {data(), m_length}; }

private:
    void reserveFor(size_t count) {
        if (m_length + count + 10 <= m_capacity) return;
        size_t capacity = std::max<size_t>({m_capacity, m_initial, 4});
        while (m_length + count + 10 > capacity) capacity += capacity / 4;
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        if (m_data)
            std::memcpy(grown.get(), m_data.get(), m_length + 1);
        else
            grown[0] = '\0';
        m_data = std::move(grown);
        m_capacity = capacity;
    }

    std::unique_ptr<char[]> m_data;  // none until the first append
    size_t m_initial;
    size_t m_capacity = 0;
    size_t m_length = 0;
};

}  // namespace velk
