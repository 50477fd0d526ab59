#pragma once
// Routes the engine's messages and progress to the terminal: messages as lines
// on standard error, progress in place when standard error is a terminal.

namespace velk::cli {

void installEngineOutput(bool showProgress);
// Ends an in-place progress line, if one is showing.
void finishProgressLine();
// How many engine messages have been printed so far.
int engineMessageCount();

}  // namespace velk::cli
