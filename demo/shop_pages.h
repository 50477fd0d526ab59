#pragma once
// The catalogue pages: the product list, one product, and the search.  Holds only
// the immutable catalogue; safe from any thread.
#include "http_request.h"
#include "http_response.h"
#include "product_catalog.h"

namespace velk::demo {

class ShopPages {
public:
    HttpResponse products() const;
    HttpResponse product(const HttpRequest& request) const;
    // The term comes from the query string (GET) or the form body (POST).
    HttpResponse search(const HttpRequest& request) const;

    const ProductCatalog& catalog() const { return m_catalog; }

private:
    ProductCatalog m_catalog;
};

}  // namespace velk::demo
