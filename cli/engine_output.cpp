#include "engine_output.h"

#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "velkcore.h"

namespace velk::cli {
namespace {

std::mutex g_mutex;
bool g_progressShowing = false;  // GUARDED_BY(g_mutex)
int g_messages = 0;              // GUARDED_BY(g_mutex)

void printMessage(void*, const char* text) {
    std::lock_guard lock(g_mutex);
    if (g_progressShowing) {
        std::fputs("\n", stderr);
        g_progressShowing = false;
    }
    std::fprintf(stderr, "%s\n", text);
    ++g_messages;
}

void showProgress(void*, int32_t made, int32_t total) {
    std::lock_guard lock(g_mutex);
    if (total < 0)
        std::fprintf(stderr, "\rRequests made so far: %d   ", made);
    else
        std::fprintf(stderr, "\rRequests: %d/%d   ", made < total ? made : total, total);
    std::fflush(stderr);
    g_progressShowing = true;
}

void ignoreProgress(void*, int32_t, int32_t) {}

}  // namespace

void installEngineOutput(bool showProgress) {
    SetOutFunc(nullptr, printMessage);
    SetProgressReporter(nullptr, showProgress && isatty(STDERR_FILENO) ? velk::cli::showProgress : ignoreProgress);
}

int engineMessageCount() {
    std::lock_guard lock(g_mutex);
    return g_messages;
}

void finishProgressLine() {
    std::lock_guard lock(g_mutex);
    if (g_progressShowing) std::fputs("\n", stderr);
    g_progressShowing = false;
}

}  // namespace velk::cli
