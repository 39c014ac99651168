#pragma once
// The command line of halvetra-plant.
#include <cstdint>
#include <string>
#include <vector>

namespace halvetra::plant {

struct PlantOptions {
    std::uint16_t port = 4840;
    double speed = 1.0;  // simulated seconds per real second
    std::string user;    // empty: anonymous sessions
    std::string password;
    double noise = 0.05;  // standard deviation of the measurement noise
    // A sensor failure for tests of the client: from badAfter seconds of real
    // time after start, the item badItem (e.g. "Loop1.Y1") reports Bad quality.
    std::string badItem;
    double badAfter = 0.0;
    // Items whose writes the server refuses (BadNotWritable): from the start
    // (readOnlyItems, e.g. "Loop1.MV1"), and refuseItem from refuseAfter
    // seconds of real time after start, as a plant whose operator locks a
    // value would.
    std::vector<std::string> readOnlyItems;
    std::string refuseItem;
    double refuseAfter = 0.0;
    // The outer process is a level: it integrates the inner output's
    // deviation from its initial value (the outflow).
    bool outerIntegrating = false;
    bool help = false;
};

// Reads the arguments after the program name. Accepts "--name value" and
// "--name=value". Throws std::invalid_argument with a one-line message for
// anything it cannot use.
PlantOptions parsePlantOptions(const std::vector<std::string>& arguments);

// The text of --help.
std::string plantUsage();

}  // namespace halvetra::plant
