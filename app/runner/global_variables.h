#pragma once
// The global variables a test script reads with "$gvar(name,default)", so that
// the runner page can offer a value for each, as velkrun's "-name=value"
// arguments give them to a script.  The scan follows the parser's rule: the
// name runs from after "$gvar(" (any case) to the first "," or ")", the
// default from after the "," to the next ")"; a reference that does not close
// on its line is left to the parser to report.
// Pure functions, safe from any thread.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velk::runner {

struct GlobalVariableUse {
    std::string name;
    std::string defaultText;  // the first default given for the name
    bool operator==(const GlobalVariableUse&) const = default;
};

// Every name the script reads, once, in order of first use.
std::vector<GlobalVariableUse> globalVariablesUsed(std::string_view script);

// The arguments that give the engine these values ("-name=value"), for the
// names the script uses whose value is not empty, in the order of uses.
std::vector<std::string> globalVariableArguments(const std::vector<GlobalVariableUse>& uses,
                                                 const std::map<std::string, std::string>& values);

}  // namespace velk::runner
