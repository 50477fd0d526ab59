#pragma once
// Decides when a running script is stopped although it has not finished: once
// the run is aborted (AbortRun, or the driver's maxtime check) and the script
// has had a grace period to notice it through IsAborting and end by itself, or
// at once when its host is closing.  The interpreter asks at regular intervals
// while it executes, so even a loop that never calls velk is stopped; the velk
// methods ask before they act.
//
// Once it has said "stop" it keeps saying so: the interpreter then throws an
// error at every step until the script has unwound, so catching it does not
// help a script.
//
// It also keeps the user's memory against its budget (see script_heap.h), and
// holds the lowest stack address the interpreter may use in the user's turns
// (set by a NativeStackGuard), since both are asked through the heap's user
// data.
//
// Owned by one CScriptedFrame and used on its user's thread (or its loop's)
// only; the abort flag it reads is the test's shared atomic flag.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "scripting/script_heap.h"

namespace velk {

// How long an aborted script may go on to end by itself (a last request, a log
// line) before it is stopped.
inline constexpr int64_t kRunawayGraceMs = 2000;

class ScriptInterrupt {
public:
    explicit ScriptInterrupt(const std::atomic<int32_t>& abortFlag,
                             int64_t graceMs = kRunawayGraceMs)
        : m_abortFlag(abortFlag), m_graceMs(graceMs), m_heapLimit(kScriptHeapLimit) {}
    ScriptInterrupt(const ScriptInterrupt&) = delete;
    ScriptInterrupt& operator=(const ScriptInterrupt&) = delete;

    // True when the script must stop now.
    bool shouldStop();
    // From now on every question is answered with "stop" (the host is closing).
    void stopNow() { m_stopped = true; }
    // True once a stop has been answered: an error that ends the script then is
    // the stop, not a fault of the script.
    bool stopped() const { return m_stopped; }

    // The interpreter's native stack check: true once the stack has grown below
    // the floor (0: unchecked).
    bool stackLow(uintptr_t here) const { return m_stackFloor != 0 && here < m_stackFloor; }
    uintptr_t stackFloor() const { return m_stackFloor; }
    void setStackFloor(uintptr_t floor) { m_stackFloor = floor; }

    // Counts bytes into the user's account: false (nothing counted) when they
    // would pass the budget or the script must stop, which is asked here too, so
    // that long built-ins that allocate see the clock.
    bool takeHeap(size_t bytes);
    void setHeapLimit(size_t limit) { m_heapLimit = limit; }
    // What the user's blocks are charged to: an account of its own, or one its
    // shared heap keeps (blocks may outlive the user there).
    HeapAccount& account() { return *m_account; }
    void setAccount(HeapAccount& account) { m_account = &account; }

private:
    const std::atomic<int32_t>& m_abortFlag;
    int64_t m_graceMs;
    int64_t m_abortSeenAt = -1;  // tick at which the abort was first seen
    bool m_stopped = false;
    uintptr_t m_stackFloor = 0;
    HeapAccount m_ownAccount;
    HeapAccount* m_account = &m_ownAccount;
    size_t m_heapLimit;
};

}  // namespace velk
