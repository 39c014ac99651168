// The connection: making it (security, user, the server's certificate),
// watching it (the client's iteration and the probe of the server's time),
// and ending it.
#include "opc/OpcUaPlantAccess.h"

#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/client_highlevel_async.h>

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "opc/OpcUaCertificates.h"
#include "opc/OpcUaSession.h"
#include "opc/OpcUaValues.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

using namespace opcua;

namespace {

constexpr const char* PolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr const char* PolicyBasic256Sha256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";
// How often a connected client checks that the server still answers; a server
// that hangs is given up after this and the connection's timeout.
constexpr UA_UInt32 ConnectivityCheckMs = 2000;

std::string ConnectErrorText(const std::string& url, UA_StatusCode status, int timeoutMs, bool withUser) {
    const std::string head = "Cannot connect to " + url + ": ";
    const std::string code = " (" + StatusText(status) + ")";
    switch (status) {
    case UA_STATUSCODE_BADTIMEOUT:
        return head + "the server did not answer within " + std::to_string(timeoutMs) + " ms" + code;
    case UA_STATUSCODE_BADCONNECTIONREJECTED:
    case UA_STATUSCODE_BADCONNECTIONCLOSED:
    case UA_STATUSCODE_BADNOTCONNECTED:
    case UA_STATUSCODE_BADSERVERNOTCONNECTED:
    case UA_STATUSCODE_BADCOMMUNICATIONERROR:
    case UA_STATUSCODE_BADDISCONNECT: return head + "no OPC UA server answers at this address" + code;
    case UA_STATUSCODE_BADTCPENDPOINTURLINVALID:
        return head + "this is not a valid server address (opc.tcp://HOST:PORT)" + code;
    case UA_STATUSCODE_BADUSERACCESSDENIED:
    case UA_STATUSCODE_BADIDENTITYTOKENREJECTED:
    case UA_STATUSCODE_BADIDENTITYTOKENINVALID:
    case UA_STATUSCODE_BADUSERSIGNATUREINVALID:
        return head +
               (withUser ? "the server refused the user name or password"
                         : "the server does not accept anonymous users; give a user name and password") +
               code;
    case UA_STATUSCODE_BADSECURITYMODEREJECTED:
    case UA_STATUSCODE_BADSECURITYPOLICYREJECTED:
        return head + "the server offers no connection with the chosen security" + code;
    case UA_STATUSCODE_BADCERTIFICATEUNTRUSTED:
    case UA_STATUSCODE_BADSECURITYCHECKSFAILED:
    case UA_STATUSCODE_BADCERTIFICATEINVALID:
    case UA_STATUSCODE_BADCERTIFICATETIMEINVALID:
    case UA_STATUSCODE_BADCERTIFICATEREVOKED:
    case UA_STATUSCODE_BADCERTIFICATEURIINVALID:
    case UA_STATUSCODE_BADCERTIFICATEUSENOTALLOWED: return head + "the certificates were not accepted" + code;
    case UA_STATUSCODE_BADREQUESTCANCELLEDBYCLIENT: return head + "the connection was cancelled" + code;
    default: return head + StatusText(status);
    }
}

}  // namespace

// ---- the connection ----

void OpcUaPlantAccess::Impl::Probe() {
    if (!active || probePending || client == nullptr) return;
    const SteadyClock::time_point now = SteadyClock::now();
    if (now - lastProbe < std::chrono::milliseconds(ProbeIntervalMs)) return;
    lastProbe = now;
    if (UA_Client_readValueAttribute_async(client, UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_SERVERSTATUS_CURRENTTIME),
                                           ProbeAnswered, nullptr, nullptr) == UA_STATUSCODE_GOOD)
        probePending = true;
}

UA_StatusCode OpcUaPlantAccess::Impl::ConfigureClient(UA_ClientConfig& config, const ConnectionOptions& options,
                                                      const QByteArray& acceptedOnce) {
    config.logging = &QuietLogger;
    const bool secure = options.Mode != ConnectionOptions::Security::None;
    // A user name needs the encryption too: servers take passwords
    // encrypted with their certificate even over an unsecured channel.
    if (secure || !options.User.empty()) {
        const OwnCertificate own = LoadOrCreateOwnCertificate(self.configFolder_);
        const UA_StatusCode status = UA_ClientConfig_setDefaultEncryption(
            &config, ByteView(own.Certificate), ByteView(own.PrivateKey), nullptr, 0, nullptr, 0);
        if (status != UA_STATUSCODE_GOOD) return status;
        std::vector<QByteArray> trusted = LoadTrustedCertificates(self.configFolder_);
        if (!acceptedOnce.isEmpty()) trusted.push_back(acceptedOnce);
        trust = TrustOnlyKnownCertificates(config, std::move(trusted));
    } else {
        const UA_StatusCode status = UA_ClientConfig_setDefault(&config);
        if (status != UA_STATUSCODE_GOOD) return status;
    }
    config.timeout = static_cast<UA_UInt32>(timeoutMs);
    config.noReconnect = true;
    config.noNewSession = true;
    config.stateCallback = StateChanged;
    config.connectivityCheckInterval = ConnectivityCheckMs;
    config.inactivityCallback = Inactive;
    config.clientContext = this;

    UA_String_clear(&config.clientDescription.applicationUri);
    config.clientDescription.applicationUri = UA_STRING_ALLOC(ClientApplicationUri);
    UA_LocalizedText_clear(&config.clientDescription.applicationName);
    config.clientDescription.applicationName = UA_LOCALIZEDTEXT_ALLOC("en-US", "Halvetra");

    UA_String_clear(&config.securityPolicyUri);
    switch (options.Mode) {
    case ConnectionOptions::Security::None:
        config.securityMode = UA_MESSAGESECURITYMODE_NONE;
        config.securityPolicyUri = UA_STRING_ALLOC(PolicyNone);
        break;
    case ConnectionOptions::Security::Sign:
        config.securityMode = UA_MESSAGESECURITYMODE_SIGN;
        config.securityPolicyUri = UA_STRING_ALLOC(PolicyBasic256Sha256);
        break;
    case ConnectionOptions::Security::SignAndEncrypt:
        config.securityMode = UA_MESSAGESECURITYMODE_SIGNANDENCRYPT;
        config.securityPolicyUri = UA_STRING_ALLOC(PolicyBasic256Sha256);
        break;
    }
    if (!options.User.empty())
        return UA_ClientConfig_setAuthenticationUsername(&config, options.User.c_str(), options.Password.c_str());
    return UA_STATUSCODE_GOOD;
}

void OpcUaPlantAccess::Impl::DeleteClient(UA_Client* c) {
    closing = true;
    UA_Client_delete(c);
    closing = false;
}

UA_StatusCode OpcUaPlantAccess::Impl::ConnectOnce(const std::string& url, const ConnectionOptions& options,
                                                  const QByteArray& acceptedOnce, Refusal& refused) {
    refused = Refusal();
    trust = nullptr;
    UA_ClientConfig config;
    std::memset(&config, 0, sizeof config);
    UA_StatusCode status = UA_STATUSCODE_GOOD;
    try {
        status = ConfigureClient(config, options, acceptedOnce);
    } catch (...) {
        UA_ClientConfig_clear(&config);
        trust = nullptr;
        throw;
    }
    if (status != UA_STATUSCODE_GOOD) {
        UA_ClientConfig_clear(&config);
        trust = nullptr;
        return status;
    }
    UA_Client* c = UA_Client_newWithConfig(&config);
    if (c == nullptr) {
        trust = nullptr;
        return UA_STATUSCODE_BADOUTOFMEMORY;
    }

    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    status = UA_Client_connectAsync(c, url.c_str());
    bool reached = false;
    while (status == UA_STATUSCODE_GOOD) {
        UA_SecureChannelState channel;
        UA_SessionState session;
        UA_StatusCode connectStatus;
        UA_Client_getState(c, &channel, &session, &connectStatus);
        if (connectStatus != UA_STATUSCODE_GOOD) {
            status = connectStatus;
            break;
        }
        if (session == UA_SESSIONSTATE_ACTIVATED) break;
        if (!reached && channel == UA_SECURECHANNELSTATE_OPEN) {
            // The server answers. Choosing a secured endpoint closes the
            // first channel and opens another: the client must be allowed
            // to reconnect until the session stands (an address where
            // nobody listens has failed at once before this point).
            reached = true;
            UA_Client_getConfig(c)->noReconnect = false;
        }
        if (cancelConnect) {
            status = UA_STATUSCODE_BADREQUESTCANCELLEDBYCLIENT;
            break;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            status = UA_STATUSCODE_BADTIMEOUT;
            break;
        }
        UA_Client_run_iterate(c, static_cast<UA_UInt32>(std::min(left, 10)));
        ProcessPendingEvents();
    }
    if (status != UA_STATUSCODE_GOOD) {
        if (trust != nullptr) refused = Refusal{trust->refused, trust->refusedSubject};
        trust = nullptr;
        DeleteClient(c);
        return status;
    }
    // A connection that breaks from now on is ended, not made again.
    UA_Client_getConfig(c)->noReconnect = true;
    client = c;
    return UA_STATUSCODE_GOOD;
}

void OpcUaPlantAccess::Impl::Close() {
    silentSince.reset();
    if (probePending) silentSince = lastProbe;
    probePending = false;
    self.iterateTimer_.stop();
    if (client != nullptr) {
        UA_Client* c = client;
        client = nullptr;
        trust = nullptr;
        DeleteClient(c);
    }
    active = false;
    ++generation;
    for (auto& g : groups) {
        g->subscriptionId = 0;
        for (auto& s : g->items) {
            s->monitoredId = 0;
            s->item->Quality = 0x00;
        }
    }
    retired.clear();
}

void OpcUaPlantAccess::Impl::FireDisconnected() {
    const auto handler = self.Disconnected;
    if (!handler) return;
    try {
        handler();
    } catch (const std::exception& e) {
        qWarning("Disconnected handler failed: %s", e.what());
    }
}

// ---------------------------------------------------------------------------

QString OpcUaPlantAccess::DefaultConfigFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Halvetra"));
}

OpcUaPlantAccess::OpcUaPlantAccess(const QString& configFolder, QObject* parent)
    : QObject(parent),
      configFolder_(configFolder.isEmpty() ? DefaultConfigFolder() : configFolder),
      d_(std::make_unique<Impl>(*this)) {
    iterateTimer_.setInterval(IterateIntervalMs);
    connect(&iterateTimer_, &QTimer::timeout, this, &OpcUaPlantAccess::iterate);
    d_->LoadRemembered();
}

OpcUaPlantAccess::~OpcUaPlantAccess() { d_->Close(); }

void OpcUaPlantAccess::iterate() {
    if (d_->client == nullptr || d_->iterating || d_->connecting) return;
    d_->iterating = true;
    UA_Client_run_iterate(d_->client, 0);
    d_->Probe();
    d_->iterating = false;
}

std::int64_t OpcUaPlantAccess::ServerSilenceMs() {
    std::optional<SteadyClock::time_point> since = d_->silentSince;
    if (IsConnected()) {
        // An answer that came in meanwhile counts; no new question goes out
        // here, so that a question sent just now cannot hide an old silence.
        if (!d_->iterating && !d_->connecting) {
            d_->iterating = true;
            UA_Client_run_iterate(d_->client, 0);
            d_->iterating = false;
        }
        since.reset();
        if (d_->probePending) since = d_->lastProbe;
    }
    if (!since) return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - *since).count();
}

void OpcUaPlantAccess::handleConnectionLost(unsigned generation) {
    if (generation != d_->generation || d_->client == nullptr) return;
    d_->Close();
    d_->FireDisconnected();
}

void OpcUaPlantAccess::Connect(const std::string& server, const ConnectionOptions& options) {
    if (d_->connecting) throw PlantAccessError("Cannot connect to " + server + ": a connection is being made");
    Disconnect();
    if (server.empty()) throw PlantAccessError("Cannot connect: no OPC server selected");
    d_->timeoutMs = std::max(1, options.TimeoutMs);

    d_->connecting = true;
    d_->cancelConnect = false;
    struct ConnectingFlag {
        Impl& d;
        ~ConnectingFlag() { d.connecting = false; }
    } flag{*d_};

    QByteArray accepted;
    Refusal refused;
    UA_StatusCode status = d_->ConnectOnce(server, options, accepted, refused);
    if (status != UA_STATUSCODE_GOOD && !refused.Der.isEmpty()) {
        // A certificate nobody trusted yet: the user decides, then one more attempt.
        CertificateTrust answer = CertificateTrust::Reject;
        if (TrustServerCertificate) {
            ServerCertificate certificate;
            certificate.ServerUrl = server;
            certificate.Subject = refused.Subject;
            certificate.Thumbprint = Thumbprint(refused.Der);
            certificate.Der.assign(refused.Der.begin(), refused.Der.end());
            answer = TrustServerCertificate(certificate);
        }
        if (answer == CertificateTrust::Reject)
            throw PlantAccessError("Cannot connect to " + server + ": the server's certificate is not trusted (SHA-1 " +
                                   Thumbprint(refused.Der) + ")");
        if (answer == CertificateTrust::AcceptAlways) StoreTrustedCertificate(configFolder_, refused.Der);
        accepted = refused.Der;
        status = d_->ConnectOnce(server, options, accepted, refused);
    }
    if (status != UA_STATUSCODE_GOOD)
        throw PlantAccessError(ConnectErrorText(server, status, d_->timeoutMs, !options.User.empty()));

    d_->active = true;
    d_->probePending = false;
    d_->silentSince.reset();
    ++d_->generation;
    serverUrl_ = server;
    userName_ = options.User;
    Rejections rejected;
    for (auto& g : d_->groups) d_->CreateOnServer(*g, rejected);
    if (rememberServers_) d_->Remember(server);
    iterateTimer_.start();
}

std::string OpcUaPlantAccess::ServerStateText() {
    if (!IsConnected()) return {};
    UA_Variant value;
    UA_Variant_init(&value);
    std::string text;
    if (UA_Client_readValueAttribute(d_->client, UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_SERVERSTATUS_STATE), &value) ==
        UA_STATUSCODE_GOOD) {
        double state = -1;
        if (VariantToDouble(value, state)) text = opcua::ServerStateText(static_cast<std::int32_t>(state));
    }
    UA_Variant_clear(&value);
    return text;
}

void OpcUaPlantAccess::Disconnect() {
    if (d_->connecting) {
        d_->cancelConnect = true;
        return;
    }
    if (d_->client == nullptr) return;
    d_->Close();
    d_->FireDisconnected();
}

bool OpcUaPlantAccess::IsConnected() const { return d_->client != nullptr && d_->active; }

std::unique_ptr<PlantAccess> CreateOpcUaPlantAccess() { return std::make_unique<OpcUaPlantAccess>(); }

}  // namespace halvetra
