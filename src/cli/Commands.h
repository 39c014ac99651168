#pragma once
// The subcommands of halvetra-cli. Each one gets the arguments after its name
// and writes its whole result to `out` only when it succeeds. It throws
// UsageError for arguments it does not accept (exit status 2) and lets every
// other error through (its message on standard error, exit status 1).
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "opc/PlantAccess.h"

namespace halvetra {
class OpcUaPlantAccess;
}

namespace halvetra::cli {

// The exit status of an experiment whose files were written but whose run
// had events of the plant link.
inline constexpr int ExitRunWithEvents = 3;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Subcommand {
    std::string_view name;
    std::string_view arguments;    // as shown in the usage text
    std::string_view description;  // one line
    int (*run)(const std::vector<std::string>& arguments, std::ostream& out);
};

// The decimal separator of the system locale, as the desktop program uses it
// for header values: the first character of the locale's decimal point ('.'
// when that is not a single-byte character).
char SystemDecimalSeparator();

// Splits arguments into options ("--name") and positional ones; an option
// not in `known` is a usage error. A known option written with a trailing '='
// ("--start=") takes a value, given as "--start N" or "--start=N".
struct ParsedArguments {
    std::vector<std::string> positional;
    std::vector<std::string> options;
    std::vector<std::pair<std::string, std::string>> values;
    bool has(std::string_view option) const;
    // The value of a valued option, or nullptr when it was not given.
    const std::string* value(std::string_view option) const;
};
ParsedArguments ParseArguments(const std::vector<std::string>& arguments, const std::vector<std::string_view>& known);

// The options of a connection to an OPC UA server, the same for every
// subcommand that connects (opc, experiment, chain): --user NAME, --password
// TEXT, --security none|sign|encrypt, --timeout MS, --accept-certificate
// (trust the server's certificate for this run) and --remember (add the
// server to the desktop program's list of servers used before, which a
// command-line connection otherwise leaves alone).
struct PlantConnectionOptions {
    ConnectionOptions Options;
    bool AcceptCertificate = false;
    bool Remember = false;
};
// ParseArguments with the connection options added to `known`; their values
// are checked here, so a wrong one is a usage error before anything runs.
ParsedArguments ParseArgumentsWithConnection(const std::vector<std::string>& arguments,
                                             std::vector<std::string_view> known);
PlantConnectionOptions ConnectionOptionsOf(const ParsedArguments& parsed);
// Connects `access` to the server at `url` as the parsed options say.
void ConnectPlant(OpcUaPlantAccess& access, const std::string& url, const ParsedArguments& parsed);

// `halvetra-cli data FILE [--values]`: the measured-data file as JSON.
int RunData(const std::vector<std::string>& arguments, std::ostream& out);

// A number given on the command line, always with a point as decimal mark
// (option values are lists separated by commas): throws ConversionError
// "'<text>' is not a valid floating point value".
double OptionNumber(const std::string& text);

// The comma-separated fields of an option value; exactly `count` of them.
std::vector<std::string> OptionFields(const std::string& text, std::size_t count, std::string_view option);

// `halvetra-cli identify FILE [options]`: the models of a measured-data file.
int RunIdentify(const std::vector<std::string>& arguments, std::ostream& out);

// `halvetra-cli tune (--model FILE | --inner K,T,L [--outer K,T,L]) [...]`: the tuned gains.
int RunTune(const std::vector<std::string>& arguments, std::ostream& out);

// `halvetra-cli compare (--model FILE | --inner K,T,L [...]) [--robustness P]
// [--sampling-time TS] [--type PI|PID]`: every tuning rule with its gains as
// shown and the loop figures of its PI or PID controller.
int RunCompare(const std::vector<std::string>& arguments, std::ostream& out);

// `halvetra-cli simulate (...) [--response 0|1] [--sampling-time TEXT]`: the
// open-loop and closed-loop responses as CSV.
int RunSimulate(const std::vector<std::string>& arguments, std::ostream& out);

// `halvetra-cli opc ACTION ...`: servers, browse, read and write on an OPC UA
// server, as the plant connection of the desktop program does them.
int RunOpc(const std::vector<std::string>& arguments, std::ostream& out);

// `halvetra-cli chain SETTINGS.hvx DATA.hvd --out DIR`: the automatic
// processing of a record, on the windows built off screen; prints the files
// written.
int RunChain(const std::vector<std::string>& arguments, std::ostream& out);

// `halvetra-cli experiment SETTINGS.hvx --out DIR [--server URL] [--fast]`:
// the settings file's automatic experiment run now, then its processing.
// Exits with ExitRunWithEvents (and "warnings" in its JSON) when the plant
// refused writes, a signal had no usable value, the server hung or the link
// was lost during the run.
int RunExperiment(const std::vector<std::string>& arguments, std::ostream& out);

}  // namespace halvetra::cli
