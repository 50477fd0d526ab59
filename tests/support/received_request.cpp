#include "support/received_request.h"

#include <strings.h>

#include <cstdlib>

namespace velk::test {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::string ReceivedRequest::header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (sameName(n, name)) return v;
    }
    return {};
}

bool ReceivedRequest::hasHeader(std::string_view name) const {
    for (const auto& h : headers) {
        if (sameName(h.first, name)) return true;
    }
    return false;
}

bool parseRequestHead(std::string_view head, ReceivedRequest& request) {
    size_t eol = head.find('\n');
    std::string_view line = trim(head.substr(0, eol));
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos) return false;
    request.method = line.substr(0, sp1);
    request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = line.substr(sp2 + 1);
    while (eol != std::string_view::npos) {
        size_t start = eol + 1;
        eol = head.find('\n', start);
        std::string_view h = trim(head.substr(
            start, eol == std::string_view::npos ? std::string_view::npos : eol - start));
        size_t colon = h.find(':');
        if (h.empty() || colon == std::string_view::npos) continue;
        request.headers.emplace_back(std::string(trim(h.substr(0, colon))),
                                     std::string(trim(h.substr(colon + 1))));
    }
    return true;
}

long long contentLengthOf(const ReceivedRequest& request) {
    if (!request.hasHeader("Content-Length")) return 0;
    std::string v = request.header("Content-Length");
    char* end = nullptr;
    long long n = std::strtoll(v.c_str(), &end, 10);
    return (end == v.c_str() || *end != '\0' || n < 0) ? -1 : n;
}

}  // namespace velk::test
