#pragma once
// RecentFileList: the most recently used scenario files, newest first, at most
// a fixed number (7), each path once.  Plain data; the caller loads and stores
// it ("Recent File List", values "File1".."File7").
//
// Not thread-safe: the user-interface thread owns it.
#include <string>
#include <vector>

namespace velk::shell {

class RecentFileList {
public:
    static constexpr int kSize = 7;

    const std::vector<std::string>& files() const { return m_files; }
    // Puts path first, removing an older entry of it and the oldest past the size.
    void add(const std::string& path);
    // Drops path (a file that could not be opened any more).
    void remove(const std::string& path);
    // Replaces the list with stored entries in their order, skipping empty and
    // repeated ones and anything past the size.
    void assign(const std::vector<std::string>& stored);

private:
    std::vector<std::string> m_files;
};

}  // namespace velk::shell
