#pragma once
// Proxy servers on 127.0.0.1 for network tests: HTTP forward proxy, HTTP CONNECT,
// SOCKS4 and SOCKS5 (with or without user name/password).  Each records the bytes
// of its handshake and of everything the client sent, can be scripted to refuse or
// to answer oddly, and after a successful handshake relays bytes both ways to the
// target.
//
// The target is only ever on 127.0.0.1: with Options::forwardPort set, every tunnel
// goes to 127.0.0.1:forwardPort whatever the client asked for; without it the asked
// target is used only when it is 127.0.0.1 (or "localhost"), and anything else is
// refused.  So a test may ask for "localhost:80" and no traffic leaves 127.0.0.1.
//
//   TestHttpServer server;
//   TestProxy::Options o = TestProxy::options(TestProxy::Kind::kSocks5, server.port());
//   o.socks5User = "alice";  // optional scripting
//   TestProxy proxy(o);
//   ... connect to 127.0.0.1:proxy.port(), handshake, then speak HTTP ...
//   EXPECT_EQ(proxy.handshake(0), std::string("\x05\x01\x00...", n));
//
// Safe to call from any thread; the destructor stops it within a bounded time.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "support/loopback_listener.h"

namespace velk::test {

class TestProxy {
public:
    enum class Kind { kHttpForward, kConnect, kSocks4, kSocks5 };
    enum class BoundAddress { kIPv4, kIPv6, kDomain };

    struct Options {
        Kind kind = Kind::kConnect;
        uint16_t forwardPort = 0;
        // CONNECT: the status answered; anything but 200 refuses and closes.
        int connectStatus = 200;
        // CONNECT: raw reply bytes sent instead of "HTTP/1.0 <status> ...\r\n\r\n".
        std::string connectReply;
        // SOCKS4: the reply code (90 granted, 91 refused).
        uint8_t socks4Reply = 90;
        // SOCKS5: when user is set the proxy demands user/password authentication.
        std::string socks5User, socks5Password;
        // SOCKS5: forces the chosen method (-1: choose as a real proxy would).
        int socks5Method = -1;
        // SOCKS5: the reply code of the connect request (0 succeeded).
        uint8_t socks5Reply = 0;
        // SOCKS5: the type of bound address in the connect reply.
        BoundAddress socks5Bound = BoundAddress::kIPv4;
        // >= 0: every handshake reply goes out one byte at a time with this delay.
        int replyByteDelayMs = -1;
        // Accepts and reads but never answers.
        bool silent = false;
    };

    // Caps on what a client may send during a handshake.
    static constexpr size_t kMaxHandshake = 64 * 1024;
    static constexpr int kTimeoutMs = 30000;

    // Options for a proxy of that kind with everything else as a real proxy does.
    static Options options(Kind kind, uint16_t forwardPort = 0);

    explicit TestProxy(Options options);
    ~TestProxy();
    TestProxy(const TestProxy&) = delete;
    TestProxy& operator=(const TestProxy&) = delete;

    uint16_t port() const { return m_listener.port(); }
    int acceptedConnections() const { return m_listener.accepted(); }
    // The bytes of the index-th connection's handshake (for the forward proxy: its
    // first request).
    std::string handshake(int index) const;
    // Every byte the client sent on the index-th connection.
    std::string received(int index) const;
    // Tunnels opened to a target so far.
    int tunnelsOpened() const;
    // Waits until at least n handshakes have been read completely.
    bool waitForHandshakes(int n, int timeoutMs) const;

    void stop() { m_listener.stop(); }

private:
    struct Record {
        std::string handshake;
        std::string received;
        bool handshakeDone = false;
        bool tunnelled = false;
    };
    class Session;
    void serve(PeerStream& client, int index);
    void noteReceived(int index, std::string_view bytes, bool handshakePart);
    void noteHandshakeDone(int index);
    void noteTunnel(int index);

    Options m_options;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::map<int, Record> m_records;  // GUARDED_BY(m_mutex)
    LoopbackListener m_listener;      // last: stopped first
};

}  // namespace velk::test
