#pragma once
// The OPC UA server of halvetra-plant (open62541): the loop's items as plain
// variables in namespace 1, updated by the simulation with ordinary value
// writes, and client writes taken through the standard Write service. It
// listens on 127.0.0.1 only.
//
// Everything, the simulation included, runs on the thread that calls
// iterate(); the object is not meant to be used from several threads.
#include <cstdint>
#include <memory>
#include <string>

#include "plant/PlantOptions.h"

namespace halvetra::plant {

class PlantServer {
public:
    // Builds the configuration and the address space; throws
    // std::runtime_error when the library refuses either.
    PlantServer(const PlantOptions& options, std::uint32_t seed);
    ~PlantServer();
    PlantServer(const PlantServer&) = delete;
    PlantServer& operator=(const PlantServer&) = delete;

    // Opens the port and starts the simulation; throws std::runtime_error
    // when the port cannot be opened.
    void start();
    // One turn of the server's loop: network, timers, the simulation. Waits
    // at most until the next timer is due.
    void iterate();
    // Closes all sessions and the port.
    void stop();

    std::string url() const;
    // Whether Sign and SignAndEncrypt endpoints (Basic256Sha256) are offered.
    bool encrypted() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace halvetra::plant
