#include "results/report_file.h"

#include <cstring>

namespace velk {

ReportFile::ReportFile(const std::string& path, bool append)
    : m_file(std::fopen(path.c_str(), append ? "a" : "w")) {}

ReportFile::~ReportFile() {
    close();
}

void ReportFile::write(void* self, const char* text) {
    auto* file = static_cast<ReportFile*>(self);
    if (!file->m_file) return;
    size_t n = std::strlen(text);
    if (std::fwrite(text, 1, n, file->m_file) != n) file->m_failed = true;
}

bool ReportFile::close() {
    if (m_file) {
        if (std::fclose(m_file) != 0) m_failed = true;
        m_file = nullptr;
    }
    return !m_failed;
}

}  // namespace velk
