#include "loop/resolver_pool.h"

#include <netdb.h>

#include <cstring>

#include "base/reserved_names.h"

namespace velk::loop {

struct ResolverPool::Request {
    std::string host;
    EventLoop* loop = nullptr;
    // Set and read on the loop's thread only.
    EventLoop::Task* waiter = nullptr;
    bool done = false;
    ResolveResult result;
};

namespace {

// getaddrinfo wants a larger stack than a coroutine's.
constexpr size_t kResolverThreadStack = 256 * 1024;
constexpr size_t kMaxHostLength = 253;
constexpr size_t kMaxLabelLength = 63;

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';  // ':' for IPv6 literals
}

}  // namespace

ResolverPool::ResolverPool(size_t threads) {
    if (threads == 0) threads = 1;
    for (size_t i = 0; i < threads; ++i) {
        platform::Thread thread;
        if (thread.start(kResolverThreadStack, [this] { work(); })) {
            m_threads.push_back(std::move(thread));
        }
    }
}

ResolverPool::~ResolverPool() {
    {
        MutexLock lock(m_mutex);
        m_closing = true;
        m_queue.clear();
    }
    m_queued.signalAll();
    for (auto& thread : m_threads) thread.join();
}

bool ResolverPool::isWellFormedHost(const std::string& host) {
    if (host.empty() || host.size() > kMaxHostLength) return false;
    size_t label = 0;
    for (char c : host) {
        if (!isHostChar(c)) return false;
        label = (c == '.') ? 0 : label + 1;
        if (label > kMaxLabelLength) return false;
    }
    return true;
}

size_t ResolverPool::lookups() const {
    MutexLock lock(m_mutex);
    return m_lookups;
}

ResolveResult ResolverPool::resolve(const std::string& host, Deadline deadline) {
    if (!isWellFormedHost(host)) return {{}, "not a valid host name"};
    EventLoop* loop = EventLoop::current();
    if (loop == nullptr || loop->currentTask() == nullptr) return {{}, "not on an event loop"};
    auto request = std::make_shared<Request>();
    request->host = host;
    request->loop = loop;
    {
        MutexLock lock(m_mutex);
        auto cached = m_cache.find(host);
        if (cached != m_cache.end()) return cached->second;
        if (m_threads.empty() || m_closing) return {{}, "no resolver thread"};
        m_queue.push_back(request);
    }
    m_queued.signal();
    request->waiter = loop->currentTask();
    WaitResult waited = WaitResult::Ready;
    while (!request->done && waited == WaitResult::Ready) waited = loop->park(deadline);
    request->waiter = nullptr;
    if (request->done) return request->result;
    return {{}, waited == WaitResult::TimedOut ? "name look-up timed out" : "stopped"};
}

void ResolverPool::work() {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            MutexLock lock(m_mutex);
            while (!m_closing && m_queue.empty()) m_queued.wait(m_mutex);
            if (m_closing) return;
            request = std::move(m_queue.front());
            m_queue.pop_front();
            auto cached = m_cache.find(request->host);
            if (cached == m_cache.end()) ++m_lookups;
        }
        ResolveResult result = lookUp(request->host);
        {
            MutexLock lock(m_mutex);
            if (result.ok()) m_cache.emplace(request->host, result);
        }
        EventLoop* loop = request->loop;
        loop->post([request = std::move(request), result = std::move(result)]() mutable {
            request->result = std::move(result);
            request->done = true;
            if (request->waiter != nullptr) request->loop->wake(request->waiter);
        });
    }
}

ResolveResult ResolverPool::lookUp(const std::string& host) {
    if (isInvalidDomain(host)) return {{}, gai_strerror(EAI_NONAME)};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (status != 0) return {{}, gai_strerror(status)};
    ResolveResult result;
    for (addrinfo* item = list; item != nullptr; item = item->ai_next) {
        if (item->ai_addrlen > sizeof(sockaddr_storage)) continue;
        ResolvedAddress address;
        std::memcpy(&address.address, item->ai_addr, item->ai_addrlen);
        address.length = item->ai_addrlen;
        result.addresses.push_back(address);
    }
    freeaddrinfo(list);
    if (result.addresses.empty()) result.error = "no address found";
    return result;
}

}  // namespace velk::loop
