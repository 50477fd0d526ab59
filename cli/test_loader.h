#pragma once
// Reads a test script file, or makes one of a .vts scenario, and hands it to
// the engine with the command line's global variables.
#include <memory>
#include <string>

#include "cli_options.h"
#include "velkcore.h"

namespace velk::cli {

struct TestSetDeleter {
    void operator()(TestSet* set) const { FreeTestSet(set); }
};
using TestSetPtr = std::unique_ptr<TestSet, TestSetDeleter>;

// The file name without its directory: the test's name in report and log names.
std::string baseName(const std::string& path);

// The parsed test, or null after printing why not.
TestSetPtr loadTest(const CliOptions& options);

// Parses a script text as the test called name (the name of report and log
// files unless the script sets projectname); null after printing why not.
TestSetPtr parseTest(const CliOptions& options, const std::string& name, const std::string& text);

}  // namespace velk::cli
