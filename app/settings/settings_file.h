#pragma once
// SettingsFile: the global settings' per-user store, the INI file the desktop
// program has always kept (organisation "Orvantis", application "VELK": on
// Linux $XDG_CONFIG_HOME/Orvantis/VELK.conf, else ~/.config/Orvantis/VELK.conf),
// group "Settings".  Read and written without Qt, so velkrun and velk take the
// same values from it.  The file is read and written in the INI dialect Qt's
// QSettings uses (quoting, escapes, "@" values), so either side can read what
// the other wrote; other groups in the file are kept as they are.
//
// The file holds the proxy password: it is written readable by its owner only,
// inside a directory only its owner can enter, and replaced only when the new
// one is complete.  What it reads is untrusted: a regular file of at most
// kMaxBytes, or nothing.
//
// Not thread-safe: one store per thread.
#include <cstddef>
#include <string>
#include <vector>

#include "app/settings/settings_backend.h"

namespace velk::settings {

class SettingsFile : public SettingsBackend {
public:
    static constexpr size_t kMaxBytes = 1 << 20;

    // The user's store.
    SettingsFile();
    // An INI file at filePath (tests, other installations).
    explicit SettingsFile(std::string filePath);

    // The file that holds the values.
    const std::string& filePath() const { return m_path; }
    // The user's store's path, as the default constructor uses it.
    static std::string userFilePath();

    bool open(bool create) override;
    std::optional<int32_t> readInt(std::string_view name) override;
    std::optional<std::string> readString(std::string_view name) override;
    void writeInt(std::string_view name, int32_t value) override;
    void writeString(std::string_view name, std::string_view value) override;
    bool close() override;

private:
    struct Line {
        std::string text;     // as read, or as written for a changed value
        std::string section;  // the group it belongs to, unescaped
        std::string key;      // unescaped; empty for a header, comment or blank line
        std::string value;    // the raw text after '='
    };
    Line* find(std::string_view name);
    void set(std::string_view name, std::string rawValue);

    std::string m_path;
    std::vector<Line> m_lines;
    bool m_writing = false;
    bool m_changed = false;
};

}  // namespace velk::settings
