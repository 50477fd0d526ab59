#include "demo_options.h"

#include <string_view>

#include "text_util.h"

namespace velk::demo {

namespace {

// Splits "--name=value" so both spellings reach the same code.
bool takeValue(const std::vector<std::string>& args, size_t& i, std::string_view name,
               std::string& value, std::string& error) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size()) {
            error = std::string(name) + " needs a value";
            return true;
        }
        value = args[++i];
        return true;
    }
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
        arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

}  // namespace

DemoOptions DemoOptions::parse(const std::vector<std::string>& args) {
    DemoOptions options;
    for (size_t i = 0; i < args.size() && options.error.empty(); ++i) {
        std::string value;
        if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
        } else if (takeValue(args, i, "--port", value, options.error)) {
            if (!options.error.empty()) break;
            const auto port = parseUnsigned(value, 65535);
            if (!port)
                options.error = "--port wants a number from 0 to 65535, not '" + value + "'";
            else
                options.port = static_cast<uint16_t>(*port);
        } else if (takeValue(args, i, "--port-file", value, options.error)) {
            if (!options.error.empty()) break;
            if (value.empty()) options.error = "--port-file needs a path";
            options.portFile = value;
        } else if (takeValue(args, i, "--max-connections", value, options.error)) {
            if (!options.error.empty()) break;
            // Each connection is a thread of the server: a bound keeps a typo sane.
            const auto most = parseUnsigned(value, 100000);
            if (!most || *most == 0)
                options.error =
                    "--max-connections wants a number from 1 to 100000, not '" + value + "'";
            else
                options.maxConnections = static_cast<int>(*most);
        } else {
            options.error = "unknown argument '" + args[i] + "'";
        }
    }
    return options;
}

const char* DemoOptions::usage() {
    return "usage: velk-demo-site [--port N] [--port-file PATH] [--max-connections N]\n"
           "       velk-demo-site --help\n"
           "\n"
           "A small web shop to run load tests against.  Listens on 127.0.0.1 only.\n"
           "\n"
           "  --port N          port to listen on (default 8080; 0 picks a free one)\n"
           "  --port-file PATH  once listening, write the port number to PATH\n"
           "  --max-connections N  connections served at once (default 2000); more\n"
           "                    get 503 (many-user benchmarks raise it)\n"
           "  --help            show this text\n"
           "\n"
           "When listening it prints \"listening on 127.0.0.1:PORT\".  SIGINT or SIGTERM\n"
           "stops it; it then exits with status 0.\n"
           "\n"
           "Pages: / /login /account /logout /products /product?id=1..20 /search?q=...\n"
           "       /slow (300 ms; /slow?ms=N up to 5000).  Log in with any user name and\n"
           "       the password 'secret'.\n";
}

}  // namespace velk::demo
