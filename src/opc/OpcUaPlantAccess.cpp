#include "opc/OpcUaPlantAccess.h"

#include <open62541/client.h>
#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/client_highlevel_async.h>
#include <open62541/client_subscriptions.h>
#include <open62541/plugin/log.h>
#include <open62541/plugin/pki.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <optional>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "opc/OpcUaCertificates.h"
#include "opc/OpcUaValues.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

using namespace opcua;

namespace {

// The library's log goes to standard error only when HALVETRA_OPC_LOG is set:
// the command-line program's standard output carries its JSON.
void LogToStandardError(void*, UA_LogLevel level, UA_LogCategory, const char* message, va_list arguments) {
    static const bool enabled = qEnvironmentVariableIsSet("HALVETRA_OPC_LOG");
    if (!enabled || level < UA_LOGLEVEL_INFO) return;
    std::fputs("open62541: ", stderr);
    std::vfprintf(stderr, message, arguments);
    std::fputc('\n', stderr);
}

UA_Logger QuietLogger = {LogToStandardError, nullptr, nullptr};

constexpr const char* PolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";
constexpr const char* PolicyBasic256Sha256 = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";
constexpr std::size_t MaxRememberedServers = 20;
// How often a connected client checks that the server still answers; a server
// that hangs is given up after this and the connection's timeout.
constexpr UA_UInt32 ConnectivityCheckMs = 2000;
// How often a connected client asks the server for its time, so that
// ServerSilenceMs() stays small while the server answers.
constexpr int ProbeIntervalMs = 200;

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Keeps the window painting while a connection is made; user input waits.
void ProcessPendingEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

UA_ByteString ByteView(const QByteArray& bytes) {
    UA_ByteString b;
    b.length = static_cast<size_t>(bytes.size());
    b.data = reinterpret_cast<UA_Byte*>(const_cast<char*>(bytes.constData()));
    return b;
}

QByteArray ToByteArray(const UA_ByteString& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data), static_cast<int>(bytes.length));
}

bool IsFilterRefusal(UA_StatusCode status) {
    return status == UA_STATUSCODE_BADMONITOREDITEMFILTERUNSUPPORTED || status == UA_STATUSCODE_BADFILTERNOTALLOWED ||
           status == UA_STATUSCODE_BADDEADBANDFILTERINVALID || status == UA_STATUSCODE_BADMONITOREDITEMFILTERINVALID;
}

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
        case UA_STATUSCODE_BADDISCONNECT:
            return head + "no OPC UA server answers at this address" + code;
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
        case UA_STATUSCODE_BADCERTIFICATEUSENOTALLOWED:
            return head + "the certificates were not accepted" + code;
        case UA_STATUSCODE_BADREQUESTCANCELLEDBYCLIENT:
            return head + "the connection was cancelled" + code;
        default:
            return head + StatusText(status);
    }
}

// The server certificates of one connection attempt: the trusted ones pass,
// any other is refused and kept so that the user can be asked about it.
struct TrustContext {
    UA_CertificateVerification original;  // the library's, for the URI check and the subject
    std::vector<QByteArray> trusted;
    QByteArray refused;
    std::string refusedSubject;
};

std::string SubjectOf(const TrustContext& trust, const QByteArray& der) {
    if (trust.original.getSubjectName == nullptr) return {};
    UA_ByteString certificate = ByteView(der);
    UA_String subject = UA_STRING_NULL;
    if (trust.original.getSubjectName(&subject, &certificate) != UA_STATUSCODE_GOOD) return {};
    std::string text = ToStdString(subject);
    UA_String_clear(&subject);
    return text;
}

UA_StatusCode VerifyServerCertificate(const UA_CertificateVerification* cv, const UA_ByteString* certificate) {
    auto* trust = static_cast<TrustContext*>(cv->context);
    const QByteArray der = ToByteArray(*certificate);
    for (const QByteArray& known : trust->trusted)
        if (known == der) return UA_STATUSCODE_GOOD;
    trust->refused = der;
    trust->refusedSubject = SubjectOf(*trust, der);
    return UA_STATUSCODE_BADCERTIFICATEUNTRUSTED;
}

UA_StatusCode VerifyApplicationUri(const UA_CertificateVerification* cv, const UA_ByteString* certificate,
                                   const UA_String* applicationUri) {
    const auto* trust = static_cast<const TrustContext*>(cv->context);
    if (trust->original.verifyApplicationURI == nullptr) return UA_STATUSCODE_GOOD;
    return trust->original.verifyApplicationURI(&trust->original, certificate, applicationUri);
}

void ClearTrust(UA_CertificateVerification* cv) {
    auto* trust = static_cast<TrustContext*>(cv->context);
    if (trust == nullptr) return;
    if (trust->original.clear != nullptr) trust->original.clear(&trust->original);
    delete trust;
    cv->context = nullptr;
}

// One item of a group as the connection knows it. Its address is the
// monitored item's context, so it lives as long as the client may report to it.
struct ItemState {
    ItemHandle item;
    UA_NodeId node;
    bool parsed = false;
    const UA_DataType* type = nullptr;  // the node's data type, for writes
    UA_UInt32 monitoredId = 0;
    ItemState() { UA_NodeId_init(&node); }
    ~ItemState() { UA_NodeId_clear(&node); }
    ItemState(const ItemState&) = delete;
    ItemState& operator=(const ItemState&) = delete;
};

struct GroupState {
    std::unique_ptr<PlantGroup> group;
    UA_UInt32 subscriptionId = 0;
    std::vector<std::unique_ptr<ItemState>> items;
};

using Rejections = std::vector<std::pair<std::string, std::string>>;

// A server certificate that no trusted one matched.
struct Refusal {
    QByteArray Der;
    std::string Subject;
};

}  // namespace

struct OpcUaPlantAccess::Impl {
    explicit Impl(OpcUaPlantAccess& owner) : self(owner) {}

    OpcUaPlantAccess& self;
    UA_Client* client = nullptr;
    TrustContext* trust = nullptr;  // owned by the client's configuration
    bool active = false;            // the session is activated and not lost
    bool connecting = false;
    bool cancelConnect = false;
    bool closing = false;           // the client is being closed on purpose
    bool iterating = false;
    unsigned generation = 0;
    int timeoutMs = 5000;
    std::vector<std::unique_ptr<GroupState>> groups;
    // Items taken out of groups while a client may still report to them.
    std::vector<std::unique_ptr<ItemState>> retired;
    std::vector<std::string> remembered;
    // The probe that iterate() sends every ProbeIntervalMs: a server that
    // leaves it unanswered hangs (or cannot be reached), which shows long
    // before the client's own check gives the connection up. After the
    // connection ended, silentSince keeps when its last probe went out
    // unanswered.
    Clock::time_point lastProbe{};
    bool probePending = false;
    std::optional<Clock::time_point> silentSince;

    // ---- callbacks of the client ----

    static Impl* Of(UA_Client* client) { return static_cast<Impl*>(UA_Client_getContext(client)); }

    static void StateChanged(UA_Client* client, UA_SecureChannelState channel, UA_SessionState session,
                             UA_StatusCode status) {
        Impl* d = Of(client);
        if (d == nullptr || d->closing || !d->active) return;
        const bool lost = status != UA_STATUSCODE_GOOD || session != UA_SESSIONSTATE_ACTIVATED ||
                          channel == UA_SECURECHANNELSTATE_CLOSED || channel == UA_SECURECHANNELSTATE_CLOSING;
        if (lost) d->MarkLost();
    }

    // The server left a check read unanswered: it hangs or the network is gone.
    static void Inactive(UA_Client* client) {
        Impl* d = Of(client);
        if (d == nullptr || d->closing || !d->active) return;
        d->MarkLost();
    }

    // The probe's answer, or its failure once the client gives it up.
    static void ProbeAnswered(UA_Client* client, void*, UA_UInt32, UA_StatusCode status, UA_DataValue*) {
        Impl* d = Of(client);
        if (d == nullptr) return;
        // A probe the client gave up, or lost with the channel, keeps counting
        // the silence until the link is given up; any answer of the server ends it.
        switch (status) {
            case UA_STATUSCODE_BADTIMEOUT:
            case UA_STATUSCODE_BADREQUESTTIMEOUT:
            case UA_STATUSCODE_BADCONNECTIONCLOSED:
            case UA_STATUSCODE_BADSECURECHANNELCLOSED:
            case UA_STATUSCODE_BADSERVERNOTCONNECTED:
            case UA_STATUSCODE_BADSHUTDOWN:
            case UA_STATUSCODE_BADDISCONNECT:
                return;
            default:
                d->probePending = false;
        }
    }

    // Asks the server for its current time every ProbeIntervalMs while connected.
    void Probe() {
        if (!active || probePending || client == nullptr) return;
        const Clock::time_point now = Clock::now();
        if (now - lastProbe < std::chrono::milliseconds(ProbeIntervalMs)) return;
        lastProbe = now;
        if (UA_Client_readValueAttribute_async(client, UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_SERVERSTATUS_CURRENTTIME),
                                               ProbeAnswered, nullptr, nullptr) == UA_STATUSCODE_GOOD)
            probePending = true;
    }

    void MarkLost() {
        active = false;
        // The client is closed outside its own callback.
        const unsigned current = generation;
        OpcUaPlantAccess* owner = &self;
        QMetaObject::invokeMethod(
            owner, [owner, current] { owner->handleConnectionLost(current); }, Qt::QueuedConnection);
    }

    static void DataChanged(UA_Client*, UA_UInt32, void*, UA_UInt32, void* context, UA_DataValue* value) {
        auto* state = static_cast<ItemState*>(context);
        if (state == nullptr || !state->item || value == nullptr) return;
        ApplyDataValue(*value, state->item->Value, state->item->Quality);
    }

    // ---- connection ----

    UA_StatusCode ConfigureClient(UA_ClientConfig& config, const ConnectionOptions& options,
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
            auto* context = new TrustContext{config.certificateVerification, LoadTrustedCertificates(self.configFolder_),
                                             QByteArray(), std::string()};
            if (!acceptedOnce.isEmpty()) context->trusted.push_back(acceptedOnce);
            UA_CertificateVerification verification{};
            verification.context = context;
            verification.verifyCertificate = VerifyServerCertificate;
            verification.verifyApplicationURI = VerifyApplicationUri;
            verification.getExpirationDate = config.certificateVerification.getExpirationDate;
            verification.getSubjectName = config.certificateVerification.getSubjectName;
            verification.clear = ClearTrust;
            verification.logging = config.certificateVerification.logging;
            config.certificateVerification = verification;
            trust = context;
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

    void DeleteClient(UA_Client* c) {
        closing = true;
        UA_Client_delete(c);
        closing = false;
    }

    // One attempt; the client is kept only when its session is activated.
    // `refused` gets a server certificate that was not trusted.
    UA_StatusCode ConnectOnce(const std::string& url, const ConnectionOptions& options, const QByteArray& acceptedOnce,
                              Refusal& refused) {
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

        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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

    // Closes the client; items keep their values with a bad quality.
    void Close() {
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

    void FireDisconnected() {
        const auto handler = self.Disconnected;
        if (!handler) return;
        try {
            handler();
        } catch (const std::exception& e) {
            qWarning("Disconnected handler failed: %s", e.what());
        }
    }

    // ---- groups and items on the server ----

    GroupState& Find(const PlantGroup& group) {
        for (auto& g : groups)
            if (g->group.get() == &group) return *g;
        throw PlantAccessError("Group " + group.Name + " does not belong to this connection");
    }

    ItemState* Find(const PlantItem* item) {
        for (auto& g : groups)
            for (auto& s : g->items)
                if (s->item.get() == item) return s.get();
        return nullptr;
    }

    static void Reject(ItemState& s, const std::string& text, Rejections& rejected) {
        s.item->LastError = text;
        s.item->Quality = 0x00;
        rejected.emplace_back(s.item->Id, text);
    }

    // The data type a number written to the node is converted to: the node's
    // DataType attribute, or for an abstract one (Number, BaseDataType) the
    // type of its current value. Null when neither is a numeric type.
    const UA_DataType* TypeFromValue(const UA_NodeId& node) {
        UA_Variant value;
        UA_Variant_init(&value);
        const UA_DataType* type = nullptr;
        if (UA_Client_readValueAttribute(client, node, &value) == UA_STATUSCODE_GOOD && UA_Variant_isScalar(&value) &&
            IsNumericType(value.type))
            type = value.type;
        UA_Variant_clear(&value);
        return type;
    }

    // Reads the data types of the items in one request; items whose node the
    // server does not know are rejected and left out of the result.
    std::vector<ItemState*> ResolveTypes(const std::vector<ItemState*>& items, Rejections& rejected) {
        std::vector<ItemState*> known;
        std::vector<ItemState*> unresolved;
        for (ItemState* s : items) (s->type == nullptr ? unresolved : known).push_back(s);
        if (unresolved.empty()) return known;

        std::vector<UA_ReadValueId> reads(unresolved.size());
        for (std::size_t i = 0; i < unresolved.size(); ++i) {
            UA_ReadValueId_init(&reads[i]);
            reads[i].nodeId = unresolved[i]->node;
            reads[i].attributeId = UA_ATTRIBUTEID_DATATYPE;
        }
        UA_ReadRequest request;
        UA_ReadRequest_init(&request);
        request.nodesToRead = reads.data();
        request.nodesToReadSize = reads.size();
        UA_ReadResponse response = UA_Client_Service_read(client, request);
        UA_StatusCode service = response.responseHeader.serviceResult;
        if (service == UA_STATUSCODE_GOOD && response.resultsSize != reads.size()) service = UA_STATUSCODE_BADUNEXPECTEDERROR;
        for (std::size_t i = 0; i < unresolved.size(); ++i) {
            ItemState& s = *unresolved[i];
            if (service != UA_STATUSCODE_GOOD) {
                Reject(s, StatusText(service), rejected);
                continue;
            }
            const UA_DataValue& result = response.results[i];
            const UA_StatusCode status = result.hasStatus ? result.status : UA_STATUSCODE_GOOD;
            if (status != UA_STATUSCODE_GOOD || !result.hasValue ||
                !UA_Variant_hasScalarType(&result.value, &UA_TYPES[UA_TYPES_NODEID])) {
                Reject(s, StatusText(status != UA_STATUSCODE_GOOD ? status : UA_STATUSCODE_BADATTRIBUTEIDINVALID),
                       rejected);
                continue;
            }
            const UA_DataType* type = UA_findDataType(static_cast<const UA_NodeId*>(result.value.data));
            s.type = IsNumericType(type) ? type : nullptr;
            known.push_back(&s);
        }
        UA_ReadResponse_clear(&response);
        for (ItemState* s : known)
            if (s->type == nullptr) s->type = TypeFromValue(s->node);
        return known;
    }

    // Creates the monitored items in one request; with a dead band each
    // carries a percent dead-band filter. Returns the items the server
    // refused the filter for.
    std::vector<ItemState*> CreateMonitoredItems(GroupState& g, const std::vector<ItemState*>& items, bool withFilter,
                                                 Rejections& rejected) {
        std::vector<ItemState*> refusedFilter;
        if (items.empty()) return refusedFilter;
        UA_DataChangeFilter filter;
        UA_DataChangeFilter_init(&filter);
        filter.trigger = UA_DATACHANGETRIGGER_STATUSVALUE;
        filter.deadbandType = UA_DEADBANDTYPE_PERCENT;
        filter.deadbandValue = g.group->DeadBand;

        std::vector<UA_MonitoredItemCreateRequest> creates(items.size());
        std::vector<void*> contexts(items.size());
        std::vector<UA_Client_DataChangeNotificationCallback> callbacks(items.size(), DataChanged);
        std::vector<UA_Client_DeleteMonitoredItemCallback> deleted(items.size(), nullptr);
        for (std::size_t i = 0; i < items.size(); ++i) {
            creates[i] = UA_MonitoredItemCreateRequest_default(items[i]->node);
            creates[i].requestedParameters.samplingInterval = std::max(0, g.group->UpdateRate);
            creates[i].requestedParameters.queueSize = 1;
            creates[i].requestedParameters.discardOldest = true;
            if (withFilter)
                UA_ExtensionObject_setValueNoDelete(&creates[i].requestedParameters.filter, &filter,
                                                    &UA_TYPES[UA_TYPES_DATACHANGEFILTER]);
            contexts[i] = items[i];
        }
        UA_CreateMonitoredItemsRequest request;
        UA_CreateMonitoredItemsRequest_init(&request);
        request.subscriptionId = g.subscriptionId;
        request.timestampsToReturn = UA_TIMESTAMPSTORETURN_SOURCE;
        request.itemsToCreate = creates.data();
        request.itemsToCreateSize = creates.size();
        UA_CreateMonitoredItemsResponse response =
            UA_Client_MonitoredItems_createDataChanges(client, request, contexts.data(), callbacks.data(), deleted.data());
        UA_StatusCode service = response.responseHeader.serviceResult;
        if (service == UA_STATUSCODE_GOOD && response.resultsSize != items.size()) service = UA_STATUSCODE_BADUNEXPECTEDERROR;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const UA_StatusCode status = service != UA_STATUSCODE_GOOD ? service : response.results[i].statusCode;
            if (status == UA_STATUSCODE_GOOD)
                items[i]->monitoredId = response.results[i].monitoredItemId;
            else if (withFilter && IsFilterRefusal(status))
                refusedFilter.push_back(items[i]);
            else
                Reject(*items[i], StatusText(status), rejected);
        }
        UA_CreateMonitoredItemsResponse_clear(&response);
        return refusedFilter;
    }

    void AttachItems(GroupState& g, const std::vector<ItemState*>& items, Rejections& rejected) {
        std::vector<ItemState*> parsed;
        for (ItemState* s : items) {
            if (!s->parsed) {
                if (!ParseNodeId(s->item->Id, s->node)) {
                    Reject(*s, StatusText(UA_STATUSCODE_BADNODEIDINVALID), rejected);
                    continue;
                }
                s->parsed = true;
            }
            parsed.push_back(s);
        }
        const std::vector<ItemState*> known = ResolveTypes(parsed, rejected);
        const bool withFilter = g.group->DeadBand > 0.0;
        const std::vector<ItemState*> refused = CreateMonitoredItems(g, known, withFilter, rejected);
        // Nodes without a range for a percent dead band report every change.
        CreateMonitoredItems(g, refused, false, rejected);
    }

    bool CreateSubscription(GroupState& g, Rejections& rejected) {
        if (g.subscriptionId != 0) return true;
        UA_CreateSubscriptionRequest request = UA_CreateSubscriptionRequest_default();
        request.requestedPublishingInterval = std::max(0, g.group->UpdateRate);
        request.publishingEnabled = g.group->Active;
        UA_CreateSubscriptionResponse response = UA_Client_Subscriptions_create(client, request, nullptr, nullptr, nullptr);
        const UA_StatusCode status = response.responseHeader.serviceResult;
        const UA_UInt32 id = response.subscriptionId;
        UA_CreateSubscriptionResponse_clear(&response);
        if (status != UA_STATUSCODE_GOOD) {
            for (auto& s : g.items) Reject(*s, StatusText(status), rejected);
            return false;
        }
        g.subscriptionId = id;
        return true;
    }

    // The group's subscription and every item not on the server yet.
    void CreateOnServer(GroupState& g, Rejections& rejected) {
        if (!CreateSubscription(g, rejected)) return;
        std::vector<ItemState*> pending;
        for (auto& s : g.items)
            if (s->monitoredId == 0) pending.push_back(s.get());
        AttachItems(g, pending, rejected);
    }

    // A changed update rate or dead band: the group is made again on the server.
    void Recreate(GroupState& g) {
        if (!active || client == nullptr || g.subscriptionId == 0) return;
        UA_Client_Subscriptions_deleteSingle(client, g.subscriptionId);
        g.subscriptionId = 0;
        for (auto& s : g.items) s->monitoredId = 0;
        Rejections rejected;
        CreateOnServer(g, rejected);
    }

    // ---- single-node services ----

    // The data type of a node for a write; 0 status when found.
    UA_StatusCode WriteType(const UA_NodeId& node, const UA_DataType*& type) {
        UA_NodeId dataType;
        UA_NodeId_init(&dataType);
        const UA_StatusCode status = UA_Client_readDataTypeAttribute(client, node, &dataType);
        if (status != UA_STATUSCODE_GOOD) return status;
        const UA_DataType* found = UA_findDataType(&dataType);
        UA_NodeId_clear(&dataType);
        type = IsNumericType(found) ? found : TypeFromValue(node);
        return UA_STATUSCODE_GOOD;
    }

    // Writes the number, converted to `type`; empty on success, else the error text.
    std::string Write(const UA_NodeId& node, const UA_DataType* type, double value) {
        UA_WriteValue write;
        UA_WriteValue_init(&write);
        std::string error;
        if (!NumberToVariant(value, type, write.value.value, error)) return error;
        write.nodeId = node;
        write.attributeId = UA_ATTRIBUTEID_VALUE;
        write.value.hasValue = true;
        UA_WriteRequest request;
        UA_WriteRequest_init(&request);
        request.nodesToWrite = &write;
        request.nodesToWriteSize = 1;
        UA_WriteResponse response = UA_Client_Service_write(client, request);
        UA_StatusCode status = response.responseHeader.serviceResult;
        if (status == UA_STATUSCODE_GOOD)
            status = response.resultsSize == 1 ? response.results[0] : UA_STATUSCODE_BADUNEXPECTEDERROR;
        UA_WriteResponse_clear(&response);
        UA_Variant_clear(&write.value.value);
        return status == UA_STATUSCODE_GOOD ? std::string() : StatusText(status);
    }

    // ---- remembered servers ----

    QString RememberedPath() const { return QDir(self.configFolder_).filePath(QStringLiteral("servers.txt")); }

    void LoadRemembered() {
        QFile file(RememberedPath());
        if (!file.open(QIODevice::ReadOnly)) return;
        while (!file.atEnd()) {
            const std::string url = QString::fromUtf8(file.readLine()).trimmed().toStdString();
            if (!url.empty() && std::find(remembered.begin(), remembered.end(), url) == remembered.end())
                remembered.push_back(url);
        }
    }

    void Remember(const std::string& url) {
        remembered.erase(std::remove(remembered.begin(), remembered.end(), url), remembered.end());
        remembered.insert(remembered.begin(), url);
        if (remembered.size() > MaxRememberedServers) remembered.resize(MaxRememberedServers);
        // The list is a convenience: a folder that cannot be written loses it quietly.
        if (!QDir().mkpath(self.configFolder_)) return;
        // One checked write: a disk that fills part way keeps the earlier list
        // whole instead of replacing it with a cut one.
        QByteArray bytes;
        for (const auto& u : remembered) bytes += QByteArray::fromStdString(u + "\n");
        QSaveFile file(RememberedPath());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) return;
        file.commit();
    }
};

// ---------------------------------------------------------------------------

QString OpcUaPlantAccess::DefaultConfigFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Halvetra"));
}

OpcUaPlantAccess::OpcUaPlantAccess(const QString& configFolder, QObject* parent)
    : QObject(parent), configFolder_(configFolder.isEmpty() ? DefaultConfigFolder() : configFolder),
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

void OpcUaPlantAccess::WriteValueWithin(const ItemHandle& item, double value, int waitMs) {
    if (d_->client == nullptr) return WriteValue(item, value);
    // The client's service calls wait as long as its configuration says.
    UA_ClientConfig* config = UA_Client_getConfig(d_->client);
    struct Restore {
        UA_ClientConfig* config;
        UA_UInt32 timeout;
        ~Restore() { config->timeout = timeout; }
    } restore{config, config->timeout};
    config->timeout = std::min(config->timeout, static_cast<UA_UInt32>(std::max(1, waitMs)));
    WriteValue(item, value);
}

std::int64_t OpcUaPlantAccess::ServerSilenceMs() {
    std::optional<Clock::time_point> since = d_->silentSince;
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
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *since).count();
}

void OpcUaPlantAccess::handleConnectionLost(unsigned generation) {
    if (generation != d_->generation || d_->client == nullptr) return;
    d_->Close();
    d_->FireDisconnected();
}

std::vector<std::string> OpcUaPlantAccess::ListServers() {
    std::vector<std::string> servers;
    auto add = [&servers](const std::string& url) {
        if (!url.empty() && std::find(servers.begin(), servers.end(), url) == servers.end()) servers.push_back(url);
    };

    discoveryError_.clear();
    UA_ClientConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = &QuietLogger;
    if (UA_ClientConfig_setDefault(&config) == UA_STATUSCODE_GOOD) {
        config.timeout = static_cast<UA_UInt32>(std::max(1, discoveryTimeoutMs_));
        config.noReconnect = true;
        UA_Client* c = UA_Client_newWithConfig(&config);
        if (c != nullptr) {
            // The channel first, without blocking on an address where nobody listens.
            const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(1, discoveryTimeoutMs_));
            UA_StatusCode status = UA_Client_connectSecureChannelAsync(c, discoveryUrl_.c_str());
            bool open = false;
            while (status == UA_STATUSCODE_GOOD) {
                UA_SecureChannelState channel;
                UA_StatusCode connectStatus;
                UA_Client_getState(c, &channel, nullptr, &connectStatus);
                if (connectStatus != UA_STATUSCODE_GOOD) {
                    status = connectStatus;
                    break;
                }
                if (channel == UA_SECURECHANNELSTATE_OPEN) {
                    open = true;
                    break;
                }
                const int left = MillisecondsLeft(deadline);
                if (left == 0) break;
                UA_Client_run_iterate(c, static_cast<UA_UInt32>(std::min(left, 10)));
                ProcessPendingEvents();
            }
            if (!open) {
                discoveryError_ = "The discovery server " + discoveryUrl_ + " did not answer" +
                                  (status == UA_STATUSCODE_GOOD
                                       ? " within " + std::to_string(std::max(1, discoveryTimeoutMs_)) + " ms"
                                       : " (" + StatusText(status) + ")");
            } else {
                size_t count = 0;
                UA_ApplicationDescription* found = nullptr;
                const UA_StatusCode findStatus =
                    UA_Client_findServers(c, discoveryUrl_.c_str(), 0, nullptr, 0, nullptr, &count, &found);
                if (findStatus != UA_STATUSCODE_GOOD)
                    discoveryError_ = "The discovery server " + discoveryUrl_ + " did not list its servers (" +
                                      StatusText(findStatus) + ")";
                if (findStatus == UA_STATUSCODE_GOOD) {
                    for (size_t i = 0; i < count; ++i) {
                        if (found[i].applicationType == UA_APPLICATIONTYPE_DISCOVERYSERVER) continue;
                        for (size_t k = 0; k < found[i].discoveryUrlsSize; ++k) add(ToStdString(found[i].discoveryUrls[k]));
                    }
                    UA_Array_delete(found, count, &UA_TYPES[UA_TYPES_APPLICATIONDESCRIPTION]);
                }
            }
            UA_Client_delete(c);
        }
    } else {
        UA_ClientConfig_clear(&config);
    }
    for (const auto& url : d_->remembered) add(url);
    return servers;
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

PlantGroup& OpcUaPlantAccess::AddGroup(const std::string& name) {
    for (const auto& g : d_->groups)
        if (g->group->Name == name) throw PlantAccessError("Group " + name + " already exists");
    auto state = std::make_unique<GroupState>();
    state->group = std::make_unique<PlantGroup>();
    state->group->Name = name;
    GroupState& g = *state;
    d_->groups.push_back(std::move(state));
    if (IsConnected()) {
        Rejections rejected;
        d_->CreateOnServer(g, rejected);
    }
    return *g.group;
}

void OpcUaPlantAccess::SetDeadBand(PlantGroup& group, double percent) {
    GroupState& g = d_->Find(group);
    const double clamped = std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 100.0);
    if (clamped == group.DeadBand) return;
    group.DeadBand = clamped;
    d_->Recreate(g);
}

void OpcUaPlantAccess::SetUpdateRate(PlantGroup& group, int milliseconds) {
    GroupState& g = d_->Find(group);
    const int rate = std::max(0, milliseconds);
    if (rate == group.UpdateRate) return;
    group.UpdateRate = rate;
    d_->Recreate(g);
}

void OpcUaPlantAccess::ClearItems(PlantGroup& group) {
    GroupState& g = d_->Find(group);
    if (IsConnected() && g.subscriptionId != 0) {
        std::vector<UA_UInt32> ids;
        for (auto& s : g.items)
            if (s->monitoredId != 0) ids.push_back(s->monitoredId);
        if (!ids.empty()) {
            UA_DeleteMonitoredItemsRequest request;
            UA_DeleteMonitoredItemsRequest_init(&request);
            request.subscriptionId = g.subscriptionId;
            request.monitoredItemIds = ids.data();
            request.monitoredItemIdsSize = ids.size();
            UA_DeleteMonitoredItemsResponse response = UA_Client_MonitoredItems_delete(d_->client, request);
            UA_DeleteMonitoredItemsResponse_clear(&response);
        }
    }
    for (auto& s : g.items) {
        // The client may still hold the item's address as a context.
        if (d_->client != nullptr) {
            s->item.reset();
            d_->retired.push_back(std::move(s));
        }
    }
    g.items.clear();
    group.Items.clear();
}

ItemHandle OpcUaPlantAccess::AddItem(PlantGroup& group, const std::string& itemId) {
    GroupState& g = d_->Find(group);
    auto item = std::make_shared<PlantItem>();
    item->Id = itemId;
    auto state = std::make_unique<ItemState>();
    state->item = item;
    if (IsConnected()) {
        Rejections rejected;
        if (d_->CreateSubscription(g, rejected)) d_->AttachItems(g, {state.get()}, rejected);
        if (!rejected.empty()) {
            state->item.reset();
            d_->retired.push_back(std::move(state));
            throw PlantAccessError(RejectedItemsText(rejected));
        }
    }
    g.items.push_back(std::move(state));
    group.Items.push_back(item);
    return item;
}

double OpcUaPlantAccess::ReadValue(const ItemHandle& item) {
    if (!item) throw PlantAccessError("No OPC item given");
    return item->Value;
}

bool OpcUaPlantAccess::QualityIsGood(const ItemHandle& item) {
    if (!item) throw PlantAccessError("No OPC item given");
    return IsGoodQuality(item->Quality);
}

void OpcUaPlantAccess::WriteValue(const ItemHandle& item, double value) {
    if (!item) throw PlantAccessError("No OPC item given");
    if (!IsConnected()) {
        if (!item->LastError.empty()) throw PlantAccessError(WriteErrorText(item->Id, item->LastError));
        return;
    }
    ItemState* state = d_->Find(item.get());
    UA_NodeId parsed;
    UA_NodeId_init(&parsed);
    const UA_NodeId* node = nullptr;
    if (state != nullptr && state->parsed) {
        node = &state->node;
    } else if (ParseNodeId(item->Id, parsed)) {
        node = &parsed;
    } else {
        item->LastError = StatusText(UA_STATUSCODE_BADNODEIDINVALID);
        throw PlantAccessError(WriteErrorText(item->Id, item->LastError));
    }
    const UA_DataType* type = state != nullptr ? state->type : nullptr;
    std::string error;
    if (type == nullptr) {
        const UA_StatusCode status = d_->WriteType(*node, type);
        if (status != UA_STATUSCODE_GOOD) error = StatusText(status);
        if (state != nullptr) state->type = type;
    }
    if (error.empty()) error = d_->Write(*node, type, value);
    UA_NodeId_clear(&parsed);
    if (!error.empty()) {
        item->LastError = error;
        throw PlantAccessError(WriteErrorText(item->Id, error));
    }
    item->LastError.clear();
}

void OpcUaPlantAccess::WriteValue(const ItemHandle& item, int value) { WriteValue(item, static_cast<double>(value)); }

void OpcUaPlantAccess::WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>& values) {
    if (items.size() != values.size())
        throw PlantAccessError("Cannot write Items: " + std::to_string(values.size()) + " values for " +
                               std::to_string(items.size()) + " items");
    for (const ItemHandle& item : items)
        if (!item) throw PlantAccessError("No OPC item given");
    if (items.empty()) return;
    Rejections refused;
    if (!IsConnected()) {
        for (const ItemHandle& item : items) refused.emplace_back(item->Id, StatusText(UA_STATUSCODE_BADNOTCONNECTED));
        throw PlantAccessError(WriteItemsErrorText(refused));
    }
    const std::size_t n = items.size();
    auto refuse = [&refused, &items](std::size_t i, const std::string& error) {
        items[i]->LastError = error;
        refused.emplace_back(items[i]->Id, error);
    };

    // Each node, its type and the converted value; nothing is sent while any fails.
    std::vector<UA_WriteValue> writes(n);
    for (auto& w : writes) UA_WriteValue_init(&w);
    struct Cleanup {
        std::vector<UA_WriteValue>& writes;
        ~Cleanup() {
            for (auto& w : writes) UA_WriteValue_clear(&w);
        }
    } cleanup{writes};
    for (std::size_t i = 0; i < n; ++i) {
        ItemState* state = d_->Find(items[i].get());
        UA_NodeId& node = writes[i].nodeId;
        if (state != nullptr && state->parsed) {
            UA_NodeId_copy(&state->node, &node);
        } else if (!ParseNodeId(items[i]->Id, node)) {
            refuse(i, StatusText(UA_STATUSCODE_BADNODEIDINVALID));
            continue;
        }
        const UA_DataType* type = state != nullptr ? state->type : nullptr;
        if (type == nullptr) {
            const UA_StatusCode status = d_->WriteType(node, type);
            if (status != UA_STATUSCODE_GOOD) {
                refuse(i, StatusText(status));
                continue;
            }
            if (state != nullptr) state->type = type;
        }
        std::string error;
        if (!std::isfinite(values[i])) {
            // Never meant for a plant, whatever the node's type would take.
            refuse(i, "the value is not a finite number");
            continue;
        }
        if (!NumberToVariant(values[i], type, writes[i].value.value, error)) {
            refuse(i, error);
            continue;
        }
        writes[i].attributeId = UA_ATTRIBUTEID_VALUE;
        writes[i].value.hasValue = true;
    }
    if (!refused.empty()) throw PlantAccessError(WriteItemsErrorText(refused));

    // Whether the user may write each node: a read-only node refuses here,
    // before any other node of the request is written.
    {
        std::vector<UA_ReadValueId> reads(n);
        for (std::size_t i = 0; i < n; ++i) {
            UA_ReadValueId_init(&reads[i]);
            reads[i].nodeId = writes[i].nodeId;
            reads[i].attributeId = UA_ATTRIBUTEID_USERACCESSLEVEL;
        }
        UA_ReadRequest request;
        UA_ReadRequest_init(&request);
        request.nodesToRead = reads.data();
        request.nodesToReadSize = n;
        request.timestampsToReturn = UA_TIMESTAMPSTORETURN_NEITHER;
        UA_ReadResponse response = UA_Client_Service_read(d_->client, request);
        UA_StatusCode service = response.responseHeader.serviceResult;
        if (service == UA_STATUSCODE_GOOD && response.resultsSize != n) service = UA_STATUSCODE_BADUNEXPECTEDERROR;
        for (std::size_t i = 0; i < n; ++i) {
            if (service != UA_STATUSCODE_GOOD) {
                refuse(i, StatusText(service));
                continue;
            }
            const UA_DataValue& level = response.results[i];
            const UA_StatusCode status = level.hasStatus ? level.status : UA_STATUSCODE_GOOD;
            if (status != UA_STATUSCODE_GOOD)
                refuse(i, StatusText(status));
            else if (level.hasValue && UA_Variant_hasScalarType(&level.value, &UA_TYPES[UA_TYPES_BYTE]) &&
                     (*static_cast<const UA_Byte*>(level.value.data) & UA_ACCESSLEVELMASK_WRITE) == 0)
                refuse(i, StatusText(UA_STATUSCODE_BADNOTWRITABLE));
        }
        UA_ReadResponse_clear(&response);
        if (!refused.empty()) throw PlantAccessError(WriteItemsErrorText(refused));
    }

    // The write itself: one request with all nodes.
    UA_WriteRequest request;
    UA_WriteRequest_init(&request);
    request.nodesToWrite = writes.data();
    request.nodesToWriteSize = n;
    UA_WriteResponse response = UA_Client_Service_write(d_->client, request);
    UA_StatusCode service = response.responseHeader.serviceResult;
    if (service == UA_STATUSCODE_GOOD && response.resultsSize != n) service = UA_STATUSCODE_BADUNEXPECTEDERROR;
    std::vector<std::string> written;
    for (std::size_t i = 0; i < n; ++i) {
        const UA_StatusCode status = service != UA_STATUSCODE_GOOD ? service : response.results[i];
        if (status == UA_STATUSCODE_GOOD) {
            items[i]->LastError.clear();
            written.push_back(items[i]->Id);
        } else {
            refuse(i, StatusText(status));
        }
    }
    UA_WriteResponse_clear(&response);
    if (refused.empty()) return;
    // Without the server's answer nobody knows what it did with the request.
    const std::string note = service != UA_STATUSCODE_GOOD
                                 ? "The server did not confirm the request: check the values on the plant."
                                 : std::string();
    throw PlantAccessError(WriteItemsErrorText(refused, written, note));
}

std::vector<NodeReading> OpcUaPlantAccess::ReadNodes(const std::vector<std::string>& nodeIds) {
    if (!IsConnected()) throw PlantAccessError("Not connected to an OPC server");
    std::vector<NodeReading> readings(nodeIds.size());
    std::vector<UA_NodeId> nodes(nodeIds.size());
    std::vector<UA_ReadValueId> reads;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < nodeIds.size(); ++i) {
        readings[i].Id = nodeIds[i];
        if (!ParseNodeId(nodeIds[i], nodes[i])) {
            readings[i].Error = StatusText(UA_STATUSCODE_BADNODEIDINVALID);
            continue;
        }
        UA_ReadValueId read;
        UA_ReadValueId_init(&read);
        read.nodeId = nodes[i];
        read.attributeId = UA_ATTRIBUTEID_VALUE;
        reads.push_back(read);
        index.push_back(i);
    }
    if (!reads.empty()) {
        UA_ReadRequest request;
        UA_ReadRequest_init(&request);
        request.nodesToRead = reads.data();
        request.nodesToReadSize = reads.size();
        request.timestampsToReturn = UA_TIMESTAMPSTORETURN_NEITHER;
        UA_ReadResponse response = UA_Client_Service_read(d_->client, request);
        UA_StatusCode service = response.responseHeader.serviceResult;
        if (service == UA_STATUSCODE_GOOD && response.resultsSize != reads.size())
            service = UA_STATUSCODE_BADUNEXPECTEDERROR;
        for (std::size_t k = 0; k < reads.size(); ++k) {
            NodeReading& reading = readings[index[k]];
            if (service != UA_STATUSCODE_GOOD) {
                reading.Error = StatusText(service);
                continue;
            }
            const UA_DataValue& result = response.results[k];
            const UA_StatusCode status = result.hasStatus ? result.status : UA_STATUSCODE_GOOD;
            double value = 0.0;
            if (result.hasValue && VariantToDouble(result.value, value)) {
                reading.Value = value;
                reading.Quality = QualityFromStatus(status);
            } else {
                reading.Error = StatusText(status != UA_STATUSCODE_GOOD ? status : UA_STATUSCODE_BADTYPEMISMATCH);
            }
        }
        UA_ReadResponse_clear(&response);
    }
    for (auto& node : nodes) UA_NodeId_clear(&node);
    return readings;
}

void OpcUaPlantAccess::WriteNode(const std::string& nodeId, double value) {
    if (!IsConnected()) throw PlantAccessError(WriteErrorText(nodeId, StatusText(UA_STATUSCODE_BADNOTCONNECTED)));
    UA_NodeId node;
    if (!ParseNodeId(nodeId, node))
        throw PlantAccessError(WriteErrorText(nodeId, StatusText(UA_STATUSCODE_BADNODEIDINVALID)));
    const UA_DataType* type = nullptr;
    const UA_StatusCode status = d_->WriteType(node, type);
    const std::string error = status != UA_STATUSCODE_GOOD ? StatusText(status) : d_->Write(node, type, value);
    UA_NodeId_clear(&node);
    if (!error.empty()) throw PlantAccessError(WriteErrorText(nodeId, error));
}

std::vector<BrowseNode> OpcUaPlantAccess::Browse(const std::string& nodeId) {
    if (!IsConnected()) throw PlantAccessError("Not connected to an OPC server");
    UA_NodeId start;
    if (nodeId.empty()) {
        start = UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER);
    } else if (!ParseNodeId(nodeId, start)) {
        throw PlantAccessError("Cannot browse " + nodeId + ": " + StatusText(UA_STATUSCODE_BADNODEIDINVALID));
    }
    UA_Client* client = d_->client;

    auto describe = [](const UA_NodeId& node) {
        UA_BrowseDescription description;
        UA_BrowseDescription_init(&description);
        description.nodeId = node;
        description.browseDirection = UA_BROWSEDIRECTION_FORWARD;
        description.referenceTypeId = UA_NODEID_NUMERIC(0, UA_NS0ID_HIERARCHICALREFERENCES);
        description.includeSubtypes = true;
        description.resultMask = UA_BROWSERESULTMASK_ALL;
        return description;
    };

    // The children, following continuation points until all are there.
    std::vector<BrowseNode> nodes;
    std::vector<UA_NodeId> ids;  // owned copies, parallel to nodes
    auto take = [&](const UA_BrowseResult& result) {
        for (size_t i = 0; i < result.referencesSize; ++i) {
            const UA_ReferenceDescription& reference = result.references[i];
            if (reference.nodeId.serverIndex != 0) continue;  // a node of another server
            BrowseNode node;
            node.Id = NodeIdText(reference.nodeId.nodeId);
            node.Name = ToStdString(reference.displayName.text);
            if (node.Name.empty()) node.Name = ToStdString(reference.browseName.name);
            node.NodeClass = NodeClassText(reference.nodeClass);
            nodes.push_back(node);
            UA_NodeId copy;
            UA_NodeId_copy(&reference.nodeId.nodeId, &copy);
            ids.push_back(copy);
        }
    };
    auto clearIds = [&ids] {
        for (auto& id : ids) UA_NodeId_clear(&id);
    };

    UA_BrowseDescription description = describe(start);
    UA_BrowseRequest request;
    UA_BrowseRequest_init(&request);
    request.nodesToBrowse = &description;
    request.nodesToBrowseSize = 1;
    UA_BrowseResponse response = UA_Client_Service_browse(client, request);
    UA_StatusCode status = response.responseHeader.serviceResult;
    if (status == UA_STATUSCODE_GOOD)
        status = response.resultsSize == 1 ? response.results[0].statusCode : UA_STATUSCODE_BADUNEXPECTEDERROR;
    UA_ByteString continuation = UA_BYTESTRING_NULL;
    if (status == UA_STATUSCODE_GOOD) {
        take(response.results[0]);
        UA_ByteString_copy(&response.results[0].continuationPoint, &continuation);
    }
    UA_BrowseResponse_clear(&response);
    while (status == UA_STATUSCODE_GOOD && continuation.length > 0) {
        UA_BrowseNextRequest next;
        UA_BrowseNextRequest_init(&next);
        next.continuationPoints = &continuation;
        next.continuationPointsSize = 1;
        UA_BrowseNextResponse nextResponse = UA_Client_Service_browseNext(client, next);
        UA_ByteString_clear(&continuation);
        status = nextResponse.responseHeader.serviceResult;
        if (status == UA_STATUSCODE_GOOD)
            status = nextResponse.resultsSize == 1 ? nextResponse.results[0].statusCode : UA_STATUSCODE_BADUNEXPECTEDERROR;
        if (status == UA_STATUSCODE_GOOD) {
            take(nextResponse.results[0]);
            UA_ByteString_copy(&nextResponse.results[0].continuationPoint, &continuation);
        }
        UA_BrowseNextResponse_clear(&nextResponse);
    }
    UA_ByteString_clear(&continuation);
    UA_NodeId_clear(&start);
    if (status != UA_STATUSCODE_GOOD) {
        clearIds();
        throw PlantAccessError("Cannot browse " + (nodeId.empty() ? std::string("Objects") : nodeId) + ": " +
                               StatusText(status));
    }
    if (nodes.empty()) return nodes;

    // Readable and writable: the access levels of the variables (the node's
    // and the user's), in one request.
    std::vector<std::size_t> variables;
    std::vector<UA_ReadValueId> reads;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].NodeClass != "Variable") continue;
        variables.push_back(i);
        for (UA_UInt32 attribute : {UA_ATTRIBUTEID_ACCESSLEVEL, UA_ATTRIBUTEID_USERACCESSLEVEL}) {
            UA_ReadValueId read;
            UA_ReadValueId_init(&read);
            read.nodeId = ids[i];
            read.attributeId = attribute;
            reads.push_back(read);
        }
    }
    if (!reads.empty()) {
        UA_ReadRequest read;
        UA_ReadRequest_init(&read);
        read.nodesToRead = reads.data();
        read.nodesToReadSize = reads.size();
        read.timestampsToReturn = UA_TIMESTAMPSTORETURN_NEITHER;
        UA_ReadResponse readResponse = UA_Client_Service_read(client, read);
        if (readResponse.responseHeader.serviceResult == UA_STATUSCODE_GOOD && readResponse.resultsSize == reads.size()) {
            auto level = [&](std::size_t k, bool& known) -> UA_Byte {
                const UA_DataValue& v = readResponse.results[k];
                known = v.hasValue && UA_Variant_hasScalarType(&v.value, &UA_TYPES[UA_TYPES_BYTE]) &&
                        (!v.hasStatus || v.status == UA_STATUSCODE_GOOD);
                return known ? *static_cast<const UA_Byte*>(v.value.data) : 0;
            };
            for (std::size_t k = 0; k < variables.size(); ++k) {
                bool knownNode = false, knownUser = false;
                UA_Byte access = level(2 * k, knownNode);
                const UA_Byte user = level(2 * k + 1, knownUser);
                if (knownUser) access &= user;
                BrowseNode& node = nodes[variables[k]];
                node.Readable = (access & UA_ACCESSLEVELMASK_READ) != 0;
                node.Writable = (access & UA_ACCESSLEVELMASK_WRITE) != 0;
            }
        }
        UA_ReadResponse_clear(&readResponse);
    }

    // Whether each child has children of its own: at most one reference each.
    std::vector<UA_BrowseDescription> children(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) children[i] = describe(ids[i]);
    UA_BrowseRequest childRequest;
    UA_BrowseRequest_init(&childRequest);
    childRequest.requestedMaxReferencesPerNode = 1;
    childRequest.nodesToBrowse = children.data();
    childRequest.nodesToBrowseSize = children.size();
    UA_BrowseResponse childResponse = UA_Client_Service_browse(client, childRequest);
    std::vector<UA_ByteString> open;
    if (childResponse.responseHeader.serviceResult == UA_STATUSCODE_GOOD && childResponse.resultsSize == nodes.size()) {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const UA_BrowseResult& result = childResponse.results[i];
            nodes[i].HasChildren = result.referencesSize > 0 || result.continuationPoint.length > 0;
            if (result.continuationPoint.length > 0) open.push_back(result.continuationPoint);
        }
    }
    if (!open.empty()) {
        // The server keeps continuation points until they are released.
        UA_BrowseNextRequest release;
        UA_BrowseNextRequest_init(&release);
        release.releaseContinuationPoints = true;
        release.continuationPoints = open.data();
        release.continuationPointsSize = open.size();
        UA_BrowseNextResponse released = UA_Client_Service_browseNext(client, release);
        UA_BrowseNextResponse_clear(&released);
    }
    UA_BrowseResponse_clear(&childResponse);
    clearIds();
    return nodes;
}

std::unique_ptr<PlantAccess> CreateOpcUaPlantAccess() { return std::make_unique<OpcUaPlantAccess>(); }

}  // namespace halvetra
