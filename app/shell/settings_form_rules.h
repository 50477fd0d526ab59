#pragma once
// The rules of the Settings dialog, apart from its widgets: which controls are
// enabled for a state of the check boxes and the proxy type, and the checks OK
// makes, in their order, with the message and the field that gets the focus.
#include <string>

#include "app/settings/global_settings.h"

namespace velk::shell {

struct SettingsEnabling {
    bool proxyFields = false;  // type, server, port
    bool authCheck = false;    // "Use &authentication"
    bool authFields = false;   // user, password
};

SettingsEnabling settingsEnabling(bool useProxy, bool useAuth, int proxyType);

enum class SettingsField { kNone, kTimeout, kServer, kPort, kUser, kPassword };

struct SettingsRefusal {
    SettingsField field = SettingsField::kNone;  // kNone: OK may close the dialog
    std::string message;
};

// timeoutValid is false when the time-out field does not hold a whole number
// from 0 to 1000.  The first failing check wins.
SettingsRefusal checkSettings(const velk::settings::GlobalSettings::Values& values,
                              bool timeoutValid);

}  // namespace velk::shell
