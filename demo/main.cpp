// velk-demo-site: wires the command line, the server and the stop signals.
#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "demo_options.h"
#include "demo_server.h"
#include "port_file.h"

int main(int argc, char** argv) {
    using velk::demo::DemoOptions;
    const DemoOptions options = DemoOptions::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::cerr << "velk-demo-site: " << options.error << "\n" << DemoOptions::usage();
        return 2;
    }
    if (options.help) {
        std::cout << DemoOptions::usage();
        return 0;
    }

    // Blocked before any thread starts, so every thread inherits the mask and the
    // signals wait for sigwait() below.  A reader of stdout that goes away must not
    // kill the server either.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    velk::demo::ServerLimits limits;
    if (options.maxConnections > 0) limits.maxConnections = options.maxConnections;
    velk::demo::DemoServer server(limits);
    try {
        server.start(options.port);
        if (!options.portFile.empty()) velk::demo::writePortFile(options.portFile, server.port());
    } catch (const std::system_error& e) {
        std::cerr << "velk-demo-site: cannot listen on 127.0.0.1:" << options.port << ": "
                  << e.what() << "\n";
        return 1;
    }
    std::cout << "listening on 127.0.0.1:" << server.port() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
