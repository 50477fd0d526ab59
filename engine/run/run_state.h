#pragma once
// What exists only while a run is prepared, running or finished: the users, the
// threads or event loops they run on, and the count of users still running.
// Released by CleanKS.
//
// Thread safety: `live` is shared by the users' threads and tasks and the driver
// and is guarded by liveMutex; everything else is made and read by the caller's
// thread (the driver's), before the users start or after they have all ended.
#include <memory>
#include <utility>
#include <vector>

#include "base/cond_var.h"
#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "loop/loop_group.h"
#include "platform/thread.h"
#include "results/run_latency.h"
#include "results/run_timeline.h"
#include "run/user_session.h"

namespace velk {

struct RunState {
    std::vector<std::unique_ptr<UserSession>> users;
    // Users are tasks on the loops; they get threads each only when the loops
    // cannot be made.  Both are declared after the users: they end before the users go.
    std::vector<platform::Thread> threads;
    std::unique_ptr<loop::LoopGroup> loops;

    // Users whose thread or task has not ended yet; the driver waits on it.
    Mutex liveMutex;
    CondVar liveChanged;
    int live GUARDED_BY(liveMutex) = 0;

    // Users whose results another process measured (ImportResultData), with
    // their global index; and how many such parts were brought in.
    std::vector<std::pair<int32_t, std::unique_ptr<UserRecord>>> imported;
    int32_t importedParts = 0;
    // Requests, errors and users per second, sampled while the run goes on.
    RunTimeline timeline;
    // The users' response-time figures, merged once they have all ended.
    RunLatency latency;
    // How late each event loop resumed its users, taken when the loops ended
    // (none when every user had a thread).
    std::vector<loop::LagMeter> loopLag;
};

}  // namespace velk
