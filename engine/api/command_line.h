#pragma once
// The command-line form of a test: "-name=value" or "/name=value" arguments become
// global variables for "$gvar(", any other argument names the test.

struct TestSet;

namespace velk {

// Takes argv[1..argc-1] into the test set.  Returns false at the first option
// without "=" (reported); earlier arguments stay taken.  As hosts expect, each
// option argument is cut at its "=" in the caller's vector.
bool parseCommandLine(TestSet& set, int argc, char** argv);

}  // namespace velk
