#pragma once
// velkrun --import-har FILE.har --save-scenario OUT.vts [--no-proposals]
// [--keep-static]: turns a browser's HAR file into a scenario, prints the
// script-value proposals and applies them unless refused, and writes the
// scenario (a complete new file or none).  Runs nothing and needs no engine.
namespace velk::cli {

// True when the arguments ask for the HAR import.
bool isImportHarCommand(int argc, const char* const* argv);
// 0 when the scenario was written; 2 for a usage error; 1 when the file could
// not be read or the scenario not written (the message says which).
int runImportHarCommand(int argc, const char* const* argv);

}  // namespace velk::cli
