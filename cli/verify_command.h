#pragma once
#include "cli/cli_options.h"

namespace velk::cli {

// Exit status of --verify when the replay differs from the recording.
inline constexpr int kVerifyDiffers = 6;

// --verify SCENARIO: plays the scenario once with one user and prints, per
// request, the recorded and the replayed status, redirect target, title and
// size.  Returns 0 when nothing differs, 6 when something does, 1 when the
// scenario cannot be read or played.  The engine is initialised by the caller.
int runVerifyCommand(const CliOptions& options);

}  // namespace velk::cli
