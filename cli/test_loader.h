#pragma once
// Reads a test script file, or makes one of a .vts scenario, and hands it to
// the engine with the command line's global variables.
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "velkcore.h"

namespace velk::cli {

struct TestSetDeleter {
    void operator()(TestSet* set) const { FreeTestSet(set); }
};
using TestSetPtr = std::unique_ptr<TestSet, TestSetDeleter>;

// The file name without its directory: the test's name in report and log names.
std::string baseName(const std::string& path);

// The script text of the test script or .vts scenario, and the test's name
// (the file name; a scenario's without ".vts"); false after printing why not.
bool readScript(const CliOptions& options, std::string& name, std::string& text);

// The parsed test, or null after printing why not.  maxtime, when given, gets the
// run's time limit in seconds as the script and --set write it (0: none, or not
// known before the engine reads variables into it).
TestSetPtr loadTest(const CliOptions& options, int32_t* maxtime = nullptr);

// The value of an integer general option written as a number in the script's
// general section or by --set (the last one counts), else 0.
int32_t literalIntegerOption(const std::string& text, const std::vector<std::string>& settings,
                             const std::string& name);

// The text of a general option as the script's general section or --set
// writes it (the last one counts); empty when neither does or it holds a
// variable the engine fills in.
std::string literalTextOption(const std::string& text, const std::vector<std::string>& settings,
                              const std::string& name);

// The names of the request sections of a script text.
std::vector<std::string> requestSections(const std::string& text);

// Parses a script text as the test called name (the name of report and log
// files unless the script sets projectname); null after printing why not.
TestSetPtr parseTest(const CliOptions& options, const std::string& name, const std::string& text);

}  // namespace velk::cli
