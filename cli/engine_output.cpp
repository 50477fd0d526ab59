#include "cli/engine_output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "app/base/terminal_text.h"
#include "app/runner/live_figures.h"
#include "cli/live_line.h"
#include "velkcore.h"

namespace velk::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
std::condition_variable g_wake;
ProgressMode g_mode = ProgressMode::None;  // Tty, Plain or None once installed
bool g_lineShowing = false;                // GUARDED_BY(g_mutex)
// Standard error failed (a closed pipe or terminal): no more progress output;
// the run goes on and still writes its report.
bool g_outputLost = false;     // GUARDED_BY(g_mutex)
bool g_muted = false;          // GUARDED_BY(g_mutex); velkrun's own probes of the engine
int g_messages = 0;            // GUARDED_BY(g_mutex)
bool g_running = false;        // GUARDED_BY(g_mutex)
LiveFigures g_figures;         // GUARDED_BY(g_mutex)
Clock::time_point g_start;     // GUARDED_BY(g_mutex)
Clock::time_point g_reported;  // GUARDED_BY(g_mutex)
runner::RecentRate g_rate;     // GUARDED_BY(g_mutex)
std::thread g_ticker;
TestSet* g_set = nullptr;  // GUARDED_BY(g_mutex); counters only, read while it runs

void clearLineLocked() {
    if (g_lineShowing) std::fputs("\r\033[K", stderr);
    g_lineShowing = false;
}

// After a write to standard error: a failure stops the progress output.
void checkOutputLocked() {
    if (std::fflush(stderr) != 0 || std::ferror(stderr)) {
        g_outputLost = true;
        g_lineShowing = false;
    }
}

void printMessage(void*, const char* text) {
    std::lock_guard lock(g_mutex);
    if (g_muted) return;
    ++g_messages;
    if (g_outputLost) return;
    clearLineLocked();
    // Messages carry names from the script and text from servers.
    std::fprintf(stderr, "%s\n", base::escapeControlsKeepLines(text).c_str());
    checkOutputLocked();
}

bool g_errorsReported = false;  // GUARDED_BY(g_mutex); the errors are of the last report

void copyErrorsLocked(const runner::LiveReading& live) {
    for (int i = 0; i < 4; ++i) g_figures.errors[i] = live.errors[i];
}

// Copies the live error counts into the figures; false when there are none yet.
bool readErrorsLocked() {
    runner::LiveReading live;
    if (!runner::readLiveCounters(g_set, live)) return false;
    copyErrorsLocked(live);
    return true;
}

bool g_reportedOnce = false;  // GUARDED_BY(g_mutex); the engine has counted the run

// Takes a request count of this moment: the count, its sample and the late rate.
void takeCountLocked(Clock::time_point now, int64_t made) {
    g_figures.made = made;
    g_reported = now;
    g_rate.add(std::chrono::duration_cast<std::chrono::milliseconds>(now - g_start).count(), made);
    if (const double rate = g_rate.perSecond(); rate >= 0) g_figures.rate = rate;
}

// Called on the engine's watch loop, every two seconds and at the end.
void recordProgress(void*, int32_t made, int32_t total) {
    std::lock_guard lock(g_mutex);
    const Clock::time_point now = Clock::now();
    g_figures.total = total;
    g_reportedOnce = true;
    // The errors first, then the count of that moment or later: their share is
    // of the requests they were made among.
    g_errorsReported = readErrorsLocked();
    runner::LiveReading live;
    live.made = made;
    runner::readLiveFigures(g_set, live);
    takeCountLocked(now, live.made);
}

void ignoreProgress(void*, int32_t, int32_t) {}

int terminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// Hidden: tests set a short plain interval rather than wait ten seconds.
std::chrono::milliseconds drawInterval() {
    if (g_mode == ProgressMode::Tty) return std::chrono::milliseconds(500);
    if (const char* text = std::getenv("VELKRUN_PROGRESS_INTERVAL_MS")) {
        const long ms = std::strtol(text, nullptr, 10);
        if (ms >= 50 && ms <= 3600000) return std::chrono::milliseconds(ms);
    }
    return std::chrono::seconds(10);
}

void drawLocked() {
    if (g_outputLost) return;
    const Clock::time_point now = Clock::now();
    g_figures.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - g_start).count();
    g_figures.reportAgeMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - g_reported).count();
    runner::LiveReading live;
    if (runner::readLiveCounters(g_set, live)) {
        g_figures.active = live.usersActive;
        // Before the engine's first report there is no count to share them with.
        if (!g_errorsReported) copyErrorsLocked(live);
    }
    // The engine reports every two seconds; the live count shows progress from
    // the first second (read after the errors, so their share stays honest).
    live.made = g_figures.made;
    if (runner::readLiveFigures(g_set, live) && live.made > g_figures.made) {
        takeCountLocked(now, live.made);
        g_figures.reportAgeMs = 0;
    }
    if (g_mode == ProgressMode::Tty) {
        const std::string line = renderLiveLine(g_figures, terminalWidth(), true);
        if (line.empty()) {
            clearLineLocked();
        } else {
            std::fprintf(stderr, "\r%s\033[K", line.c_str());
            g_lineShowing = true;
        }
    } else {
        std::fprintf(stderr, "Progress: %s\n", renderLiveLine(g_figures, 0, false).c_str());
    }
    checkOutputLocked();
}

void tick() {
    const auto interval = drawInterval();
    std::unique_lock lock(g_mutex);
    auto next = Clock::now() + interval;
    while (g_running) {
        if (g_wake.wait_until(lock, next, [] { return !g_running; })) break;
        drawLocked();
        next += interval;
    }
}

}  // namespace

void installEngineOutput(ProgressMode mode) {
    if (mode == ProgressMode::Auto)
        mode = isatty(STDERR_FILENO) ? ProgressMode::Tty : ProgressMode::Plain;
    g_mode = mode;
    SetOutFunc(nullptr, printMessage);
    SetProgressReporter(nullptr, mode == ProgressMode::None ? ignoreProgress : recordProgress);
}

void startProgressLine(TestSet* set, int32_t users, int64_t total, int32_t maxtime) {
    if (g_mode == ProgressMode::None) return;
    finishProgressLine();
    {
        std::lock_guard lock(g_mutex);
        g_figures = LiveFigures{};
        g_errorsReported = false;
        g_figures.users = users;
        g_figures.total = total;
        g_figures.maxtime = maxtime;
        g_set = set;
        g_start = Clock::now();
        g_reported = g_start;
        // The engine counts from zero at the start of the run.
        g_rate.reset();
        g_rate.add(0, 0);
        g_running = true;
    }
    g_ticker = std::thread(tick);
}

void finishProgressLine() {
    bool wasRunning = false;
    {
        std::lock_guard lock(g_mutex);
        wasRunning = g_running;
        g_running = false;
    }
    g_wake.notify_all();
    if (g_ticker.joinable()) g_ticker.join();
    std::lock_guard lock(g_mutex);
    // The end state (100 % when every request was made) stays above the closing
    // line; a run the engine never counted (it did not start) shows none.
    if (wasRunning && g_reportedOnce && !g_outputLost) {
        drawLocked();
        if (g_lineShowing) std::fputs("\n", stderr);
        g_lineShowing = false;
    }
    g_reportedOnce = false;
    g_set = nullptr;
    clearLineLocked();
    std::fflush(stderr);
}

void printAboveProgress(const char* text) {
    std::lock_guard lock(g_mutex);
    if (g_outputLost) return;
    clearLineLocked();
    std::fputs(text, stderr);
    checkOutputLocked();
}

void muteEngineMessages(bool muted) {
    std::lock_guard lock(g_mutex);
    g_muted = muted;
}

int engineMessageCount() {
    std::lock_guard lock(g_mutex);
    return g_messages;
}

}  // namespace velk::cli
