#include "app/base/output_log.h"

#include "app/base/terminal_text.h"

namespace velk::base {

const char* OutputLog::kindWord(int32_t kind) {
    switch (kind) {
        case kMessage:
            return "MESSAGE";
        case kWarning:
            return "WARNING";
        case kFailure:
            return "FAILURE";
        default:
            return "";
    }
}

void OutputLog::append(int32_t kind, std::string_view text) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_text += kindWord(kind);
    m_text += ">   ";
    // Messages carry names from scripts and text from servers.
    m_text += escapeControlsKeepLines(text);
    m_text += "\r\n";
}

std::string OutputLog::text() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_text;
}

void OutputLog::clear() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_text.clear();
}

}  // namespace velk::base
