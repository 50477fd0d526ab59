#pragma once
// The demo web shop: turns one request into one response.  Knows nothing of
// sockets; the slow page only sets HttpResponse::delay and the server waits.
// HEAD is answered like GET (the server leaves out the body).  Safe from any
// thread.
#include "account_pages.h"
#include "http_request.h"
#include "http_response.h"
#include "shop_pages.h"

namespace velk::demo {

class DemoSite {
public:
    static constexpr int kDefaultSlowMs = 300;
    static constexpr int kMaxSlowMs = 5000;

    HttpResponse handle(const HttpRequest& request);

private:
    HttpResponse home() const;
    HttpResponse slow(const HttpRequest& request) const;

    AccountPages m_account;
    ShopPages m_shop;
};

}  // namespace velk::demo
