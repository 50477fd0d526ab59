#pragma once
// Collecting a finished pass of the engine into a results record: the text
// report and summary figures (SaveResults), the shape of the test (GetInfo)
// and every user's result codes (GetResults), as the report and graph pages
// and the .rlt file need them.
//
// Call on the thread that ran the pass, after RunTest returned and before the
// test set is cleaned or run again; the engine's arrays are read at once.
#include <memory>
#include <optional>
#include <string>

#include "app/results/pass_figures.h"
#include "app/results/results_store.h"
#include "velkcore.h"

namespace velk::results {

// What a cycling run adds to each pass's record.
struct CycleInfo {
    int32_t batchNumber = 0;
    int32_t value = 0;
    bool byIterations = false;
};

// "Iterations" or "Virtual users".
const char* cycleLabel(bool byIterations);

// A new record of the last pass of set, titled "%H:%M - <passTitle>" in local
// time.  cycle is null for a single run.  The engine's report files are
// written too, as the script configures them; saveStatus, when given, gets
// SaveResults' answer for them (0 written or none asked, -1 failed).
// figures, when given, gets the pass's figures as read for the record
// (collectFigures), whether the record keeps them or not, so that a caller
// reads them once.
std::shared_ptr<CResultsStore> collectPass(TestSet* set, const std::string& passTitle,
                                           const CycleInfo* cycle, int32_t* saveStatus = nullptr,
                                           std::optional<PassFigures>* figures = nullptr);

// "\n" becomes "\r\n" (line ends already "\r\n" stay as they are).
std::string withCrLf(const std::string& text);

}  // namespace velk::results
