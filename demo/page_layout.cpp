#include "page_layout.h"

#include "text_util.h"

namespace velk::demo {

namespace {

constexpr std::string_view kStyle =
    "body{font-family:system-ui,sans-serif;max-width:42rem;margin:2rem auto;padding:0 1rem;"
    "color:#222;background:#fafafa}"
    "nav a{margin-right:1rem}header{border-bottom:1px solid #ddd;margin-bottom:1rem}"
    "h1{font-size:1.6rem}a{color:#0a58ca}.price{font-weight:bold}"
    "form{display:grid;gap:.5rem;max-width:20rem}.error{color:#b00020}";

}  // namespace

std::string htmlPage(std::string_view title, std::string_view bodyHtml) {
    const std::string safeTitle = escapeHtml(title);
    std::string page;
    page.reserve(700 + bodyHtml.size());
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    page += safeTitle;
    page += " - VELK demo shop</title>\n<style>";
    page += kStyle;
    page +=
        "</style>\n</head>\n<body>\n<header><nav><a href=\"/\">Home</a>"
        "<a href=\"/products\">Products</a><a href=\"/search\">Search</a>"
        "<a href=\"/login\">Log in</a></nav></header>\n<h1>";
    page += safeTitle;
    page += "</h1>\n";
    page += bodyHtml;
    page += "\n</body>\n</html>\n";
    return page;
}

HttpResponse pageResponse(int status, std::string_view title, std::string_view bodyHtml) {
    HttpResponse response;
    response.status = status;
    response.body = htmlPage(title, bodyHtml);
    return response;
}

HttpResponse redirectResponse(std::string_view location) {
    HttpResponse response = pageResponse(
        302, "Moved", "<p>Continue to <a href=\"" + escapeHtml(location) + "\">here</a>.</p>");
    response.headers.emplace_back("Location", location);
    return response;
}

HttpResponse errorResponse(int status) {
    const std::string reason(HttpResponse::reasonPhrase(status));
    return pageResponse(status, reason,
                        "<p>" + std::to_string(status) + " " + reason +
                            ". Try the <a href=\"/\">home page</a>.</p>");
}

}  // namespace velk::demo
