#include "plant/PlantOptions.h"

#include "plant/LoopItems.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace halvetra::plant {

namespace {

// The largest speed-up the server can follow: a step of 50 ms every 50 us.
constexpr double kMaximumSpeed = 1000.0;

double parseNumber(const std::string& option, const std::string& text) {
    if (text.empty()) throw std::invalid_argument(option + ": a number is needed");
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
        throw std::invalid_argument(option + ": '" + text + "' is not a number");
    return value;
}

// ITEM@SECONDS, e.g. Loop1.Y1@5: an item and a time after start.
void parseItemAt(const std::string& option, const std::string& text, const char* example, std::string& item,
                 double& seconds) {
    const auto at = text.rfind('@');
    if (at == std::string::npos || at == 0)
        throw std::invalid_argument(option + ": ITEM@SECONDS is needed, e.g. " + example);
    item = text.substr(0, at);
    seconds = parseNumber(option, text.substr(at + 1));
    if (seconds < 0.0) throw std::invalid_argument(option + ": the time must not be negative");
}

std::uint16_t parsePort(const std::string& text) {
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || text[0] == '+' || text[0] == '-')
        throw std::invalid_argument("--port: '" + text + "' is not a port number");
    if (value < 1 || value > 65535) throw std::invalid_argument("--port: " + text + " is outside 1..65535");
    return static_cast<std::uint16_t>(value);
}

}  // namespace

PlantOptions parsePlantOptions(const std::vector<std::string>& arguments) {
    PlantOptions options;
    bool haveUser = false;
    bool havePassword = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            if (inlineValue) throw std::invalid_argument("--help takes no value");
            options.help = true;
            continue;
        }
        if (name == "--outer-integrating") {
            if (inlineValue) throw std::invalid_argument("--outer-integrating takes no value");
            options.outerIntegrating = true;
            continue;
        }
        if (name != "--port" && name != "--speed" && name != "--user" && name != "--password" && name != "--noise" &&
            name != "--bad-quality" && name != "--read-only" && name != "--refuse-writes")
            throw std::invalid_argument("unknown option '" + arguments[i] + "'");
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) throw std::invalid_argument(name + " needs a value");
            value = arguments[++i];
        }
        if (name == "--port") {
            options.port = parsePort(value);
        } else if (name == "--speed") {
            options.speed = parseNumber(name, value);
            if (!(options.speed > 0.0) || options.speed > kMaximumSpeed)
                throw std::invalid_argument("--speed: must be above 0 and at most 1000");
        } else if (name == "--noise") {
            options.noise = parseNumber(name, value);
            if (options.noise < 0.0) throw std::invalid_argument("--noise: must not be negative");
        } else if (name == "--bad-quality") {
            parseItemAt(name, value, "Loop1.Y1@5", options.badItem, options.badAfter);
        } else if (name == "--read-only") {
            std::size_t from = 0;
            while (from <= value.size()) {
                const std::size_t comma = std::min(value.find(',', from), value.size());
                const std::string item = value.substr(from, comma - from);
                if (item.empty()) throw std::invalid_argument("--read-only: ITEM[,ITEM] is needed, e.g. Loop1.MV1");
                options.readOnlyItems.push_back(item);
                from = comma + 1;
            }
        } else if (name == "--refuse-writes") {
            parseItemAt(name, value, "Loop1.MV1@5", options.refuseItem, options.refuseAfter);
        } else if (name == "--user") {
            if (value.empty()) throw std::invalid_argument("--user: the name must not be empty");
            options.user = value;
            haveUser = true;
        } else {
            options.password = value;
            havePassword = true;
        }
    }
    if (options.help) return options;
    const auto requireItem = [](const char* option, const std::string& id, bool mustBeWritable) {
        for (const ItemInfo& item : loopItems())
            if (id == item.nodeId) {
                if (mustBeWritable && !item.writable)
                    throw std::invalid_argument(std::string(option) + ": '" + id + "' is read-only anyway");
                return;
            }
        throw std::invalid_argument(std::string(option) + ": '" + id + "' is not an item of the plant");
    };
    if (!options.badItem.empty()) requireItem("--bad-quality", options.badItem, false);
    for (const std::string& id : options.readOnlyItems) requireItem("--read-only", id, true);
    if (!options.refuseItem.empty()) requireItem("--refuse-writes", options.refuseItem, true);
    if (haveUser != havePassword) throw std::invalid_argument("--user and --password go together");
    return options;
}

std::string plantUsage() {
    return "Usage: halvetra-plant [--port PORT] [--speed FACTOR] [--user NAME --password TEXT]\n"
           "                      [--noise SIGMA] [--bad-quality ITEM@SECONDS]\n"
           "                      [--read-only ITEM[,ITEM...]] [--refuse-writes ITEM@SECONDS]\n"
           "                      [--outer-integrating] [--help]\n"
           "\n"
           "An OPC UA server on 127.0.0.1 that simulates one cascade control loop.\n"
           "\n"
           "  --port PORT        TCP port to listen on (default 4840)\n"
           "  --speed FACTOR     simulated seconds per real second, up to 1000 (default 1)\n"
           "  --user NAME        require this user name; anonymous sessions are refused\n"
           "  --password TEXT    the password that goes with --user\n"
           "  --noise SIGMA      standard deviation of the noise on Y1 and Y2 (default 0.05)\n"
           "  --bad-quality ITEM@SECONDS\n"
           "                     from SECONDS after start, ITEM (e.g. Loop1.Y1) reports Bad\n"
           "                     quality, as a failed sensor would\n"
           "  --read-only ITEM[,ITEM...]\n"
           "                     the server refuses every write of these items (BadNotWritable)\n"
           "  --refuse-writes ITEM@SECONDS\n"
           "                     from SECONDS after start, the server refuses writes of ITEM\n"
           "  --outer-integrating\n"
           "                     the outer process is a level: Y2 (%, from 50, held within\n"
           "                     0 .. 100) rises by 0.01 %/s per unit of Y1 above its initial\n"
           "                     value, 5 s after it (an integrating process)\n"
           "  --help             show this text\n"
           "\n"
           "Items (namespace urn:halvetra:plant, e.g. ns=1;s=Loop1.Y1):\n"
           "  Loop1.MV1, Loop1.MV2                 manipulated signals, % (read/write)\n"
           "  Loop1.U1, Loop1.U2                   actuator positions, % (read only)\n"
           "  Loop1.Y1, Loop1.Y2                   inner and outer measurements (read only)\n"
           "  Loop1.Inner.P, .I, .D                inner controller gains Kp, Ki, Kd (read/write)\n"
           "  Loop1.Inner.Setpoint                 inner set point (read/write)\n"
           "  Loop1.Inner.MA                       Int32, 0 manual, 1 automatic (read/write)\n"
           "  Loop1.Inner.Manual, .Automatic       Boolean, writing true commands that mode\n"
           "  Loop1.Outer.*                        the same for the outer controller\n"
           "\n"
           "Prints \"halvetra-plant listening on opc.tcp://127.0.0.1:PORT\" once ready and runs\n"
           "until SIGINT or SIGTERM.\n";
}

}  // namespace halvetra::plant
