// halvetra-plant: an OPC UA server on loopback that simulates one cascade
// control loop, for demonstrations and for the integration tests.
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "plant/PlantOptions.h"
#include "plant/PlantServer.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal ends the server's wait at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a client that vanishes must not end the server
}

}  // namespace

int main(int argc, char** argv) {
    using namespace halvetra::plant;

    PlantOptions options;
    try {
        options = parsePlantOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << "halvetra-plant: " << e.what() << "\n\n" << plantUsage();
        return 2;
    }
    if (options.help) {
        std::cout << plantUsage();
        return 0;
    }

    installSignalHandlers();
    try {
        PlantServer server(options, std::random_device{}());
        server.start();
        std::cout << "halvetra-plant listening on " << server.url() << std::endl;
        while (!stopRequested) server.iterate();
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "halvetra-plant: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
