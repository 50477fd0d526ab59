#include "gui/shell/user_settings.h"

namespace velk::shell {

std::unique_ptr<QSettings> openUserSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Orvantis"), QStringLiteral("VELK"));
}

}  // namespace velk::shell
