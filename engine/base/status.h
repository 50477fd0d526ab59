#pragma once
// Status: the engine's one way to say how an operation ended, carried up the
// layers and turned into the C interface's returns in one place (the exports).
//
// A code says what kind of ending it was; an optional message says why, in words
// for the user.  Success carries no message and allocates nothing, so a status
// can be returned from a virtual user's hot path.  A plain value; not shared.
#include <cstdint>
#include <string>
#include <utility>

// By its own folder: the rings above include this header as "engine/base/...".
#include "result_codes.h"

namespace velk {

enum class StatusCode : uint8_t {
    kOk,
    kWouldBlock,  // nothing can be done until the socket is ready (transports)
    kClosed,      // the peer closed the stream in order
    kNetwork,     // no connection, or it broke
    kTimeout,     // no complete answer in time
    kAborted,     // the run's abort flag ended the wait
    kHttp,        // the server answered with an error status
    kFail,        // a $fail check matched the response
    kInvalid,     // input that does not parse or is out of range
    kIo,          // a file could not be read or written
};

class [[nodiscard]] Status {
public:
    Status() = default;
    Status(StatusCode code, std::string message = {})
        : m_code(code), m_message(std::move(message)) {}
    static Status ok() { return {}; }

    bool isOk() const { return m_code == StatusCode::kOk; }
    explicit operator bool() const { return isOk(); }
    StatusCode code() const { return m_code; }
    const std::string& message() const { return m_message; }

    // The result class a request records for this status (kResult* of
    // result_codes.h); an aborted or closed exchange counts as a network error.
    int32_t resultClass() const {
        switch (m_code) {
            case StatusCode::kHttp:
                return kResultHttp;
            case StatusCode::kFail:
                return kResultFail;
            case StatusCode::kTimeout:
                return kResultTimeout;
            default:
                return kResultNetwork;
        }
    }

private:
    StatusCode m_code = StatusCode::kOk;
    std::string m_message;
};

}  // namespace velk
