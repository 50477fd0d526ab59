#include "scripting/trace_sink.h"

#include <cstdio>
#include <cstdlib>

namespace velk {

bool TraceSink::enabled() {
    static const bool on = std::getenv("VELK_TRACE") != nullptr;
    return on;
}

void TraceSink::write(const char* text) {
    if (enabled()) std::fputs(text, stderr);
}

}  // namespace velk
