#pragma once
// A connection's read-ahead: bytes received before the caller asked for them,
// served before the next receive.  Its storage (kCapacity bytes) is made once
// and kept on a thread of its own; for a task on an event loop (pooled) it comes
// from a per-thread pool when a receive needs it and goes back once read empty,
// so an idle user holds none and a loop needs only as many as are being read from.
//
// Belongs to one connection; not safe for concurrent use (the pool is per thread).
#include <memory>
#include <string_view>

namespace velk::net {

class ReadAhead {
public:
    static constexpr int kCapacity = 32 * 1024;

    // How the storage is kept from now on: pooled for a connection on a loop.
    // Makes the storage of an unpooled one at once.
    void setPooled(bool pooled);

    bool empty() const { return m_pos >= m_count; }
    std::string_view bytes() const { return {m_storage.get() + m_pos, size_t(m_count - m_pos)}; }
    // Copies up to size waiting bytes to out and drops them; the count.
    int take(void* out, int size);
    // Drops the first n waiting bytes; releaseIfEmpty() gives the storage back.
    void skip(int n) { m_pos += n; }
    // Drops every waiting byte (they belonged to a stream now gone).
    void clear();
    // Storage for a receive of up to kCapacity bytes, held (not given back to the
    // pool) until filled() says how many came.  What was waiting is dropped.
    char* hold();
    void filled(int received);
    // The storage for a receive that may park in between: dropped when empty.
    char* storage();
    // Pooled: gives the storage back when nothing waits and no receive holds it.
    void releaseIfEmpty();

private:
    std::unique_ptr<char[]> m_storage;
    int m_count = 0;
    int m_pos = 0;
    bool m_pooled = false;
    bool m_held = false;
};

}  // namespace velk::net
