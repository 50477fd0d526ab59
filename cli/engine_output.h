#pragma once
// Routes the engine's messages and progress to the terminal.

namespace velk::cli {

// Installs output callbacks that print each engine message as a line on
// standard error, and counts them.
void installEngineOutput();
// Number of messages the engine has printed since installation.
int engineMessageCount();

}  // namespace velk::cli
