#include "cli/shard_options.h"

#include <cstdlib>
#include <string_view>

namespace velk::cli {
namespace {

// "K/N" with 0 <= K < N <= 100000.
bool parseShare(std::string_view text, CliOptions& o) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    const std::string k(text.substr(0, slash)), n(text.substr(slash + 1));
    char *endK = nullptr, *endN = nullptr;
    const long shard = std::strtol(k.c_str(), &endK, 10);
    const long shards = std::strtol(n.c_str(), &endN, 10);
    if (k.empty() || n.empty() || *endK != '\0' || *endN != '\0') return false;
    if (shards < 1 || shards > 100000 || shard < 0 || shard >= shards) return false;
    o.shard = int(shard);
    o.shards = int(shards);
    return true;
}

}  // namespace

bool parseShardOption(int argc, const char* const* argv, int& i, ParsedCli& parsed, bool& handled) {
    CliOptions& o = parsed.options;
    const std::string_view arg(argv[i]);
    handled = arg == "--shard" || arg == "--shard-out" || arg == "--merge";
    if (!handled) return true;
    if (i + 1 >= argc) {
        parsed.error =
            std::string(arg) + (arg == "--shard" ? " needs a share, as in --shard 0/4"
                                : arg == "--shard-out"
                                    ? " needs a file name, as in --shard-out shard-0.vshard"
                                    : " needs a file name, as in --merge run.rlt");
        return false;
    }
    const std::string_view value(argv[++i]);
    if (arg == "--shard") {
        if (!parseShare(value, o)) {
            parsed.error = "--shard " + std::string(value) +
                           ": expected K/N with 0 <= K < N, as in --shard 0/4";
            return false;
        }
    } else if (arg == "--shard-out") {
        o.shardOut.assign(value);
    } else {
        o.mergeOut.assign(value);
    }
    return true;
}

bool checkShardOptions(ParsedCli& parsed) {
    const CliOptions& o = parsed.options;
    const bool shard = o.shards > 0, merge = !o.mergeOut.empty();
    if (shard != !o.shardOut.empty())
        parsed.error = shard ? "--shard needs --shard-out FILE for its results"
                             : "--shard-out goes with --shard";
    else if (shard && merge)
        parsed.error = "--shard and --merge cannot be combined";
    else if ((shard || merge) && (o.cycling || !o.resultsPath.empty()))
        parsed.error = std::string(shard ? "--shard" : "--merge") +
                       " cannot be combined with --cycle or --results";
    else if ((shard || merge) && o.command != Command::Run)
        parsed.error =
            std::string(shard ? "--shard" : "--merge") + " cannot be combined with --check";
    else if (merge && o.shardFiles.empty())
        parsed.error =
            "--merge needs the shard files after the script, as in --merge run.rlt test.txt "
            "shard-*.vshard";
    else
        return true;
    return false;
}

}  // namespace velk::cli
