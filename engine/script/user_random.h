#pragma once
// Each virtual user's pseudo-random generator.  The sequence is fixed by the
// seed, so a run can be reproduced draw for draw.  One owner: not thread-safe.
#include <cstdint>

namespace velk {

class UserRandom {
public:
    explicit UserRandom(uint32_t seed = 0) : m_state(seed) {}

    void seed(uint32_t seed) { m_state = seed; }
    uint32_t state() const { return m_state; }

    // A draw in [0, n); 0 (and no step of the generator) when n is 0 or less.
    int32_t next(int32_t n) {
        if (n <= 0) return 0;
        m_state = m_state * 0x1F28A483u + 0xE386D92Fu;
        return int32_t((static_cast<int32_t>(m_state) >> 3) & 0x7FFFFFFF) % n;
    }

private:
    uint32_t m_state;
};

}  // namespace velk
