#pragma once
// The request methods a script may name with $method.  The numbers are what a
// request definition stores: 0 and 1 keep their old meaning (GET, POST), so
// callers that only know those two read them as before.
//
// Plain functions over a constant table; safe from any thread.
#include <cstdint>
#include <string_view>

namespace velk {

enum HttpMethod : int32_t {
    kMethodGet = 0,
    kMethodPost = 1,
    kMethodPut = 2,
    kMethodPatch = 3,
    kMethodDelete = 4,
    kMethodHead = 5,
    kMethodOptions = 6,
};

// The method a $method value names, in any case; any other value is POST, as
// it always was.
int32_t methodFromName(std::string_view value);

// The name sent on the request line ("POST" for a number out of the table).
std::string_view methodName(int32_t method);

// Whether a request of this method carries its parameters (or content) as a
// body; GET and HEAD put parameters in the query string.
inline bool methodCarriesBody(int32_t method) {
    return method != kMethodGet && method != kMethodHead;
}

}  // namespace velk
