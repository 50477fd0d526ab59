#pragma once
// SettingsStore: the global settings' per-user store, the INI file QSettings
// keeps for organisation "Orvantis" and application "VELK" (on Linux
// ~/.config/Orvantis/VELK.conf), group "Settings".  The file holds the proxy
// password, so it is made readable by its owner only, inside a directory only
// its owner can enter.
//
// Not thread-safe: one store per thread.
#include <memory>
#include <string>

#include "settings_backend.h"

class QSettings;

namespace velk::shell {

class SettingsStore : public velk::model::SettingsBackend {
public:
    // The user's store.
    SettingsStore();
    // An INI file at filePath (tests, other installations).
    explicit SettingsStore(const std::string& filePath);
    ~SettingsStore() override;

    // The file that holds the values.
    std::string filePath() const;

    bool open(bool create) override;
    std::optional<int32_t> readInt(std::string_view name) override;
    std::optional<std::string> readString(std::string_view name) override;
    void writeInt(std::string_view name, int32_t value) override;
    void writeString(std::string_view name, std::string_view value) override;
    bool close() override;

private:
    std::unique_ptr<QSettings> m_settings;
    bool m_writing = false;
};

}  // namespace velk::shell
