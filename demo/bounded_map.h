#pragma once
// A string-keyed map that holds at most `capacity` entries: inserting into a full
// map first drops the entry inserted longest ago.  Used for the form tokens and the
// sessions, so a load test that never logs out cannot grow the server without
// bound.  Not safe for concurrent use; its owners lock around it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace velk::demo {

template <typename Value>
class BoundedMap {
public:
    explicit BoundedMap(size_t capacity) : m_capacity(capacity > 0 ? capacity : 1) {}

    // Inserts or replaces; a replaced entry counts as the newest.
    void put(const std::string& key, Value value) {
        erase(key);
        while (m_entries.size() >= m_capacity) erase(m_order.begin()->second);
        const uint64_t seq = m_nextSeq++;
        m_entries.emplace(key, Entry{std::move(value), seq});
        m_order.emplace(seq, key);
    }

    // The value, or nullopt when absent (never inserted, taken, or evicted).
    std::optional<Value> get(const std::string& key) const {
        const auto it = m_entries.find(key);
        if (it == m_entries.end()) return std::nullopt;
        return it->second.value;
    }

    // Removes and returns the value, so each key can be taken only once.
    std::optional<Value> take(const std::string& key) {
        const auto it = m_entries.find(key);
        if (it == m_entries.end()) return std::nullopt;
        std::optional<Value> value(std::move(it->second.value));
        m_order.erase(it->second.seq);
        m_entries.erase(it);
        return value;
    }

    bool erase(const std::string& key) { return take(key).has_value(); }
    size_t size() const { return m_entries.size(); }

private:
    struct Entry {
        Value value;
        uint64_t seq;
    };
    size_t m_capacity;
    uint64_t m_nextSeq = 0;
    std::unordered_map<std::string, Entry> m_entries;
    std::map<uint64_t, std::string> m_order;  // insertion order, oldest first
};

}  // namespace velk::demo
