#pragma once
// The handshakes that turn a fresh connection to a proxy into a path to the target:
// HTTP CONNECT, SOCKS4 and SOCKS5.  Runs on the session thread that owns the
// connection.
#include <string>

#include "net/proxy_spec.h"

namespace velk::net {

class Connection;

// The most a CONNECT reply may send before its header block ends; a proxy that
// keeps talking beyond it fails the handshake.
inline constexpr size_t kMaxConnectReply = 64 * 1024;

// Asks the proxy that conn is connected to for a tunnel to targetHost:targetPort.
// Kinds none and http need no handshake and succeed at once.  What the user should
// see (requests sent, replies, refusals) is appended to log.  0 on success, -1 when
// the proxy refuses, answers nonsense, closes or stays silent past the timeout.
int proxyHandshake(Connection& conn, const std::string& targetHost, int targetPort,
                   const std::string& credentials, ProxyKind kind, std::string& log);

}  // namespace velk::net
