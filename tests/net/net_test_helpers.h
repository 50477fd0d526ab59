#pragma once
// Small helpers shared by the connection tests.
#include <chrono>
#include <cstdlib>
#include <string>

#include "net/connection.h"

namespace velk::net::testing {

class Stopwatch {
public:
    double elapsedMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Reads one response framed by Content-Length the way the response reader does: a
// readiness wait before each line or piece.  Returns head and body, or "" on failure.
// The count a read or write moved, or -1 when it moved nothing (kClosed included).
inline int countOf(const StatusOr<int>& moved) {
    return moved.isOk() ? *moved : -1;
}

inline std::string readResponse(Connection& conn) {
    std::string out;
    char line[4096];
    long contentLength = 0;
    for (int i = 0; i < 100; ++i) {
        if (!conn.waitReadable().isOk()) return "";
        const StatusOr<int> n = conn.readLine(line, sizeof line);
        if (!n) return "";
        out.append(line, size_t(*n));
        std::string l(line, size_t(*n));
        if (l.rfind("Content-Length:", 0) == 0) contentLength = std::atol(l.c_str() + 15);
        if (l == "\r\n") break;
    }
    long have = 0;
    char piece[4096];
    for (int i = 0; i < 10000 && have < contentLength; ++i) {
        if (!conn.waitReadable().isOk()) return "";
        const StatusOr<int> n =
            conn.read(piece, int(std::min<long>(sizeof piece, contentLength - have)));
        if (!n || *n == 0) return "";
        out.append(piece, size_t(*n));
        have += *n;
    }
    return out;
}

inline int writeAll(Connection& conn, const std::string& data) {
    size_t sent = 0;
    for (int i = 0; i < 10000 && sent < data.size(); ++i) {
        if (!conn.waitWritable().isOk()) return -1;
        const StatusOr<int> n = conn.write(data.data() + sent, int(data.size() - sent));
        if (!n || *n == 0) return -1;
        sent += size_t(*n);
    }
    return int(sent);
}

}  // namespace velk::net::testing
