#pragma once
// A socket listening on 127.0.0.1 that never accepts and whose accept queue is
// already full, so a further connect gets no answer at all: the stand-in for an
// unreachable host when testing connect time-outs, without any traffic leaving
// 127.0.0.1.  Not safe for concurrent use.
#include <cstdint>

namespace velk::test {

class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    uint16_t port() const { return m_port; }

private:
    int m_listenFd = -1;
    int m_fillerFd = -1;  // the connection that fills the queue
    uint16_t m_port = 0;
};

}  // namespace velk::test
