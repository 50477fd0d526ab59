#pragma once
// What the user asked velkrun for.  velkrun's own options begin with "--"; every
// other argument goes to the engine unchanged ("-name=value" and "/name=value"
// global variables, and the test script file), so the two cannot collide.
#include <string>
#include <vector>

namespace velk::cli {

enum class Command { Check, Help, Version };

struct CliOptions {
    Command command = Command::Help;
    // Variable arguments for the engine, program name first, as ParseCommandLine
    // takes them.
    std::vector<std::string> engineArgs;
    // The test script file: the last argument that is neither an option nor a
    // variable.  It is handed to the engine as the test name.
    std::string scriptPath;
};

struct ParsedCli {
    bool ok = false;
    std::string error;
    CliOptions options;
};

ParsedCli parseCli(int argc, const char* const* argv);

// The --help text.
const char* usageText();

}  // namespace velk::cli
