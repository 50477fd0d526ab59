#include "support/loopback_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace velk::test {

void blockSigpipeInThisThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int connectLoopback(uint16_t port, int timeoutMs) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (::poll(&p, 1, timeoutMs) == 1 &&
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
            rc = 0;
        }
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) & ~O_NONBLOCK);
    return fd;
}

LoopbackListener::LoopbackListener(int backlog, bool ipv6) {
    m_listenFd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0) throw std::runtime_error("socket failed");
    sockaddr_storage ss{};
    socklen_t len = 0;
    if (ipv6) {
        auto* sa = reinterpret_cast<sockaddr_in6*>(&ss);
        sa->sin6_family = AF_INET6;
        sa->sin6_addr = in6addr_loopback;
        len = sizeof *sa;
    } else {
        auto* sa = reinterpret_cast<sockaddr_in*>(&ss);
        sa->sin_family = AF_INET;
        sa->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *sa;
    }
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&ss), len) != 0 ||
        ::listen(m_listenFd, backlog) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
        ::close(m_listenFd);
        throw std::runtime_error(ipv6 ? "cannot listen on ::1" : "cannot listen on 127.0.0.1");
    }
    // sin_port and sin6_port lie at the same offset.
    m_port = ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
}

LoopbackListener::~LoopbackListener() {
    stop();
    ::close(m_listenFd);
}

void LoopbackListener::start(Session session) {
    m_session = std::move(session);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

void LoopbackListener::stop() {
    m_stop.trigger();
    if (m_acceptor.joinable()) m_acceptor.join();
    std::list<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        workers.swap(m_workers);
    }
    for (auto& w : workers) w->thread.join();
}

void LoopbackListener::reapFinished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if ((*it)->done.load()) {
            (*it)->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void LoopbackListener::acceptLoop() {
    blockSigpipeInThisThread();
    pollfd p[2] = {{m_listenFd, POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
    for (;;) {
        int rc = ::poll(p, 2, 1000);
        if (rc < 0 && errno != EINTR) return;
        if (p[1].revents != 0) return;
        reapFinished();
        if (rc <= 0 || (p[0].revents & POLLIN) == 0) continue;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        const int index = m_accepted.fetch_add(1);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped || int(m_workers.size()) >= kMaxLiveConnections) {
            ::close(fd);
            continue;
        }
        auto worker = std::make_unique<Worker>();
        Worker* w = worker.get();
        w->thread = std::thread([this, w, fd, index] {
            blockSigpipeInThisThread();
            {
                PeerStream stream(fd, m_stop);
                m_session(stream, index);
            }
            w->done.store(true);
        });
        m_workers.push_back(std::move(worker));
    }
}

}  // namespace velk::test
