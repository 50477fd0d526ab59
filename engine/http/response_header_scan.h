#pragma once
// The reader's one pass over a response header (ResponseHead), for a header
// already held in memory: the cookies it sets go into a user's list, its
// "Location:" value is noted and the start of the body is found (after an
// interim block of status 100, the next block's).  The fuzzer and the tests
// take the header parse this way.
//
// A plain function; the response is only read.
#include <cstddef>
#include <string_view>

#include "http/cookie_list.h"

namespace velk {

struct HeaderScan {
    // Where the body starts; at the end of the response when the header block
    // never ends.
    size_t body = 0;
    // The text after "Location:" and its blanks, up to the line end; empty when
    // there is none (a view into the response).
    std::string_view location;
};

HeaderScan scanResponseHeaders(std::string_view response, CookieList& cookies);

}  // namespace velk
