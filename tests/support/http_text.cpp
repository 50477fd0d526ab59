#include "support/http_text.h"

#include <cstdio>

namespace velk::test {

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 419:
            return "Page Expired";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        default:
            return "Status";
    }
}

std::string httpResponse(int status, std::string_view body, std::string_view extraHeaders,
                         std::string_view version) {
    std::string out(version);
    out += " " + std::to_string(status) + " ";
    out += reasonPhrase(status);
    out += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    out += extraHeaders;
    out += "\r\n";
    out += body;
    return out;
}

std::string chunkedResponse(int status, const std::vector<std::string>& chunks,
                            std::string_view extraHeaders) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " ";
    out += reasonPhrase(status);
    out += "\r\nTransfer-Encoding: chunked\r\n";
    out += extraHeaders;
    out += "\r\n";
    for (const std::string& c : chunks) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", c.size());
        out += size;
        out += c;
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

}  // namespace velk::test
