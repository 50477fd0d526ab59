#include "support/spa_server.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string_view>

#include "support/responder.h"
#include "text_util.h"

namespace velk::test {
namespace {

const char* const kSpaJson = "Content-Type: application/json\r\n";
const char* const kSpaHtml = "Content-Type: text/html; charset=utf-8\r\n";
const char* const kSpaCookie = "spa_session";
// Enough for any test; keeps a runaway client from growing the table for ever.
constexpr size_t kSpaMaxSessions = 100000;

// The value of cookie name in the request's Cookie headers, or "".
std::string spaCookie(const ReceivedRequest& r, std::string_view name) {
    for (const auto& [header, value] : r.headers) {
        if (header.size() != 6 || strncasecmp(header.c_str(), "cookie", 6) != 0) continue;
        std::string_view rest = value;
        while (!rest.empty()) {
            const size_t end = rest.find(';');
            std::string_view pair = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
            const size_t eq = pair.find('=');
            if (eq != std::string_view::npos && pair.substr(0, eq) == name)
                return std::string(pair.substr(eq + 1));
        }
    }
    return "";
}

// The string value of "name" in a flat JSON object, or "" (escapes kept as sent).
std::string spaJsonString(std::string_view json, std::string_view name) {
    const std::string key = "\"" + std::string(name) + "\"";
    size_t at = json.find(key);
    if (at == std::string_view::npos) return "";
    at += key.size();
    while (at < json.size() && (json[at] == ' ' || json[at] == ':')) ++at;
    if (at >= json.size() || json[at] != '"') return "";
    std::string out;
    for (++at; at < json.size() && json[at] != '"'; ++at) {
        if (json[at] == '\\' && at + 1 < json.size()) ++at;
        out += json[at];
    }
    return out;
}

int spaHexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The decoded value of name in an application/x-www-form-urlencoded body, or "".
std::string spaFormValue(std::string_view body, std::string_view name) {
    while (!body.empty()) {
        const size_t end = body.find('&');
        const std::string_view pair = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos || pair.substr(0, eq) != name) continue;
        std::string out;
        const std::string_view raw = pair.substr(eq + 1);
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '+') {
                out += ' ';
            } else if (raw[i] == '%' && i + 2 < raw.size() && spaHexDigit(raw[i + 1]) >= 0 &&
                       spaHexDigit(raw[i + 2]) >= 0) {
                out += char(spaHexDigit(raw[i + 1]) * 16 + spaHexDigit(raw[i + 2]));
                i += 2;
            } else {
                out += raw[i];
            }
        }
        return out;
    }
    return "";
}

std::string spaJsonEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

// The page's script does what a single-page application's sign-in does: the
// meta tag's token in a header, the credentials as JSON, then the bearer token
// from the answer on the next API call.
const char* const kSpaScript = R"(<script>
document.getElementById('signin').addEventListener('submit', async (event) => {
  event.preventDefault();
  const who = document.getElementById('who');
  const csrf = document.querySelector('meta[name="csrf-token"]').content;
  const login = await fetch('/api/login', {method: 'POST',
    headers: {'Content-Type': 'application/json', 'X-CSRF-Token': csrf},
    body: JSON.stringify({user: document.getElementById('user').value,
                          password: document.getElementById('password').value})});
  if (!login.ok) { who.textContent = 'Sign-in refused (' + login.status + ')'; return; }
  const answer = await login.json();
  const me = await fetch('/api/me', {headers: {'Authorization': 'Bearer ' + answer.token}});
  if (!me.ok) { who.textContent = 'Not signed in (' + me.status + ')'; return; }
  who.textContent = 'Signed in as ' + (await me.json()).name;
});
</script>)";

}  // namespace

SpaServer::SpaServer() : m_random(std::random_device{}()) {
    m_http.setHandler([this](const ReceivedRequest& r, Responder& out) { serve(r, out); });
}

std::string SpaServer::lastCsrfToken() const {
    std::lock_guard lock(m_mutex);
    return m_lastCsrf;
}

std::string SpaServer::lastBearerToken() const {
    std::lock_guard lock(m_mutex);
    return m_lastBearer;
}

std::string SpaServer::randomToken(size_t length) {
    // Hex, as most frameworks' tokens: letters and digits both, like any
    // generated value.
    static constexpr std::string_view kAlphabet = "0123456789abcdef";
    std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
    std::string out;
    for (size_t i = 0; i < length; ++i) out += kAlphabet[pick(m_random)];
    return out;
}

SpaServer::Session* SpaServer::knownSession(const ReceivedRequest& r) {
    auto found = m_sessions.find(spaCookie(r, kSpaCookie));
    return found == m_sessions.end() ? nullptr : &found->second;
}

SpaServer::Session& SpaServer::sessionFor(const ReceivedRequest& r, std::string& cookieHeader) {
    if (Session* known = knownSession(r)) return *known;
    if (m_sessions.size() >= kSpaMaxSessions) m_sessions.erase(m_sessions.begin());
    const std::string id = randomToken(24);
    cookieHeader = std::string("Set-Cookie: ") + kSpaCookie + "=" + id + "; Path=/; HttpOnly\r\n";
    return m_sessions[id];
}

void SpaServer::serve(const ReceivedRequest& r, Responder& out) {
    const std::string path = r.target.substr(0, r.target.find('?'));
    if (path == "/" && r.method == "GET") return servePage(r, out);
    if (path == "/api/login") return serveApiLogin(r, out);
    if (path == "/api/me") return serveMe(r, out);
    if (path == "/login" && r.method == "POST") return serveLoginPost(r, out);
    if (path == "/login") return serveLoginForm(r, out);
    if (path == "/home") return serveHome(r, out);
    out.respond(404, "<html><head><title>Not found</title></head><body></body></html>", kSpaHtml);
}

void SpaServer::servePage(const ReceivedRequest& r, Responder& out) {
    std::string cookie, csrf;
    {
        std::lock_guard lock(m_mutex);
        Session& session = sessionFor(r, cookie);
        session.csrf = randomToken(40);
        csrf = m_lastCsrf = session.csrf;
    }
    ++m_pageVisits;
    const std::string page =
        "<!DOCTYPE html>\n<html><head><title>Sign in</title>\n"
        "<meta name=\"csrf-token\" content=\"" +
        csrf +
        "\">\n</head><body>\n"
        "<form id=\"signin\"><input id=\"user\" name=\"user\">"
        "<input id=\"password\" name=\"password\" type=\"password\">"
        "<button type=\"submit\">Sign in</button></form>\n"
        "<p id=\"who\"></p>\n" +
        kSpaScript + "\n</body></html>\n";
    out.respond(200, page, std::string(kSpaHtml) + cookie);
}

void SpaServer::serveApiLogin(const ReceivedRequest& r, Responder& out) {
    std::string token;
    const std::string user = spaJsonString(r.body, "user");
    {
        std::lock_guard lock(m_mutex);
        Session* session = knownSession(r);
        const std::string sent = r.header("X-CSRF-Token");
        if (r.method != "POST" || session == nullptr || session->csrf.empty() ||
            sent != session->csrf) {
            ++m_csrfRefusals;
            out.respond(419, R"({"message":"CSRF token mismatch"})", kSpaJson);
            return;
        }
        if (user.empty() || spaJsonString(r.body, "password") != "secret") {
            ++m_badPasswords;
            out.respond(401, R"({"message":"bad credentials"})", kSpaJson);
            return;
        }
        session->bearer = token = m_lastBearer = randomToken(48);
        session->apiUser = user;
    }
    ++m_signIns;
    out.respond(200, R"({"token":")" + token + R"(","user":")" + spaJsonEscaped(user) + "\"}",
                kSpaJson);
}

void SpaServer::serveMe(const ReceivedRequest& r, Responder& out) {
    const std::string auth = r.header("Authorization");
    std::string user;
    {
        std::lock_guard lock(m_mutex);
        const Session* session = knownSession(r);
        if (session != nullptr && !session->bearer.empty() && auth.starts_with("Bearer ") &&
            auth.substr(7) == session->bearer)
            user = session->apiUser;
    }
    if (user.empty()) {
        ++m_bearerRefusals;
        out.respond(401, R"({"message":"unauthenticated"})", kSpaJson);
        return;
    }
    ++m_signedInCalls;
    out.respond(200, R"({"name":")" + spaJsonEscaped(user) + "\"}", kSpaJson);
}

void SpaServer::serveLoginForm(const ReceivedRequest& r, Responder& out) {
    std::string cookie, token;
    bool signedIn = false;
    {
        std::lock_guard lock(m_mutex);
        Session& session = sessionFor(r, cookie);
        signedIn = !session.formUser.empty();
        if (!signedIn) session.formToken = token = randomToken(40);
    }
    if (signedIn) {
        ++m_loginRedirects;
        out.respond(302, "", "Location: /home\r\n");
        return;
    }
    const std::string page =
        "<!DOCTYPE html>\n<html><head><title>Log in</title></head><body>\n"
        "<form method=\"post\" action=\"/login\">\n"
        "<input type=\"hidden\" name=\"_token\" value=\"" +
        token +
        "\">\n"
        "<input name=\"user\"><input name=\"password\" type=\"password\">\n"
        "<button type=\"submit\">Log in</button>\n</form>\n</body></html>\n";
    out.respond(200, page, std::string(kSpaHtml) + cookie);
}

void SpaServer::serveLoginPost(const ReceivedRequest& r, Responder& out) {
    const std::string sent = spaFormValue(r.body, "_token");
    const std::string user = spaFormValue(r.body, "user");
    {
        std::lock_guard lock(m_mutex);
        Session* session = knownSession(r);
        if (session == nullptr || session->formToken.empty() || sent != session->formToken) {
            ++m_formRefusals;
            out.respond(419, "<html><head><title>Page Expired</title></head><body></body></html>",
                        kSpaHtml);
            return;
        }
        if (user.empty() || spaFormValue(r.body, "password") != "secret") {
            ++m_badPasswords;
            out.respond(401, "<html><head><title>Log in</title></head><body></body></html>",
                        kSpaHtml);
            return;
        }
        // A used token is spent, as a framework renews it on sign-in.
        session->formToken.clear();
        session->formUser = user;
    }
    ++m_formSignIns;
    out.respond(302, "", "Location: /home\r\n");
}

void SpaServer::serveHome(const ReceivedRequest& r, Responder& out) {
    std::string user;
    {
        std::lock_guard lock(m_mutex);
        if (const Session* session = knownSession(r)) user = session->formUser;
    }
    if (user.empty()) {
        out.respond(302, "", "Location: /login\r\n");
        return;
    }
    ++m_homeViews;
    out.respond(200,
                "<!DOCTYPE html>\n<html><head><title>Home</title></head><body>\n<p>Welcome, " +
                    demo::escapeHtml(user) + "</p>\n</body></html>\n",
                kSpaHtml);
}

std::string loopbackRoundTrip(uint16_t port, const std::string& request) {
    const int fd = connectLoopback(port, 5000);
    if (fd < 0) return "";
    std::string out;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        ::shutdown(fd, SHUT_WR);
        timeval tv{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char piece[4096];
        for (int i = 0; i < 4096; ++i) {
            const ssize_t n = ::recv(fd, piece, sizeof piece, 0);
            if (n <= 0) break;
            out.append(piece, size_t(n));
        }
    }
    ::close(fd);
    return out;
}

}  // namespace velk::test
