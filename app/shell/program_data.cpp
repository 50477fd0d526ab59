#include "app/shell/program_data.h"

#include <filesystem>

#include "app/base/default_directories.h"

namespace velk::shell {

std::string programDataPath(std::string_view name) {
    const std::filesystem::path program = velk::base::programDirectory();
    const std::filesystem::path candidates[] = {program / name,
                                                program / ".." / "share" / "velk" / name};
    std::error_code ec;
    for (const auto& candidate : candidates)
        if (std::filesystem::exists(candidate, ec)) return candidate.lexically_normal().string();
    return candidates[0].string();
}

std::string crashReportPath() {
    const std::string path = velk::base::defaultDataDirectory("CrashReport.txt");
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return path;
}

}  // namespace velk::shell
