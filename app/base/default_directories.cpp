#include "app/base/default_directories.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace velk::base {

std::string programDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string defaultDataDirectory(std::string_view name) {
    const std::string program = programDirectory();
    if (!program.empty() && ::access(program.c_str(), W_OK) == 0)
        return program + "/" + std::string(name);
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0])
        base = std::string(home) + "/.local/share";
    else
        base = "/tmp";
    return base + "/VELK/" + std::string(name);
}

}  // namespace velk::base
