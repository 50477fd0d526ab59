#include "app/scenario/request.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace velk::scenario {
namespace {

std::atomic<int32_t> g_lastRequestId{0};

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ::tolower(static_cast<unsigned char>(x)) ==
                      ::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

CRequest::CRequest()
    : m_id(g_lastRequestId.fetch_add(1) + 1), m_name("req_" + std::to_string(m_id)) {}

void CRequest::resetIdCounter() {
    g_lastRequestId.exchange(0);
}

int32_t CRequest::lastId() {
    return g_lastRequestId.load();
}

void CRequest::restoreIdCounter(int32_t lastId) {
    g_lastRequestId.store(lastId);
}

void CRequest::setUrl(std::string_view url) {
    m_server.clear();
    m_uri.clear();
    m_useDelay = false;
    std::string u(url);
    std::replace(u.begin(), u.end(), '\\', '/');
    if (m_secure == kUnknown) {
        if (u.starts_with("https:"))
            m_secure = kHttps;
        else if (u.starts_with("http:"))
            m_secure = kPlain;
    }
    const size_t scheme = u.find("//");
    const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 2;
    const size_t slash = u.find('/', hostStart);
    if (slash == std::string::npos) {
        m_server = u.substr(hostStart);
    } else {
        m_server = u.substr(hostStart, slash - hostStart);
        m_uri = u.substr(slash + 1);
    }
}

CReqParam* CRequest::getParam(int32_t index) {
    return index >= 0 && index < paramCount() ? m_params[size_t(index)].get() : nullptr;
}

const CReqParam* CRequest::getParam(int32_t index) const {
    return index >= 0 && index < paramCount() ? m_params[size_t(index)].get() : nullptr;
}

CReqParam* CRequest::insertParam(int32_t index, std::unique_ptr<CReqParam> param) {
    CReqParam* raw = param.get();
    if (index < 0 || index >= paramCount())
        m_params.push_back(std::move(param));
    else
        m_params.insert(m_params.begin() + index, std::move(param));
    return raw;
}

CReqParam* CRequest::findParam(std::string_view name) {
    for (auto& p : m_params)
        if (equalNoCase(p->getName(), name)) return p.get();
    return nullptr;
}

bool CRequest::removeParam(std::string_view name) {
    auto it = std::find_if(m_params.begin(), m_params.end(),
                           [&](const auto& p) { return equalNoCase(p->getName(), name); });
    if (it == m_params.end()) return false;
    m_params.erase(it);
    return true;
}

std::string_view CRequest::methodName(int32_t method) {
    static constexpr std::string_view kNames[kMethodCount] = {"GET",    "POST", "PUT",    "PATCH",
                                                              "DELETE", "HEAD", "OPTIONS"};
    return method >= 1 && method <= kMethodCount ? kNames[method - 1] : std::string_view();
}

bool CRequest::writeSection(std::string& out, std::string_view checkLines) const {
    out += "\r\n[";
    out += m_name.empty() ? "req_" + std::to_string(m_id) : m_name;
    out += "]\r\n";
    const std::string_view method = methodName(m_method);
    if (method.empty()) return false;
    out += "$method=";
    out += method;
    out += "\r\n";

    std::string host = m_server;
    std::string port = m_secure == kHttps ? "443" : "80";
    // An IPv6 address is written in brackets: the port's colon follows them.
    const size_t bracket = m_server.starts_with('[') ? m_server.find(']') : std::string::npos;
    if (const size_t colon = m_server.find(':', bracket == std::string::npos ? 0 : bracket);
        colon != std::string::npos) {
        host = m_server.substr(0, colon);
        port = m_server.substr(colon + 1);
    }
    out += "$server=" + host + "\r\n";
    out += "$port=" + port + "\r\n";

    if (m_useDelay) {
        // Seconds to milliseconds; 64-bit so that a large stored value cannot overflow.
        const int64_t from = int64_t(m_delayFrom) * 1000, to = int64_t(m_delayTo) * 1000;
        out += "$delay=" + std::to_string(from);
        if (m_delayFrom < m_delayTo) out += "-" + std::to_string(to);
        out += "\r\n";
    }

    if (m_uri.empty())
        out += "$uri=/\r\n";
    else if (m_uri[0] == '$' || m_uri[0] == '/' || m_uri[0] == '\\')
        out += "$uri=" + m_uri + "\r\n";
    else
        out += "$uri=/" + m_uri + "\r\n";
    out += "$secure=" + std::to_string(m_secure) + "\r\n";
    out += "$header=Content-Type: " + m_contentType + "\r\n";
    out += checkLines;
    for (const auto& p : m_params) out += p->getName() + "=" + p->buildValue(false, '&') + "\r\n";
    out += "\r\n";
    return true;
}

}  // namespace velk::scenario
