#include "app/shell/recorder_choice.h"

namespace velk::shell {

bool saveRecorderChoice(velk::settings::GlobalSettings& settings,
                        velk::settings::SettingsBackend& store, bool promptRecording,
                        bool startRecording) {
    velk::settings::GlobalSettings::Values values = settings.values();
    values.promptRecording = promptRecording;
    values.startRecording = startRecording;
    settings.setValues(values);
    if (!store.open(true)) return false;
    store.writeInt("StartRecording", startRecording ? 1 : 0);
    store.writeInt("PromptRecording", promptRecording ? 1 : 0);
    return store.close();
}

}  // namespace velk::shell
