#pragma once
// Runs a parsed test: checks its sequences, prepares one UserSession per user,
// starts their threads (one every delaystart milliseconds, or all together),
// watches them while reporting progress and enforcing maxtime, and records the
// run's times.  Runs on the caller's thread and returns when every user ended.

namespace velk {

struct TestRun;

// 0 when the test cannot run (reported); otherwise 1 when any test-sequence
// entry was completed, 0 when none was.
int runTest(TestRun& set);

// Releases the users of the last run (CleanKS).
void releaseRun(TestRun& set);

}  // namespace velk
