#pragma once
// Routes the engine's messages and progress to the terminal: messages as lines
// on standard error, progress as a live line redrawn in place on a terminal or
// as a plain line every so often in a log.  Messages clear the live line first,
// so the two never run into each other.  All functions are thread-safe.
#include <cstdint>

#include "cli/cli_options.h"
#include "velkcore.h"

namespace velk::cli {

void installEngineOutput(ProgressMode mode);
// Shows progress from now on for a run of users users, of total requests planned
// (-1: a script drives the test) and bounded by maxtime seconds (0: none).  The
// engine's progress reports bring the figures from then on, its total included.
// set: the running test, whose live counters (users running, errors by class)
// the line shows; null shows only the progress reports.
void startProgressLine(TestSet* set, int32_t users, int64_t total, int32_t maxtime);
// Stops showing progress and clears the live line, if one is showing.
void finishProgressLine();
// Prints a line of text above the live line (which comes back at the next redraw).
void printAboveProgress(const char* text);
// How many engine messages have been printed so far.
int engineMessageCount();

// While muted the engine's messages are dropped: velkrun's own probes of a
// scratch test set must not look like messages about the user's test.
void muteEngineMessages(bool muted);

}  // namespace velk::cli
