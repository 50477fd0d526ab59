#include "api/command_line.h"

#include <cstring>

#include "api/test_set.h"
#include "base/message.h"

namespace velk {

bool parseCommandLine(TestSet& set, int argc, char** argv) {
    if (!argv) return argc <= 1;
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        if (!arg) continue;
        if (arg[0] == '/' || arg[0] == '-') {
            char* eq = std::strchr(arg + 1, '=');
            if (!eq) {
                report("Invalid command line option %s!\n", arg);
                return false;
            }
            set.rep.test.globals.insert_or_assign(std::string(arg + 1, eq), std::string(eq + 1));
            *eq = '\0';
        } else {
            set.rep.test.setTestName(arg);
        }
    }
    return true;
}

}  // namespace velk
