#pragma once
// A one-way "stop now" flag that poll() can wait on (an eventfd), so every blocking
// wait of the server, including the delay of the slow page, ends as soon as the
// server stops.  Safe from any thread.
#include <chrono>

#include "unique_fd.h"

namespace velk::demo {

class StopSignal {
public:
    StopSignal();

    void trigger();
    bool triggered() const;
    // Readable once triggered, and stays readable; for poll() sets.
    int fd() const { return m_fd.get(); }
    // Sleeps up to the given time; false when the signal came first.
    bool sleepFor(std::chrono::milliseconds time) const;

private:
    UniqueFd m_fd;
};

}  // namespace velk::demo
