// `halvetra-cli opc ACTION ...`: the plant connection from the command line.
//
//   opc servers [--discovery URL]        the servers the discovery server knows, and those used before
//   opc browse URL [NODE]                the children of NODE (the Objects folder without it)
//   opc read URL NODE...                 current values and qualities, with the Read service
//   opc write URL NODE VALUE             one write, converted to the node's data type
//
// Connection options (shared with experiment and chain): --user NAME --password
// TEXT, --security none|sign|encrypt, --timeout MS, --accept-certificate to
// trust the server's certificate for this run when it is not among the
// trusted ones yet, and --remember to add the server to the desktop program's
// list of servers used before.
#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "experiment/UserDataFolder.h"
#include "experiment/WriteLog.h"
#include "opc/OpcUaPlantAccess.h"
#include "opc/OpcUaValues.h"
#include "opc/PlantAccessError.h"

namespace halvetra::cli {

namespace {

// The plant access runs on Qt's event machinery: one application object for
// the command's lifetime, unless the caller already has one.
class EventLoopScope {
public:
    EventLoopScope() {
        if (QCoreApplication::instance() == nullptr) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[13] = "halvetra-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

// A value for a write: a number with a point as decimal mark, or true / false.
double WriteArgument(const std::string& text) {
    if (text == "true") return 1.0;
    if (text == "false") return 0.0;
    return OptionNumber(text);
}

const std::vector<std::string_view> ConnectionOptionNames = {
    "--user=", "--password=", "--security=", "--timeout=", "--accept-certificate", "--remember"};

}  // namespace

ParsedArguments ParseArgumentsWithConnection(const std::vector<std::string>& arguments,
                                             std::vector<std::string_view> known) {
    known.insert(known.end(), ConnectionOptionNames.begin(), ConnectionOptionNames.end());
    ParsedArguments parsed = ParseArguments(arguments, known);
    ConnectionOptionsOf(parsed);
    return parsed;
}

PlantConnectionOptions ConnectionOptionsOf(const ParsedArguments& parsed) {
    PlantConnectionOptions connection;
    ConnectionOptions& options = connection.Options;
    if (const std::string* user = parsed.value("--user")) options.User = *user;
    if (const std::string* password = parsed.value("--password")) {
        if (options.User.empty()) throw UsageError("--password needs --user");
        options.Password = *password;
    }
    if (const std::string* security = parsed.value("--security")) {
        if (*security == "none")
            options.Mode = ConnectionOptions::Security::None;
        else if (*security == "sign")
            options.Mode = ConnectionOptions::Security::Sign;
        else if (*security == "encrypt")
            options.Mode = ConnectionOptions::Security::SignAndEncrypt;
        else
            throw UsageError("--security takes none, sign or encrypt");
    }
    if (const std::string* timeout = parsed.value("--timeout")) {
        const double ms = OptionNumber(*timeout);
        if (!(ms >= 1 && ms <= 600000) || ms != static_cast<int>(ms))
            throw UsageError("--timeout takes whole milliseconds from 1 to 600000");
        options.TimeoutMs = static_cast<int>(ms);
    }
    connection.AcceptCertificate = parsed.has("--accept-certificate");
    connection.Remember = parsed.has("--remember");
    return connection;
}

void ConnectPlant(OpcUaPlantAccess& access, const std::string& url, const ParsedArguments& parsed) {
    const PlantConnectionOptions connection = ConnectionOptionsOf(parsed);
    if (connection.AcceptCertificate)
        access.TrustServerCertificate = [](const ServerCertificate&) { return CertificateTrust::AcceptOnce; };
    access.setRememberServers(connection.Remember);
    access.Connect(url, connection.Options);
}

namespace {

// A write of the user's, recorded in the write log of the user's data folder
// with the node's value before it. A log that cannot take the line is named
// on standard error; the write stands.
void WriteLogged(OpcUaPlantAccess& access, const std::string& node, double value) {
    WriteLogLine line{node, std::nullopt, value, "ok"};
    try {
        const std::vector<NodeReading> before = access.ReadNodes({node});
        if (!before.empty() && before.front().Error.empty() && (before.front().Quality & 0xC0) == 0xC0)
            line.OldValue = before.front().Value;
    } catch (const std::exception&) {
        // An unknown old value leaves its field empty; the write says why it fails.
    }
    WriteLog log(DefaultWriteLogPath().toStdString());
    log.Failed = [](const std::string& message) { std::cerr << message << '\n'; };
    try {
        access.WriteNode(node, value);
    } catch (const std::exception& e) {
        line.Result = WriteResultOf(e.what(), node);
        log.Append(access.ServerUrl(), access.UserName(), {line});
        throw;
    }
    log.Append(access.ServerUrl(), access.UserName(), {line});
}

}  // namespace

int RunOpc(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = ParseArgumentsWithConnection(arguments, {"--discovery="});
    if (parsed.positional.empty()) throw UsageError("expected an action: servers, browse, read or write");
    const std::string& action = parsed.positional.front();
    const std::vector<std::string> rest(parsed.positional.begin() + 1, parsed.positional.end());

    EventLoopScope scope;
    OpcUaPlantAccess access;
    int status = 0;
    JsonWriter json;
    json.beginObject();
    if (action == "servers") {
        if (!rest.empty()) throw UsageError("servers takes no arguments");
        const std::string* discovery = parsed.value("--discovery");
        if (discovery) access.setDiscoveryUrl(*discovery);
        if (parsed.value("--timeout") != nullptr)
            access.setDiscoveryTimeout(ConnectionOptionsOf(parsed).Options.TimeoutMs);
        json.key("servers").beginArray();
        for (const auto& server : access.ListServers()) json.value(server);
        json.endArray();
        // The servers used before are listed all the same. A discovery server
        // the user named and that did not answer makes the list incomplete:
        // exit status 3; the default one is often not installed at all.
        if (!access.discoveryError().empty()) {
            std::cerr << access.discoveryError() << '\n';
            if (discovery) status = 3;
        }
    } else if (action == "browse") {
        if (rest.empty() || rest.size() > 2) throw UsageError("browse takes URL [NODE]");
        ConnectPlant(access, rest[0], parsed);
        const auto nodes = access.Browse(rest.size() == 2 ? rest[1] : std::string());
        json.key("nodes").beginArray();
        for (const auto& node : nodes) {
            json.beginObject();
            json.key("node").value(node.Id);
            json.key("name").value(node.Name);
            json.key("class").value(node.NodeClass);
            json.key("readable").boolean(node.Readable);
            json.key("writable").boolean(node.Writable);
            json.endObject();
        }
        json.endArray();
    } else if (action == "read") {
        if (rest.size() < 2) throw UsageError("read takes URL NODE...");
        ConnectPlant(access, rest[0], parsed);
        const auto readings = access.ReadNodes(std::vector<std::string>(rest.begin() + 1, rest.end()));
        std::vector<std::pair<std::string, std::string>> failed;
        for (const auto& reading : readings)
            if (!reading.Error.empty()) failed.emplace_back(reading.Id, reading.Error);
        if (!failed.empty()) throw PlantAccessError(opcua::RejectedItemsText(failed));
        json.key("values").beginArray();
        for (const auto& reading : readings) {
            json.beginObject();
            json.key("node").value(reading.Id);
            json.key("value").value(reading.Value);
            json.key("quality").value(static_cast<int>(reading.Quality));
            json.endObject();
        }
        json.endArray();
    } else if (action == "write") {
        if (rest.size() != 3) throw UsageError("write takes URL NODE VALUE");
        const double value = WriteArgument(rest[2]);
        ConnectPlant(access, rest[0], parsed);
        WriteLogged(access, rest[1], value);
        json.key("written").boolean(true);
    } else {
        throw UsageError("unknown action '" + action + "': servers, browse, read or write");
    }
    json.endObject();
    access.Disconnect();
    out << json.text() << '\n';
    return status;
}

}  // namespace halvetra::cli
