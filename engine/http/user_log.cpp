#include "http/user_log.h"

#include <cstdarg>

namespace velk {

bool UserLog::open(const std::string& path) {
    close();
    m_file = std::fopen(path.c_str(), "wb");
    return m_file != nullptr;
}

void UserLog::close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

void UserLog::write(std::string_view text) {
    if (m_file && !text.empty()) std::fwrite(text.data(), 1, text.size(), m_file);
}

void UserLog::flush() {
    if (m_file) std::fflush(m_file);
}

void UserLog::printf(const char* format, ...) {
    if (!m_file) return;
    char buffer[4096];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        write(std::string_view(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1));
}

}  // namespace velk
