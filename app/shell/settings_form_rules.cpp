#include "app/shell/settings_form_rules.h"

namespace velk::shell {
namespace {
constexpr int kSocks4 = 2;  // SOCKS4 knows no proxy password
}

SettingsEnabling settingsEnabling(bool useProxy, bool useAuth, int proxyType) {
    SettingsEnabling e;
    e.proxyFields = useProxy;
    e.authCheck = useProxy && proxyType != kSocks4;
    e.authFields = e.authCheck && useAuth;
    return e;
}

SettingsRefusal checkSettings(const velk::settings::GlobalSettings::Values& v, bool timeoutValid) {
    if (!timeoutValid)
        return {SettingsField::kTimeout, "Please enter an integer between 0 and 1000."};
    if (v.useProxy) {
        if (v.proxyServer.empty())
            return {SettingsField::kServer, "The server name cannot be empty."};
        if (v.proxyPort == 0) return {SettingsField::kPort, "The server port cannot be empty."};
        if (v.proxyAuth && v.proxyType != kSocks4) {
            if (v.proxyUser.empty())
                return {SettingsField::kUser, "The user name cannot be empty."};
            if (v.proxyPassword.empty())
                return {SettingsField::kPassword, "The password cannot be empty."};
        }
    }
    return {};
}

}  // namespace velk::shell
