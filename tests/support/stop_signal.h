#pragma once
// A one-way "stop now" flag that poll() can wait on (an eventfd), so every blocking
// wait of the test servers ends as soon as the server is stopped.  Safe from any
// thread.

namespace velk::test {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void trigger();
    bool triggered() const;
    // Readable once triggered; for poll() sets.
    int fd() const { return m_fd; }
    // Sleeps up to ms; false when the signal came first.
    bool sleepFor(int ms) const;

private:
    int m_fd;
};

}  // namespace velk::test
