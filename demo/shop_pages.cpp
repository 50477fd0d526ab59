#include "shop_pages.h"

#include <string>

#include "form_data.h"
#include "page_layout.h"
#include "text_util.h"

namespace velk::demo {

namespace {

std::string productLink(const Product& product) {
    return "<a href=\"/product?id=" + std::to_string(product.id) + "\">" +
           escapeHtml(product.name) + "</a> <span class=\"price\">" +
           ProductCatalog::formatPrice(product.priceCents) + "</span>";
}

constexpr std::string_view kSearchForm =
    "<form action=\"/search\" method=\"get\">\n"
    "<label>Search <input type=\"search\" name=\"q\"></label>\n"
    "<button type=\"submit\">Search</button>\n</form>\n";

}  // namespace

HttpResponse ShopPages::products() const {
    std::string body = "<ul class=\"products\">\n";
    for (const Product& product : m_catalog.all())
        body += "<li>" + productLink(product) + "</li>\n";
    body += "</ul>";
    return pageResponse(200, "Products", body);
}

HttpResponse ShopPages::product(const HttpRequest& request) const {
    const FormData query = FormData::parse(request.query);
    const auto id = parseUnsigned(query.get("id"), 1000000);
    const Product* product = id ? m_catalog.find(static_cast<int>(*id)) : nullptr;
    if (!product)
        return pageResponse(404, "No such product",
                            "<p>We do not sell that. See <a href=\"/products\">all "
                            "products</a>.</p>");
    return pageResponse(200, product->name,
                        "<p>" + escapeHtml(product->description) +
                            "</p>\n<p>Price: <span class=\"price\">" +
                            ProductCatalog::formatPrice(product->priceCents) +
                            "</span></p>\n<p><a href=\"/products\">Back to all products</a></p>");
}

HttpResponse ShopPages::search(const HttpRequest& request) const {
    const FormData form = FormData::parse(request.method == "POST" ? request.body : request.query);
    if (!form.has("q")) return pageResponse(200, "Search", std::string(kSearchForm));

    const std::string_view term = form.get("q");
    const auto hits = m_catalog.search(term);
    std::string body(kSearchForm);
    body += "<p class=\"count\">" + std::to_string(hits.size()) +
            (hits.size() == 1 ? " result" : " results") + " for <q>" + escapeHtml(term) +
            "</q></p>\n<ul class=\"results\">\n";
    for (const Product* product : hits) body += "<li>" + productLink(*product) + "</li>\n";
    body += "</ul>";
    return pageResponse(200, "Search results", body);
}

}  // namespace velk::demo
