// The pieces of a virtual user's request path, measured without a server's
// latency: composing requests, and reading a response that is already waiting
// on a loopback connection (the benchmark writes it there itself), with the
// header scan that follows every successful response.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "base/message.h"
#include "http/connection_selector.h"
#include "http/http_session.h"
#include "http/request_composer.h"
#include "http/request_executor.h"
#include "http/response_header_scan.h"
#include "http/response_reader.h"
#include "results/shared_run.h"
#include "script/parsed_test.h"
#include "script/script_parser.h"

namespace {

using namespace velk;

void quiet(void*, const char*) {}

// A parsed test and what its users would share, for one user without a run.
struct BenchTestSet : ParsedTest, SharedRun {};

// A parsed test and one user's session for it.
struct User {
    explicit User(const std::string& script, int port = 80) {
        setOutFunc(nullptr, quiet);
        set = std::make_unique<BenchTestSet>();
        set->globals["port"] = std::to_string(port);
        if (!ScriptParser(*set).parse("server=127.0.0.1\nport=$gvar(port)\n" + script))
            std::abort();
        set->currentTarget.set(set->options.server, set->options.port);
        session = std::make_unique<HttpSession>(set->options, set->headers, set->currentTarget,
                                                set->httpCounters);
        session->random.seed(12345);
        if (!setUpUserConnection(*session)) std::abort();
    }
    RequestDef& request(const std::string& name) { return *set->requests.at(name); }

    std::unique_ptr<BenchTestSet> set;
    std::unique_ptr<HttpSession> session;
};

std::string tenParameters() {
    std::string p;
    for (int i = 0; i < 10; ++i)
        p += "field" + std::to_string(i) + "=value" + std::to_string(i) + "\n";
    return p;
}

void compose(benchmark::State& state, const char* method) {
    User user(std::string("keepalive=1\n[header]\nUser-Agent: velk-bench\nAccept: "
                          "*/*\n[form]\n$uri=/form/submit\n$method=") +
              method + "\n" + tenParameters());
    HttpSession& s = *user.session;
    RequestDef& r = user.request("form");
    for (auto _ : state) {
        s.request.clear();
        buildParameterData(s, r, std::nullopt);
        composeRequest(s, r, false, std::nullopt);
        benchmark::DoNotOptimize(s.request.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.request.size()));
}
BENCHMARK_CAPTURE(compose, GetWith10Parameters, "GET");
BENCHMARK_CAPTURE(compose, PostWith10Parameters, "POST");

// A listening socket on 127.0.0.1 and the server side of the one connection made to it.
struct LoopbackPeer {
    LoopbackPeer() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener, 4) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            std::abort();
        port = ntohs(a.sin_port);
    }
    ~LoopbackPeer() {
        if (peer >= 0) ::close(peer);
        ::close(listener);
    }
    void accept() {
        peer = ::accept(listener, nullptr, nullptr);
        if (peer < 0) std::abort();
        int size = 1 << 20;
        ::setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        ::setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    void send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(peer, bytes.data() + sent, bytes.size() - sent, 0);
            if (n <= 0) std::abort();
            sent += size_t(n);
        }
    }
    // Throws away the requests the user sent meanwhile.
    void drain() {
        char sink[65536];
        while (::recv(peer, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
    }

    int listener = -1;
    int peer = -1;
    int port = 0;
};

std::string response(int64_t bodyBytes) {
    std::string r =
        "HTTP/1.1 200 OK\r\nServer: nginx/1.22.1\r\nDate: Tue, 08 Dec 2026 02:07:26 GMT\r\n"
        "Content-Type: text/plain\r\nContent-Length: " +
        std::to_string(bodyBytes) +
        "\r\nLast-Modified: Tue, 08 Dec 2026 01:07:26 GMT\r\nConnection: keep-alive\r\n"
        "ETag: \"6756f5d4-4000\"\r\nAccept-Ranges: bytes\r\n\r\n";
    r.append(size_t(bodyBytes), 'b');
    return r;
}

// readResponse and its header record, on a kept-alive connection whose response
// is already queued: the cost of reading, not of waiting.
void readQueuedResponse(benchmark::State& state) {
    LoopbackPeer peer;
    User user("keepalive=1\n[get]\n$uri=/big.txt\n", peer.port);
    HttpSession& s = *user.session;
    RequestDef& r = user.request("get");
    if (!s.connection.connect()) std::abort();
    peer.accept();
    s.request.clear();
    buildParameterData(s, r, std::nullopt);
    composeRequest(s, r, false, std::nullopt);
    const std::string reply = response(state.range(0));
    CookieList cookies;
    for (auto _ : state) {
        state.PauseTiming();
        peer.drain();
        peer.send(reply);
        state.ResumeTiming();
        s.response.clear();
        ResponseRecord record = readResponse(s, s.connection, s.request.view(), true);
        if (!record.status || !record.keepAlive) std::abort();
        record.recordCookies(s.response.view(), cookies);
        benchmark::DoNotOptimize(record.body);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reply.size()));
}
BENCHMARK(readQueuedResponse)->Arg(100)->Arg(16384);

// A whole request as a user makes it (connection check, compose, send, wait,
// read, status, body, judgement) against a server thread that answers each
// request on the kept-alive connection.  CPU time is the user thread's alone.
void executeRequestAgainstServer(benchmark::State& state) {
    LoopbackPeer peer;
    User user("keepalive=1\nround=0\n[header]\nUser-Agent: velk-bench\n[get]\n$uri=/big.txt\n",
              peer.port);
    HttpSession& s = *user.session;
    RequestDef& r = user.request("get");
    const std::string reply = response(state.range(0));
    std::thread server([&] {
        peer.accept();
        std::string pending;
        char buffer[4096];
        for (;;) {
            ssize_t n = ::recv(peer.peer, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            pending.append(buffer, size_t(n));
            for (size_t end; (end = pending.find("\r\n\r\n")) != std::string::npos;) {
                pending.erase(0, end + 4);
                peer.send(reply);
            }
        }
    });
    BodyRef body;
    for (auto _ : state) {
        int32_t t = executeRequest(s, r, body);
        if (t < 0) std::abort();
    }
    s.connection.close();
    server.join();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(reply.size()));
}
BENCHMARK(executeRequestAgainstServer)->Arg(100)->Arg(16384);

}  // namespace

BENCHMARK_MAIN();
