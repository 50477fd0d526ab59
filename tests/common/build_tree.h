#pragma once
// Programs of the build tree that tests start (velkrun, the demo site).  The
// build names each by its path under the build directory, the same in every
// build, so that test code compiles alike in all of them; the directory itself
// is found from the test program's own place in it.
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace velk::test {

// The build directory: the nearest one above this program that CMake configured.
inline std::filesystem::path buildDirectory() {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    for (int up = 0; up < 16 && dir.has_relative_path(); ++up) {
        if (std::filesystem::exists(dir / "CMakeCache.txt", ec)) break;
        dir = dir.parent_path();
    }
    return dir;
}

// The absolute path of underRoot; an empty name (a program not built) stays
// empty.  The text lives as long as the process, as a literal would.
inline const char* inBuildTree(const char* underRoot) {
    if (!*underRoot) return underRoot;
    static const std::filesystem::path root = buildDirectory();
    static std::mutex mutex;
    static std::map<std::string, std::string> found;
    std::lock_guard<std::mutex> lock(mutex);
    std::string& path = found[underRoot];
    if (path.empty()) path = (root / underRoot).string();
    return path.c_str();
}

}  // namespace velk::test
