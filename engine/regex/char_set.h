#pragma once
// A set of byte values, one bit per value.  Every single-byte item of a
// compiled pattern (set, class escape, ".", a literal without case) is one.
#include <cstdint>

namespace velk {

struct CharSet {
    uint64_t bits[4] = {0, 0, 0, 0};

    bool test(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
    void add(unsigned char c) { bits[c >> 6] |= uint64_t{1} << (c & 63); }
    void addRange(unsigned char from, unsigned char to) {
        for (unsigned c = from; c <= to; ++c) add(static_cast<unsigned char>(c));
    }
    void addAll(const CharSet& other) {
        for (int i = 0; i < 4; ++i) bits[i] |= other.bits[i];
    }
    void invert() {
        for (auto& b : bits) b = ~b;
    }
    bool empty() const { return (bits[0] | bits[1] | bits[2] | bits[3]) == 0; }
    bool full() const { return (bits[0] & bits[1] & bits[2] & bits[3]) == ~uint64_t{0}; }
    int count() const {
        return __builtin_popcountll(bits[0]) + __builtin_popcountll(bits[1]) +
               __builtin_popcountll(bits[2]) + __builtin_popcountll(bits[3]);
    }
    // The lowest member; only meaningful when the set is not empty.
    unsigned char first() const {
        for (int i = 0; i < 4; ++i)
            if (bits[i]) return static_cast<unsigned char>(i * 64 + __builtin_ctzll(bits[i]));
        return 0;
    }
    bool operator==(const CharSet&) const = default;
};

}  // namespace velk
