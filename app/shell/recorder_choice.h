#pragma once
// The recorder page's own two global settings: whether to ask before entering
// the recorder ("PromptRecording") and whether entering it starts recording
// ("StartRecording").  They are written on their own, without the other values,
// and the group is made when it does not exist yet.
#include "app/settings/global_settings.h"
#include "app/settings/settings_backend.h"

namespace velk::shell {

// Stores both in the process's settings and writes them to store; false when
// the store could not be written (the values in memory are changed anyway).
bool saveRecorderChoice(velk::settings::GlobalSettings& settings,
                        velk::settings::SettingsBackend& store, bool promptRecording,
                        bool startRecording);

}  // namespace velk::shell
