#pragma once
// How every export of include/velkcore.h ends.  The engine hands a Status up;
// here, and only here, it becomes the C interface's return: the value for
// success, the export's failure value otherwise, with the failure's message said
// once through report().  An exception is caught and said the same way, so none
// crosses into the caller (leveldb's SaveError, with the try around it).
//
// Stateless; callable from any thread, as the exports are.
#include <cstdint>
#include <exception>
#include <new>
#include <type_traits>
#include <utility>

#include "base/status.h"

namespace velk::api {

// An export's value, or the failure that takes its place.
template <class R>
class Outcome {
public:
    Outcome(R value) : m_value(value) {}
    Outcome(Status failure) : m_status(std::move(failure)) {}

    bool isOk() const { return m_status.isOk(); }
    R value() const { return m_value; }
    const Status& status() const { return m_status; }

private:
    R m_value{};
    Status m_status;
};

// What an export says when memory runs out.  The texts differ between the
// families of exports, and hosts match them, so each family keeps its own.
enum class MemoryMessage {
    kExplained,   // "Out of memory in X: the test needs more memory than the system gives"
    kNamed,       // "Out of memory in X"
    kAsInternal,  // "Internal failure in X", as for any other exception
};

// The C face of a status: 1 for success; 0 for a failure, whose message (when it
// has one) is reported here, once.
int32_t saveError(const Status& status);

// The status an exception escaping export exportName becomes.
Status statusOfException(const std::exception_ptr& error, const char* exportName,
                         MemoryMessage memory);

// Runs an export's body and converts what it returns.  The body returns the
// export's value (R), an Outcome<R>, or a Status (an int32_t export: 1 or 0).
// On failure, and on any exception, the export returns onFailure.
template <class R, class Body>
R guarded(const char* exportName, R onFailure, Body&& body,
          MemoryMessage memory = MemoryMessage::kExplained) noexcept {
    using Returned = std::invoke_result_t<Body&>;
    Status failure;
    try {
        if constexpr (std::is_same_v<Returned, Status>) {
            static_assert(std::is_same_v<R, int32_t>, "a status becomes 1 or 0");
            failure = body();
            if (failure.isOk()) return 1;
        } else if constexpr (std::is_same_v<Returned, Outcome<R>>) {
            Outcome<R> outcome = body();
            if (outcome.isOk()) return outcome.value();
            failure = outcome.status();
        } else {
            return body();
        }
    } catch (...) {
        try {
            failure = statusOfException(std::current_exception(), exportName, memory);
        } catch (...) {
            return onFailure;
        }
    }
    try {
        saveError(failure);
    } catch (...) {
    }
    return onFailure;
}

}  // namespace velk::api
