#pragma once
// The command line of velk-demo-site:
//   velk-demo-site [--port N] [--port-file PATH] [--max-connections N]
//   velk-demo-site --help
// A value type.
#include <cstdint>
#include <string>
#include <vector>

namespace velk::demo {

struct DemoOptions {
    static constexpr uint16_t kDefaultPort = 8080;

    uint16_t port = kDefaultPort;
    std::string portFile;    // empty: none
    int maxConnections = 0;  // 0: the server's own limit
    bool help = false;
    std::string error;  // set when the command line is unusable

    // Arguments without the program name.  Accepts "--port N" and "--port=N".
    static DemoOptions parse(const std::vector<std::string>& args);
    static const char* usage();
};

}  // namespace velk::demo
