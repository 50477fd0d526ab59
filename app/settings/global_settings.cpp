#include "app/settings/global_settings.h"

namespace velk::settings {
namespace {

struct ProxyType {
    const char* name;
    const char* scheme;
};
constexpr ProxyType kProxyTypes[GlobalSettings::kProxyTypeCount] = {
    {"HTTP", "http"}, {"HTTPS", "httpc"}, {"SOCKS4", "socks4"}, {"SOCKS5", "socks5"}};

bool validProxyType(int32_t type) {
    return type >= 0 && type < GlobalSettings::kProxyTypeCount;
}

// "HTTPVersion" as stored: 0 HTTP 1.0, 1 HTTP 1.1, 2 HTTP/2 where TLS offers it,
// 3 HTTP/2 also in clear text.  HTTP/2 falls back to HTTP 1.1, never 1.0.
int32_t storedHttpVersion(const GlobalSettings::Values& v) {
    return v.http2 == 1 || v.http2 == 2 ? v.http2 + 1 : v.httpVersion;
}

void takeStoredHttpVersion(int32_t stored, GlobalSettings::Values& v) {
    if (stored == 2 || stored == 3) {
        v.httpVersion = 1;
        v.http2 = stored - 1;
    } else {
        v.httpVersion = stored;
        v.http2 = 0;
    }
}

}  // namespace

const char* GlobalSettings::proxyTypeName(int32_t type) {
    return validProxyType(type) ? kProxyTypes[type].name : "";
}

const char* GlobalSettings::proxyScheme(int32_t type) {
    return validProxyType(type) ? kProxyTypes[type].scheme : "";
}

GlobalSettings& GlobalSettings::shared() {
    static GlobalSettings settings;
    return settings;
}

GlobalSettings::Values GlobalSettings::values() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_values;
}

bool GlobalSettings::setValues(const Values& values) {
    if (!validProxyType(values.proxyType)) return false;
    std::lock_guard<std::mutex> g(m_mutex);
    m_values = values;
    return true;
}

int32_t GlobalSettings::timeout() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_values.timeout;
}

bool GlobalSettings::useProxy() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_values.useProxy;
}

int32_t GlobalSettings::httpVersion() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_values.httpVersion;
}

int32_t GlobalSettings::http2() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_values.http2;
}

int32_t GlobalSettings::sslVersion() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_values.sslVersion;
}

std::string GlobalSettings::proxyAddress() const {
    std::lock_guard<std::mutex> g(m_mutex);
    const Values& v = m_values;
    std::string address = std::string(proxyScheme(v.proxyType)) + "://";
    if (v.proxyAuth) address += v.proxyUser + ":" + v.proxyPassword + "@";
    return address + v.proxyServer + ":" + std::to_string(v.proxyPort);
}

bool GlobalSettings::load(SettingsBackend& store, int* valuesRead) {
    if (valuesRead) *valuesRead = 0;
    if (!store.open(false)) return false;
    std::lock_guard<std::mutex> g(m_mutex);
    Values& v = m_values;
    int read = 0;
    auto number = [&](const char* name, int32_t& field) {
        std::optional<int32_t> n = store.readInt(name);
        if (n) field = *n, ++read;
        return n.has_value();
    };
    auto flag = [&](const char* name, bool& field) {
        std::optional<int32_t> n = store.readInt(name);
        if (n) field = *n != 0, ++read;
        return n.has_value();
    };
    auto text = [&](const char* name, std::string& field) {
        std::optional<std::string> s = store.readString(name);
        if (s) field = std::move(*s), ++read;
        return s.has_value();
    };
    auto httpVersion = [&]() {
        int32_t stored = 0;
        if (!number("HTTPVersion", stored)) return false;
        takeStoredHttpVersion(stored, v);
        return true;
    };
    auto proxyType = [&]() {
        // An index outside the list would select no scheme at all.
        std::optional<int32_t> n = store.readInt("ProxyType");
        if (!n || !validProxyType(*n)) return false;
        v.proxyType = *n;
        ++read;
        return true;
    };
    const bool all =
        flag("StartRecording", v.startRecording) && flag("PromptRecording", v.promptRecording) &&
        flag("UseProxy", v.useProxy) && proxyType() && text("ProxyServer", v.proxyServer) &&
        number("ProxyPort", v.proxyPort) && flag("ProxyAuth", v.proxyAuth) &&
        text("ProxyUser", v.proxyUser) && text("ProxyPassword", v.proxyPassword) &&
        number("Timeout", v.timeout) && httpVersion() && number("SSLVersion", v.sslVersion);
    if (valuesRead) *valuesRead = read;
    store.close();
    return all;
}

bool GlobalSettings::save(SettingsBackend& store) const {
    if (!store.open(true)) return false;
    const Values v = values();
    store.writeInt("UseProxy", v.useProxy);
    store.writeInt("ProxyType", v.proxyType);
    store.writeInt("ProxyPort", v.proxyPort);
    store.writeString("ProxyServer", v.proxyServer);
    store.writeInt("ProxyAuth", v.proxyAuth);
    store.writeString("ProxyUser", v.proxyUser);
    store.writeString("ProxyPassword", v.proxyPassword);
    store.writeInt("Timeout", v.timeout);
    store.writeInt("PromptRecording", v.promptRecording);
    store.writeInt("StartRecording", v.startRecording);
    store.writeInt("HTTPVersion", storedHttpVersion(v));
    store.writeInt("SSLVersion", v.sslVersion);
    return store.close();
}

}  // namespace velk::settings
