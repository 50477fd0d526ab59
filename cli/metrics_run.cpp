#include "cli/metrics_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

namespace velk::cli {

bool parseMetricsOption(int argc, const char* const* argv, int& i, ParsedCli& parsed,
                        bool& handled) {
    CliOptions& o = parsed.options;
    const std::string_view arg(argv[i]);
    handled = arg == "--metrics" || arg == "--metrics-public" || arg == "--metrics-linger";
    if (!handled) return true;
    if (arg == "--metrics-public") {
        o.metricsPublic = true;
        return true;
    }
    if (i + 1 >= argc) {
        parsed.error = arg == "--metrics"
                           ? "--metrics needs an address and a port, as in --metrics 127.0.0.1:9464"
                           : "--metrics-linger needs a number of seconds, as in --metrics-linger 5";
        return false;
    }
    const std::string value = argv[++i];
    if (arg == "--metrics") {
        if (const StatusOr<MetricsAddress> address = parseMetricsAddress(value); !address) {
            parsed.error = address.status().message();
            return false;
        }
        o.metricsAddress = value;
        return true;
    }
    char* end = nullptr;
    const long seconds = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || seconds < 0 || seconds > 86400) {
        parsed.error = "--metrics-linger " + value + ": expected seconds, 0..86400";
        return false;
    }
    o.metricsLingerSeconds = int(seconds);
    return true;
}

bool checkMetricsOptions(ParsedCli& parsed) {
    const CliOptions& o = parsed.options;
    if (o.metricsAddress.empty()) return true;
    if (o.shards > 0 || !o.mergeOut.empty() || o.command != Command::Run) {
        parsed.error =
            "--metrics goes with a run (or --cycle), not with --shard, --merge, "
            "--check or --verify";
        return false;
    }
    return true;
}

Status metricsOptionsOfRank(CliOptions& options, int rank) {
    if (options.metricsAddress.empty()) return Status::ok();
    const StatusOr<MetricsAddress> address = parseMetricsAddress(options.metricsAddress);
    if (!address) return address.status();
    if (address->port == 0) return Status::ok();
    const int port = int(address->port) + rank;
    if (port > 65535)
        return {StatusCode::kInvalid, "--metrics " + options.metricsAddress + ": rank " +
                                          std::to_string(rank) + " would serve on port " +
                                          std::to_string(port) + ", past 65535"};
    const bool v6 = address->host.find(':') != std::string::npos;
    options.metricsAddress =
        (v6 ? "[" + address->host + "]" : address->host) + ":" + std::to_string(port);
    return Status::ok();
}

bool MetricsRun::start(const CliOptions& options) {
    if (options.metricsAddress.empty()) return true;
    auto endpoint = std::make_unique<MetricsEndpoint>();
    const StatusOr<MetricsAddress> address = parseMetricsAddress(options.metricsAddress);
    const Status started =
        address ? endpoint->start(*address, options.metricsPublic) : address.status();
    if (!started) {
        std::fprintf(stderr, "velkrun: %s\n", started.message().c_str());
        return false;
    }
    std::fprintf(stderr, "velkrun: live figures at %s\n", endpoint->url().c_str());
    m_endpoint = std::move(endpoint);
    m_lingerSeconds = options.metricsLingerSeconds;
    return true;
}

void MetricsRun::linger(const std::function<bool()>& stopped) {
    if (!m_endpoint || m_lingerSeconds == 0) return;
    std::fprintf(stderr, "velkrun: serving the final figures for %d s more\n", m_lingerSeconds);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(m_lingerSeconds);
    while (!stopped() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace velk::cli
