#include "net/proxy_handshake.h"

#include <netinet/in.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "net/connection.h"
#include "net/ipv4_resolver.h"

namespace velk::net {
namespace {

constexpr int kReceivePiece = 256;

// The connection's handshake policy for as long as a handshake runs.
class HandshakeScope {
public:
    explicit HandshakeScope(Connection& conn) : m_conn(conn) { m_conn.beginProxyHandshake(); }
    ~HandshakeScope() { m_conn.endProxyHandshake(); }
    HandshakeScope(const HandshakeScope&) = delete;
    HandshakeScope& operator=(const HandshakeScope&) = delete;

private:
    Connection& m_conn;
};

// Sends all length bytes; false when the connection fails or times out first.
bool sendAll(Connection& conn, const void* data, int length) {
    const char* p = static_cast<const char*>(data);
    for (int sent = 0; sent < length;) {
        const StatusOr<int> n = conn.write(p + sent, length - sent);
        if (!n || *n == 0) return false;
        sent += *n;
    }
    return true;
}

bool sendAll(Connection& conn, const std::string& message) {
    return sendAll(conn, message.data(), int(message.size()));
}

// Reads until buffer holds `need` bytes, never asking for more than the reply still
// lacks, so no byte of the tunnel behind it is consumed.
bool receiveUpTo(Connection& conn, uint8_t* buffer, int& have, int need) {
    while (have < need) {
        const StatusOr<int> n = conn.read(buffer + have, need - have);
        if (!n || *n == 0) return false;
        have += *n;
    }
    return true;
}

// Splits a CONNECT reply into its header block and any bytes after it.  A block
// followed right away by "Content-Range:" runs on to the next empty line, and the
// empty line between the two parts is dropped.  False while more bytes are needed.
bool splitConnectReply(const std::string& got, std::string& header, std::string& rest) {
    size_t end = got.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    const size_t after = end + 4;
    const std::string_view kContentRange = "Content-Range:";
    const std::string_view tail = std::string_view(got).substr(after);
    if (!tail.empty() && tail.size() < kContentRange.size() &&
        startsWithNoCase(kContentRange, tail)) {
        return false;  // could still become "Content-Range:"
    }
    if (startsWithNoCase(tail, kContentRange)) {
        size_t second = got.find("\r\n\r\n", after);
        if (second == std::string::npos) return false;
        header = got.substr(0, end + 2) + got.substr(after, second + 4 - after);
        rest = got.substr(second + 4);
        return true;
    }
    header = got.substr(0, after);
    rest = got.substr(after);
    return true;
}

// The status of "HTTP/x.y nnn text"; -1 when the line is not shaped that way.
int connectStatus(const std::string& header) {
    std::string line = header.substr(0, header.find("\r\n"));
    if (line.rfind("HTTP/", 0) != 0) return -1;
    size_t space = line.find(' ');
    if (space == std::string::npos || line.size() - (space + 1) <= 3) return -1;
    int status = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return -1;
        status = status * 10 + (line[i] - '0');
    }
    return status;
}

int httpConnect(Connection& conn, const std::string& host, int port, std::string& log) {
    char request[256];
    int len = port == 80 ? std::snprintf(request, sizeof request, "CONNECT %s HTTP/1.0\r\n\r\n",
                                         host.c_str())
                         : std::snprintf(request, sizeof request, "CONNECT %s:%d HTTP/1.0\r\n\r\n",
                                         host.c_str(), port);
    if (len < 0 || size_t(len) >= sizeof request) return -1;
    log += request;
    if (!sendAll(conn, request, len)) return -1;

    std::string got, header, rest;
    char piece[kReceivePiece];
    while (!splitConnectReply(got, header, rest)) {
        size_t room = kMaxConnectReply - got.size();
        if (room == 0) return -1;
        const StatusOr<int> n = conn.read(piece, int(room < sizeof piece ? room : sizeof piece));
        if (!n || *n == 0) return -1;
        got.append(piece, size_t(*n));
    }
    log += "Server response:\r\n";
    log += header;
    if (!rest.empty()) log += rest + "\r\n";

    int status = connectStatus(header);
    if (status < 0) return -1;
    if (status != 200) {
        log += "Server rejected CONNECT request.\r\n";
        return -1;
    }
    return 0;
}

void appendPort(std::string& message, int port) {
    message += char((port >> 8) & 0xff);
    message += char(port & 0xff);
}

void appendAddress(std::string& message, uint32_t addressNetworkOrder) {
    char bytes[4];
    std::memcpy(bytes, &addressNetworkOrder, 4);
    message.append(bytes, 4);
}

int socks4(Connection& conn, const std::string& host, int port, const std::string& credentials,
           std::string& log) {
    log += "Connected to SOCK4 proxy.\r\n";
    uint32_t address = 0;
    if (!resolveIPv4(host, address)) {
        SocketAddress any;
        if (lookupAddress(host, 0, any)) log += "SOCKS4 carries IPv4 addresses only.\r\n";
        return -1;
    }
    std::string request{char(4), char(1)};
    appendPort(request, port);
    appendAddress(request, address);
    request += credentials.empty() ? std::string("noname") : credentials;
    request += '\0';
    if (!sendAll(conn, request)) return -1;

    // The reply is 8 bytes; a refusal is known from the first two.
    uint8_t reply[8] = {};
    int have = 0;
    if (!receiveUpTo(conn, reply, have, 2) || reply[0] != 0 || reply[1] != 90) return -1;
    return receiveUpTo(conn, reply, have, 8) ? 0 : -1;
}

int socks5(Connection& conn, const std::string& host, int port, const std::string& credentials,
           std::string& log) {
    log += "Connected to SOCK5 proxy.\r\n";
    // An IPv4 address where there is one, as before; else the IPv6 one.
    uint32_t address = 0;
    SocketAddress v6;
    if (!resolveIPv4(host, address) && !(lookupAddress(host, 0, v6) && v6.family() == AF_INET6))
        return -1;
    size_t colon = credentials.find(':');
    const bool haveCredentials = colon != std::string::npos;
    const std::string user = haveCredentials ? credentials.substr(0, colon) : "";
    const std::string password = haveCredentials ? credentials.substr(colon + 1) : "";

    const char methods[3] = {5, 1, char(haveCredentials ? 2 : 0)};
    if (!sendAll(conn, methods, 3)) return -1;
    uint8_t choice[2] = {};
    int have = 0;
    if (!receiveUpTo(conn, choice, have, 2) || choice[0] != 5) return -1;
    if (choice[1] == 2) {
        if (user.empty() || password.empty() || user.size() > 255 || password.size() > 255) {
            return -1;
        }
        std::string auth{char(1), char(user.size())};
        auth += user;
        auth += char(password.size());
        auth += password;
        if (!sendAll(conn, auth)) return -1;
        uint8_t status[2] = {};
        have = 0;
        if (!receiveUpTo(conn, status, have, 2) || status[0] != 1 || status[1] != 0) return -1;
    } else if (choice[1] != 0) {
        return -1;
    }

    std::string request{char(5), char(1), char(0), char(address != 0 ? 1 : 4)};
    if (address != 0)
        appendAddress(request, address);
    else
        request.append(reinterpret_cast<const char*>(
                           &reinterpret_cast<const sockaddr_in6*>(v6.get())->sin6_addr),
                       16);
    appendPort(request, port);
    if (!sendAll(conn, request)) return -1;

    // The reply carries the proxy's bound address, whose length depends on its type;
    // it is read whole so that none of it is taken for the server's response.
    uint8_t reply[4 + 1 + 255 + 2] = {};
    have = 0;
    if (!receiveUpTo(conn, reply, have, 2) || reply[0] != 5 || reply[1] != 0) return -1;
    if (!receiveUpTo(conn, reply, have, 5)) return -1;
    int length;
    switch (reply[3]) {
        case 1:
            length = 4 + 4 + 2;
            break;
        case 3:
            length = 4 + 1 + reply[4] + 2;
            break;
        case 4:
            length = 4 + 16 + 2;
            break;
        default:
            return -1;
    }
    return receiveUpTo(conn, reply, have, length) ? 0 : -1;
}

}  // namespace

int proxyHandshake(Connection& conn, const std::string& targetHost, int targetPort,
                   const std::string& credentials, ProxyKind kind, std::string& log) {
    switch (kind) {
        case ProxyKind::kNone:
        case ProxyKind::kHttp:
            return 0;
        case ProxyKind::kHttpConnect: {
            HandshakeScope scope(conn);
            return httpConnect(conn, targetHost, targetPort, log);
        }
        case ProxyKind::kSocks4: {
            HandshakeScope scope(conn);
            return socks4(conn, targetHost, targetPort, credentials, log);
        }
        case ProxyKind::kSocks5: {
            HandshakeScope scope(conn);
            return socks5(conn, targetHost, targetPort, credentials, log);
        }
    }
    return -1;
}

}  // namespace velk::net
