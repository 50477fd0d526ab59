#pragma once
// One walk over a response's header lines after a status of 100, 200, 301 or
// 302: the cookies the server sets go into the user's list, the "Location:"
// value is noted, and the start of the body is found (after the second header
// block when the status is 100).
//
// A plain function; the response is only read.
#include <cstddef>
#include <optional>
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

HeaderScan scanResponseHeaders(std::string_view response, int status, CookieList& cookies);

}  // namespace velk
