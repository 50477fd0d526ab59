#pragma once
// The command-line form of a test: "-name=value" or "/name=value" arguments become
// global variables for "$gvar(", any other argument names the test.
#include "base/status.h"

namespace velk {

struct ParsedTest;

// Takes argv[1..argc-1] into the test.  Fails at the first option without "="
// (with the message for the user); earlier arguments stay taken.  As hosts
// expect, each option argument is cut at its "=" in the caller's vector.
Status parseCommandLine(ParsedTest& test, int argc, char** argv);

}  // namespace velk
