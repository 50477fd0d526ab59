#include "engine_output.h"

#include <atomic>
#include <cstdio>

#include "velkcore.h"

namespace velk::cli {
namespace {

std::atomic<int> g_messages{0};

void printMessage(void*, const char* text) {
    ++g_messages;
    std::fprintf(stderr, "%s\n", text);
}

void ignoreProgress(void*, int32_t, int32_t) {}

}  // namespace

void installEngineOutput() {
    SetOutFunc(nullptr, printMessage);
    SetProgressReporter(nullptr, ignoreProgress);
}

int engineMessageCount() { return g_messages.load(); }

}  // namespace velk::cli
