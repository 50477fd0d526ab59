#pragma once
// A private temporary directory, removed with everything in it at the end of a test.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace velk::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velk-test-XXXXXX").string();
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(std::string_view name) const { return (m_path / name).string(); }

    // Writes bytes to a file in the directory and returns its path.
    std::string write(std::string_view name, std::string_view bytes) const {
        std::string p = file(name);
        std::ofstream out(p, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        return p;
    }

private:
    std::filesystem::path m_path;
};

}  // namespace velk::test
