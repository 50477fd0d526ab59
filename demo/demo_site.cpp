#include "demo_site.h"

#include <algorithm>
#include <string>

#include "form_data.h"
#include "page_layout.h"
#include "text_util.h"

namespace velk::demo {

namespace {

HttpResponse methodNotAllowed(const char* allow) {
    HttpResponse response = errorResponse(405);
    response.headers.emplace_back("Allow", allow);
    return response;
}

}  // namespace

HttpResponse DemoSite::handle(const HttpRequest& request) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";

    if (path == "/") return get ? home() : methodNotAllowed("GET, HEAD");
    if (path == "/login") {
        if (get) return m_account.loginForm();
        return post ? m_account.login(request) : methodNotAllowed("GET, HEAD, POST");
    }
    if (path == "/account") return get ? m_account.account(request) : methodNotAllowed("GET, HEAD");
    if (path == "/logout")
        return get || post ? m_account.logout(request) : methodNotAllowed("GET, HEAD, POST");
    if (path == "/products") return get ? m_shop.products() : methodNotAllowed("GET, HEAD");
    if (path == "/product") return get ? m_shop.product(request) : methodNotAllowed("GET, HEAD");
    if (path == "/search")
        return get || post ? m_shop.search(request) : methodNotAllowed("GET, HEAD, POST");
    if (path == "/slow") return get ? slow(request) : methodNotAllowed("GET, HEAD");
    return errorResponse(404);
}

HttpResponse DemoSite::home() const {
    return pageResponse(200, "Welcome",
                        "<p>A small shop to try load tests against.</p>\n<ul>\n"
                        "<li><a href=\"/login\">Log in</a> (any name, password "
                        "<code>secret</code>)</li>\n"
                        "<li><a href=\"/products\">Browse the products</a></li>\n"
                        "<li><a href=\"/search\">Search</a></li>\n"
                        "<li><a href=\"/slow\">A slow page</a></li>\n</ul>");
}

HttpResponse DemoSite::slow(const HttpRequest& request) const {
    const FormData query = FormData::parse(request.query);
    int ms = kDefaultSlowMs;
    if (query.has("ms")) {
        // Anything that is not a number falls back to the default; big numbers are capped.
        if (const auto asked = parseUnsigned(query.get("ms"), 1ULL << 60))
            ms = static_cast<int>(std::min<unsigned long long>(*asked, kMaxSlowMs));
    }
    HttpResponse response = pageResponse(200, "A slow page",
                                         "<p>This page took " + std::to_string(ms) +
                                             " ms to answer, like a busy database would.</p>");
    response.delay = std::chrono::milliseconds(ms);
    return response;
}

}  // namespace velk::demo
