#pragma once
// velkrun's options for runs shared by several machines: --shard K/N,
// --shard-out FILE and --merge OUT.rlt (the shard files follow the script).
#include "cli/cli_options.h"

namespace velk::cli {

// handled tells whether argv[i] was one of them; false with parsed.error set
// when its value is refused.
bool parseShardOption(int argc, const char* const* argv, int& i, ParsedCli& parsed, bool& handled);

// After all arguments: the combinations that make sense; false with
// parsed.error set otherwise.
bool checkShardOptions(ParsedCli& parsed);

}  // namespace velk::cli
