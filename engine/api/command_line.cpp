#include "api/command_line.h"

#include <cstring>
#include <string>

#include "base/message.h"
#include "script/parsed_test.h"

namespace velk {

Status parseCommandLine(ParsedTest& test, int argc, char** argv) {
    if (!argv) return argc <= 1 ? Status::ok() : Status(StatusCode::kInvalid);
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        if (!arg) continue;
        if (arg[0] == '/' || arg[0] == '-') {
            char* eq = std::strchr(arg + 1, '=');
            if (!eq) return invalidInput("Invalid command line option %s!\n", arg);
            test.globals.insert_or_assign(std::string(arg + 1, eq), std::string(eq + 1));
            *eq = '\0';
        } else {
            test.setTestName(arg);
        }
    }
    return Status::ok();
}

}  // namespace velk
