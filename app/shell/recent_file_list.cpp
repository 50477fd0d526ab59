#include "app/shell/recent_file_list.h"

#include <algorithm>

namespace velk::shell {

void RecentFileList::add(const std::string& path) {
    if (path.empty()) return;
    remove(path);
    m_files.insert(m_files.begin(), path);
    if (m_files.size() > size_t(kSize)) m_files.resize(kSize);
}

void RecentFileList::remove(const std::string& path) {
    m_files.erase(std::remove(m_files.begin(), m_files.end(), path), m_files.end());
}

void RecentFileList::assign(const std::vector<std::string>& stored) {
    m_files.clear();
    for (const std::string& path : stored) {
        if (path.empty() || std::find(m_files.begin(), m_files.end(), path) != m_files.end())
            continue;
        if (m_files.size() == size_t(kSize)) break;
        m_files.push_back(path);
    }
}

}  // namespace velk::shell
