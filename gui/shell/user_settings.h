#pragma once
// The user's settings file of the program (QSettings, organisation "Orvantis",
// application "VELK"): the layout, tip and recent-file values live beside the
// global settings' group.  Tests point it elsewhere through XDG_CONFIG_HOME.
#include <QSettings>
#include <memory>

namespace velk::shell {

std::unique_ptr<QSettings> openUserSettings();

}  // namespace velk::shell
