#include "api/export_guard.h"

#include "base/message.h"

namespace velk::api {

int32_t saveError(const Status& status) {
    return reportIfFailed(status) ? 1 : 0;
}

Status statusOfException(const std::exception_ptr& error, const char* exportName,
                         MemoryMessage memory) {
    // The code goes no further than the C boundary; only the message is seen.
    constexpr StatusCode kCode = StatusCode::kInvalid;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        switch (memory) {
            case MemoryMessage::kExplained:
                return failure(kCode,
                               "Out of memory in %s: the test needs more memory than the "
                               "system gives\n",
                               exportName);
            case MemoryMessage::kNamed:
                return failure(kCode, "Out of memory in %s\n", exportName);
            case MemoryMessage::kAsInternal:
                break;
        }
    } catch (...) {
    }
    return failure(kCode, "Internal failure in %s\n", exportName);
}

}  // namespace velk::api
