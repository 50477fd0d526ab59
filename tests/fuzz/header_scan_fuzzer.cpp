// libFuzzer target: the cookie and Location scan of a response, and the
// resolution of the Location it finds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/cookie_list.h"
#include "http/redirect_location.h"
#include "http/response_header_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte once chose the status; the status line gives it now.
    std::string_view response(reinterpret_cast<const char*>(data + 1), size - 1);
    static velk::CookieList cookies;  // one list across inputs, as a user's grows over a run
    velk::HeaderScan scan = velk::scanResponseHeaders(response, cookies);
    if (scan.body > response.size()) __builtin_trap();
    velk::RedirectBase base;
    base.host = "example.test";
    base.port = 8080;
    base.directory = velk::urlDirectory("http://example.test:8080/shop/cart/view.html");
    velk::RedirectTarget target;
    velk::resolveRedirectLocation(scan.location, base, target);
    std::string url;
    velk::appendAbsoluteUrl(target, url);
    return 0;
}
