#pragma once
// A virtual user's log file of requests, responses and network errors.  Writing
// to a closed log does nothing, so callers need not check.  Owned by one user
// thread.
#include <cstdio>
#include <string>
#include <string_view>

namespace velk {

class UserLog {
public:
    UserLog() = default;
    ~UserLog() { close(); }
    UserLog(const UserLog&) = delete;
    UserLog& operator=(const UserLog&) = delete;

    // Creates the file anew; false (and a closed log) when it cannot be created.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }

    void write(std::string_view text);
    // printf-style into a 4096-byte buffer, longer lines cut.
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Hands what was written to the file now, so a redirect loop shows in the log
    // while it runs.
    void flush();

private:
    std::FILE* m_file = nullptr;
};

}  // namespace velk
