#include "base/message.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace velk {
namespace {

std::atomic<OutFunc> g_outFunc{defaultOutFunc};
std::atomic<void*> g_outContext{nullptr};
std::atomic<ProgressReporter> g_progressFunc{defaultProgressReporter};
std::atomic<void*> g_progressContext{nullptr};

}  // namespace

void defaultOutFunc(void*, const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void defaultProgressReporter(void*, int32_t made, int32_t total) {
    if (total == -1)
        report("Requests made so far: %d\r", made);
    else
        report("Request: %d/%d\r", made < total ? made : total, total);
}

void report(const char* format, ...) {
    char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) buffer[0] = '\0';
    size_t len = std::strlen(buffer);
    while (len > 0 && buffer[len - 1] == '\n') buffer[--len] = '\0';
    if (OutFunc out = g_outFunc.load(std::memory_order_acquire))
        out(g_outContext.load(std::memory_order_acquire), buffer);
}

namespace {

std::string vformat(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char small[256];
    const int n = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (n < 0) {
        va_end(again);
        return text;
    }
    if (size_t(n) < sizeof small) {
        text.assign(small, size_t(n));
    } else {
        text.resize(size_t(n));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

}  // namespace

std::string formatMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

Status failure(StatusCode code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return Status(code, std::move(text));
}

Status invalidInput(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return Status(StatusCode::kInvalid, std::move(text));
}

bool reportIfFailed(const Status& status) {
    if (status.isOk()) return true;
    if (!status.message().empty()) report("%s", status.message().c_str());
    return false;
}

void setOutFunc(void* context, OutFunc func) {
    g_outContext.store(context, std::memory_order_release);
    g_outFunc.store(func, std::memory_order_release);
}

void setProgressReporter(void* context, ProgressReporter func) {
    g_progressContext.store(context, std::memory_order_release);
    g_progressFunc.store(func, std::memory_order_release);
}

void reportProgress(int32_t made, int32_t total) {
    if (ProgressReporter progress = g_progressFunc.load(std::memory_order_acquire))
        progress(g_progressContext.load(std::memory_order_acquire), made, total);
}

}  // namespace velk
