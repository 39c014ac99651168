// halvetra-cli: the headless companion of the desktop program. It runs the
// same core code as the pages and prints its results as JSON.
//
//   halvetra-cli SUBCOMMAND ARGUMENTS...
//
// Exit status: 0 on success, 1 when the command fails (the message is on
// standard error), 2 for an unknown subcommand or arguments it does not take.
//
// The same source builds two programs. halvetra-cli, the one users call, is
// linked with the core libraries alone, so the computing subcommands (data,
// identify, tune, simulate) start without loading Qt, the windows or the OPC
// UA client. The subcommands that need those (chain, experiment, opc) it
// hands over, with the same arguments, to halvetra-cli-full in its own
// folder, which replaces it in the same process: output, messages and exit
// status are that program's. halvetra-cli-full runs every subcommand itself.
#include "cli/Commands.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

using halvetra::cli::Subcommand;

#ifdef HALVETRA_CLI_FULL
#define HALVETRA_FULL_ONLY(run) run
#else
// Run by halvetra-cli-full.
#define HALVETRA_FULL_ONLY(run) nullptr
#endif

// Every subcommand: add a line here and a Run function in its own file.
constexpr Subcommand Subcommands[] = {
    {"data", "FILE [--values]",
     "Load a measured-data file (.hvd or delimited text) and print its contents; "
     "--values adds the sample times and columns.",
     halvetra::cli::RunData},
    {"identify",
     "FILE [--start N] [--end N] [--columns MV,U,Y,Y2] [--filter TF] [--actuator MAX,MIN,OPENING] "
     "[--save-model OUT.hvm] [--refine]",
     "Load a measured-data file, condition it and identify the inner and outer process models over the window; "
     "options override the file's window, filter and actuator settings and the columns 1, 3, 5, 6; --refine adds "
     "each model's refined gain, time constant and dead time with 95 % intervals.",
     halvetra::cli::RunIdentify},
    {"tune",
     "(--model FILE.hvm | --inner K,T,L [--outer K,T,L]) [--method M] [--robustness P] [--cascade] "
     "[--sampling-time TS]",
     "Tune the loop (or the cascade) by method M (0 .. 8, default 0) and print the seven gains as tuned, the "
     "robustness factor of slider position P (default 10), the recommended sampling time and the robustness "
     "figures of the I, PI, PID and P closed loops at sampling time TS (default 1).",
     halvetra::cli::RunTune},
    {"compare",
     "(--model FILE.hvm | --inner K,T,L [--outer K,T,L]) [--cascade] [--robustness P] [--sampling-time TS] "
     "[--type PI|PID]",
     "Tune by every rule and print each rule's PI (or PID) gains as shown with its Ms, Mt, margins and IAE.",
     halvetra::cli::RunCompare},
    {"simulate",
     "(--model FILE.hvm | --inner K,T,L [--outer K,T,L]) [--method M] [--robustness P] [--cascade] "
     "[--response 0|1] [--sampling-time TEXT]",
     "Simulate the open loop and the I, PI, PID and P closed loops as the Controller page does and print them "
     "as CSV (t,OL,CL_I,CL_PI,CL_PID,CL_P).",
     halvetra::cli::RunSimulate},
    {"opc",
     "(servers [--discovery URL] | browse URL [NODE] | read URL NODE... | write URL NODE VALUE) [--user NAME "
     "--password TEXT] [--security none|sign|encrypt] [--timeout MS] [--accept-certificate] [--remember]",
     "Talk to an OPC UA server: list the servers the discovery server knows and those used before, browse a "
     "node's children (the Objects folder without NODE), read values with their quality word, or write one value "
     "converted to the node's data type. --remember adds the server to the desktop program's list of servers "
     "used before; a discovery server that does not answer is named on standard error (status 3 with "
     "--discovery).",
     HALVETRA_FULL_ONLY(halvetra::cli::RunOpc)},
    {"chain", "SETTINGS.hvx DATA.hvd --out DIR [connection options of opc]",
     "Process a record as an automatic experiment's record is processed: the settings file applied, the data file "
     "loaded with its window and conditioning, then the data, model, controller and report files written into DIR "
     "under the settings file's name.",
     HALVETRA_FULL_ONLY(halvetra::cli::RunChain)},
    {"experiment", "SETTINGS.hvx --out DIR [--server URL] [--fast] [connection options of opc]",
     "Run the automatic experiment of a settings file now, against the OPC UA server at URL or the built-in "
     "simulation, sampling in real time (--fast: the simulation without waiting), then process its record as "
     "chain does.",
     HALVETRA_FULL_ONLY(halvetra::cli::RunExperiment)},
};

void PrintCommandUsage(std::ostream& out, const Subcommand& command) {
    out << "Usage: halvetra-cli " << command.name << ' ' << command.arguments << "\n      " << command.description
        << '\n';
}

void PrintUsage(std::ostream& out) {
    out << "Usage: halvetra-cli SUBCOMMAND [ARGUMENTS]\n"
           "       halvetra-cli --help\n\n"
           "Subcommands:\n";
    for (const auto& command : Subcommands) {
        out << "  " << command.name << ' ' << command.arguments << "\n      " << command.description << '\n';
    }
    out << "\nOutput is JSON on standard output. On failure the message goes to standard error\n"
           "and the exit status is 1; bad usage gives exit status 2.\n";
}

bool IsHelp(const std::string& argument) { return argument == "--help" || argument == "-h"; }

// The program that runs the subcommands this one hands over: beside this
// one, found through /proc/self/exe so that a symbolic link to halvetra-cli
// on the PATH works too.
std::string FullProgramPath() {
    std::string self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= self.size()) return "halvetra-cli-full";
    self.resize(static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1) + "halvetra-cli-full";
}

// Replaces this process by halvetra-cli-full with the same arguments; returns
// only when that program cannot be started.
int HandOver(char* argv[]) {
    const std::string program = FullProgramPath();
    ::execv(program.c_str(), argv);
    std::cerr << "halvetra-cli: cannot start " << program << ": " << std::strerror(errno) << '\n';
    return 1;
}

int Run(const std::vector<std::string>& arguments, char* argv[]) {
    if (arguments.empty()) {
        PrintUsage(std::cerr);
        return 2;
    }
    if (IsHelp(arguments.front()) || arguments.front() == "help") {
        PrintUsage(std::cout);
        return 0;
    }
    const Subcommand* command = nullptr;
    for (const auto& candidate : Subcommands)
        if (candidate.name == arguments.front()) command = &candidate;
    if (command == nullptr) {
        std::cerr << "halvetra-cli: unknown subcommand '" << arguments.front() << "'\n\n";
        PrintUsage(std::cerr);
        return 2;
    }
    if (command->run == nullptr) return HandOver(argv);

    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    for (const auto& argument : rest) {
        if (argument == "--") break;
        if (IsHelp(argument)) {
            PrintCommandUsage(std::cout, *command);
            return 0;
        }
    }
    // The result is collected first so that a failure prints no partial output.
    std::ostringstream result;
    int status = 0;
    try {
        status = command->run(rest, result);
    } catch (const halvetra::cli::UsageError& e) {
        std::cerr << "halvetra-cli " << command->name << ": " << e.what() << '\n';
        PrintCommandUsage(std::cerr, *command);
        return 2;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    std::cout << result.str() << std::flush;
    if (!std::cout) {
        std::cerr << "Cannot write the output\n";
        return 1;
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc), argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}
