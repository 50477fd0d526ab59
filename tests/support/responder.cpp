#include "support/responder.h"

#include <chrono>

#include "support/http_text.h"

namespace velk::test {

Responder::Responder(PeerStream& stream, std::function<void(std::string_view)> onReceived)
    : m_stream(stream), m_onReceived(std::move(onReceived)) {}

bool Responder::send(std::string_view bytes) {
    return !m_finished && m_stream.sendAll(bytes, kSendTimeoutMs);
}

bool Responder::respond(int status, std::string_view body, std::string_view extraHeaders,
                        std::string_view version) {
    return send(httpResponse(status, body, extraHeaders, version));
}

bool Responder::trickle(std::string_view bytes, size_t pieceSize, int delayMs) {
    if (pieceSize == 0) pieceSize = 1;
    for (size_t at = 0; at < bytes.size(); at += pieceSize) {
        if (at > 0 && !pause(delayMs)) return false;
        if (!send(bytes.substr(at, pieceSize))) return false;
    }
    return true;
}

bool Responder::pause(int ms) {
    return m_stream.stopSignal().sleepFor(ms);
}

void Responder::stall() {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kMaxStallMs);
    char piece[4096];
    while (!m_finished && Clock::now() < deadline) {
        int n = m_stream.receive(piece, sizeof piece, 1000);
        if (n > 0) {
            m_onReceived(std::string_view(piece, size_t(n)));
        } else if (n == 0 || n == -1 || m_stream.stopSignal().triggered()) {
            break;
        }
    }
    close();
}

std::string Responder::receiveMore(size_t n, int timeoutMs) {
    std::string got;
    m_stream.receiveExactly(got, n, timeoutMs);
    if (!got.empty()) m_onReceived(got);
    return got;
}

void Responder::close() {
    if (m_finished) return;
    m_finished = true;
    m_stream.closeOrderly();
}

void Responder::reset() {
    if (m_finished) return;
    m_finished = true;
    m_stream.reset();
}

}  // namespace velk::test
