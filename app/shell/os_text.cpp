#include "app/shell/os_text.h"

#include <sys/utsname.h>

#include <fstream>
#include <iterator>

namespace velk::shell {

std::string prettyNameOf(std::string_view text) {
    constexpr std::string_view kKey = "PRETTY_NAME=";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        std::string value;
        const char quote = !line.empty() && (line[0] == '"' || line[0] == '\'') ? line[0] : 0;
        if (quote) line.remove_prefix(1);
        for (size_t i = 0; i < line.size(); ++i) {
            if (quote && line[i] == quote) break;
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        return value;
    }
    return {};
}

std::string composeOsText(std::string_view kernel, std::string_view release,
                          std::string_view prettyName) {
    std::string text(kernel.empty() ? "Linux" : kernel);
    if (!release.empty()) text += " " + std::string(release);
    if (!prettyName.empty()) text += " (" + std::string(prettyName) + ")";
    return text;
}

std::string operatingSystemText() {
    struct utsname names {};
    const bool haveNames = ::uname(&names) == 0;
    std::string osRelease;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(path);
        if (!in) continue;
        // A small file; read at most 64 KiB of it.
        char buffer[65536];
        in.read(buffer, sizeof buffer);
        osRelease.assign(buffer, size_t(in.gcount()));
        break;
    }
    return composeOsText(haveNames ? names.sysname : "", haveNames ? names.release : "",
                         prettyNameOf(osRelease));
}

}  // namespace velk::shell
