#pragma once
// Collects what the engine sends to its output callback, for tests.
#include <mutex>
#include <string>
#include <vector>

namespace velk::test {

class MessageCapture {
public:
    // Matches the engine's output callback signature.
    static void sink(void* context, const char* text) {
        auto* self = static_cast<MessageCapture*>(context);
        std::lock_guard lock(self->m_mutex);
        self->m_lines.emplace_back(text);
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    std::string last() const {
        std::lock_guard lock(m_mutex);
        return m_lines.empty() ? std::string() : m_lines.back();
    }
    size_t count() const {
        std::lock_guard lock(m_mutex);
        return m_lines.size();
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace velk::test
