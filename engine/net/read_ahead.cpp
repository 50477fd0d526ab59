#include "net/read_ahead.h"

#include <cstring>
#include <vector>

namespace velk::net {
namespace {

// Read-aheads that no connection of this thread's tasks holds at the moment.
class ReadAheadPool {
public:
    std::unique_ptr<char[]> take() {
        if (m_free.empty()) return std::make_unique_for_overwrite<char[]>(ReadAhead::kCapacity);
        std::unique_ptr<char[]> buffer = std::move(m_free.back());
        m_free.pop_back();
        return buffer;
    }
    void give(std::unique_ptr<char[]> buffer) {
        if (m_free.size() < kKept) m_free.push_back(std::move(buffer));
    }

private:
    static constexpr size_t kKept = 64;
    std::vector<std::unique_ptr<char[]>> m_free;
};

thread_local ReadAheadPool t_readAheads;

}  // namespace

void ReadAhead::setPooled(bool pooled) {
    m_pooled = pooled;
    if (!m_storage && !pooled) m_storage = std::make_unique_for_overwrite<char[]>(kCapacity);
}

int ReadAhead::take(void* out, int size) {
    int n = m_count - m_pos;
    if (n > size) n = size;
    std::memcpy(out, m_storage.get() + m_pos, size_t(n));
    m_pos += n;
    releaseIfEmpty();
    return n;
}

void ReadAhead::clear() {
    m_count = m_pos = 0;
    releaseIfEmpty();
}

char* ReadAhead::storage() {
    m_count = m_pos = 0;
    if (!m_storage) m_storage = t_readAheads.take();
    return m_storage.get();
}

char* ReadAhead::hold() {
    m_held = true;
    return storage();
}

void ReadAhead::filled(int received) {
    m_held = false;
    m_pos = 0;
    m_count = received > 0 ? received : 0;
}

void ReadAhead::releaseIfEmpty() {
    if (m_pooled && m_storage && !m_held && empty()) {
        m_count = m_pos = 0;
        t_readAheads.give(std::move(m_storage));
    }
}

}  // namespace velk::net
