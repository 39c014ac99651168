#include "plant/PlantServer.h"

#include <open62541/plugin/accesscontrol_default.h>
#include <open62541/plugin/create_certificate.h>
#include <open62541/plugin/log.h>
#include <open62541/server.h>
#include <open62541/server_config_default.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <variant>

#include "plant/CascadeLoop.h"
#include "plant/LoopItems.h"

namespace halvetra::plant {

namespace {

constexpr const char* kBasic256Sha256Uri = "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256";
constexpr const char* kNoneUri = "http://opcfoundation.org/UA/SecurityPolicy#None";

// Below this interval the timer costs more than the steps it runs; faster
// speeds take several steps per tick instead.
constexpr double kMinimumTickMs = 5.0;
// After a stall (the process stopped, a debugger) the backlog is dropped
// rather than replayed: the plant goes on from where it stood.
constexpr int kMaximumStepsPerTick = 4000;

// The library's errors go to standard error; standard output carries nothing
// but the "listening" line. Its warnings (one per refused login, per client
// certificate accepted, ...) are left out: a test that starts the server and
// never reads its standard error must not fill the pipe.
void logToStandardError(void*, UA_LogLevel level, UA_LogCategory, const char* message, va_list args) {
    if (level < UA_LOGLEVEL_ERROR) return;
    std::fputs("halvetra-plant: error: ", stderr);
    std::vfprintf(stderr, message, args);
    std::fputc('\n', stderr);
}

UA_Logger standardErrorLogger{logToStandardError, nullptr, nullptr};

UA_String text(const char* s) { return UA_STRING(const_cast<char*>(s)); }

void check(UA_StatusCode status, const char* what) {
    if (status != UA_STATUSCODE_GOOD) throw std::runtime_error(std::string(what) + ": " + UA_StatusCode_name(status));
}

void setString(UA_String& target, const char* value) {
    UA_String_clear(&target);
    target = UA_STRING_ALLOC(value);
}

void setText(UA_LocalizedText& target, const char* value) {
    UA_LocalizedText_clear(&target);
    target = UA_LOCALIZEDTEXT_ALLOC("en", value);
}

// Cleans a configuration that never made it into a server.
struct ConfigGuard {
    UA_ServerConfig* config;
    bool owned = true;
    ~ConfigGuard() {
        if (owned) UA_ServerConfig_clean(config);
    }
};

// The library opens its listening socket so that several servers may share
// a port, and the kernel would then hand each new connection to one of them
// at random. Refuse a port that anything else holds already; a plain bind
// fails for that even when the holder allows sharing.
void ensurePortIsFree(std::uint16_t port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0) return;  // the server's own attempt will report the problem
    const int one = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);  // closing connections do not count
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool inUse =
        ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno == EADDRINUSE;
    ::close(probe);
    if (inUse) throw std::runtime_error("Cannot listen on port " + std::to_string(port) + ": the port is in use");
}

// With a user name required, only that user name and password log in. The
// default access control would also take any client certificate as an
// identity (certificates are not checked on loopback), so certificate
// tokens are neither offered nor accepted then.
using ActivateSession = decltype(UA_AccessControl::activateSession);
ActivateSession passwordOnlyNext = nullptr;

UA_StatusCode activatePasswordOnly(UA_Server* server, UA_AccessControl* ac, const UA_EndpointDescription* endpoint,
                                   const UA_ByteString* channelCertificate, const UA_NodeId* sessionId,
                                   const UA_ExtensionObject* token, void** sessionContext) {
    if (token->encoding >= UA_EXTENSIONOBJECT_DECODED &&
        token->content.decoded.type == &UA_TYPES[UA_TYPES_X509IDENTITYTOKEN])
        return UA_STATUSCODE_BADIDENTITYTOKENREJECTED;
    return passwordOnlyNext(server, ac, endpoint, channelCertificate, sessionId, token, sessionContext);
}

void restrictToPasswords(UA_AccessControl& ac) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < ac.userTokenPoliciesSize; ++i) {
        if (ac.userTokenPolicies[i].tokenType == UA_USERTOKENTYPE_CERTIFICATE)
            UA_UserTokenPolicy_clear(&ac.userTokenPolicies[i]);
        else
            ac.userTokenPolicies[kept++] = ac.userTokenPolicies[i];
    }
    ac.userTokenPoliciesSize = kept;
    passwordOnlyNext = ac.activateSession;
    ac.activateSession = activatePasswordOnly;
}

#ifdef UA_ENABLE_ENCRYPTION
// A fresh self-signed certificate whose URI matches the application URI.
// Made at every start: clients on loopback are expected to trust it as
// offered (the server accepts any client certificate in turn).
bool createCertificate(UA_ByteString& certificate, UA_ByteString& privateKey) {
    UA_String subject[] = {text("CN=halvetra-plant"), text("O=Halvetra")};
    std::string uri = std::string("URI:") + kPlantNamespaceUri;
    UA_String alternativeNames[] = {text(uri.c_str()), text("DNS:localhost"), text("IP:127.0.0.1")};
    UA_KeyValueMap* parameters = UA_KeyValueMap_new();
    UA_UInt16 keyBits = 2048;  // 4096 would take seconds at every start
    UA_UInt16 days = 365;
    UA_KeyValueMap_setScalar(parameters, UA_QUALIFIEDNAME(0, const_cast<char*>("key-size-bits")), &keyBits,
                             &UA_TYPES[UA_TYPES_UINT16]);
    UA_KeyValueMap_setScalar(parameters, UA_QUALIFIEDNAME(0, const_cast<char*>("expires-in-days")), &days,
                             &UA_TYPES[UA_TYPES_UINT16]);
    const UA_StatusCode status = UA_CreateCertificate(&standardErrorLogger, subject, 2, alternativeNames, 3,
                                                      UA_CERTIFICATEFORMAT_DER, parameters, &privateKey, &certificate);
    UA_KeyValueMap_delete(parameters);
    return status == UA_STATUSCODE_GOOD;
}
#endif

}  // namespace

struct PlantServer::Impl {
    struct Binding {
        Impl* owner = nullptr;
        ItemId id{};
        bool dirty = true;  // the node may not show the loop's value
        ItemValue last{};
        bool failed = false;  // shows Bad quality (--bad-quality) from now on
    };

    Impl(const PlantOptions& opts, std::uint32_t seed) : options(opts), loop(loopSettings(opts, seed)) {
        for (std::size_t i = 0; i < kItemCount; ++i)
            bindings[i] = Binding{this, static_cast<ItemId>(i), true, {}, false};
    }

    // True when the binding's sensor has failed by now (--bad-quality).
    bool sensorFailed(const Binding& binding) const {
        if (options.badItem.empty() || options.badItem != itemInfo(binding.id).nodeId) return false;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count() >= options.badAfter;
    }
    ~Impl() {
        stop();
        if (server) UA_Server_delete(server);
    }

    static CascadeLoopSettings loopSettings(const PlantOptions& opts, std::uint32_t seed) {
        CascadeLoopSettings settings;
        settings.noiseSigma = opts.noise;
        if (opts.outerIntegrating) makeOuterALevel(settings);
        settings.seed = seed;
        return settings;
    }

    std::string url() const { return "opc.tcp://127.0.0.1:" + std::to_string(options.port); }

    UA_NodeId nodeId(const char* identifier) const {
        return UA_NODEID_STRING(namespaceIndex, const_cast<char*>(identifier));
    }

    void configure();
    void buildAddressSpace();
    void start();
    void stop();
    void tick();
    void publish();
    void takeWrite(Binding& binding, const UA_NumericRange* range, const UA_DataValue* data);

    PlantOptions options;
    CascadeLoop loop;
    std::array<Binding, kItemCount> bindings{};
    UA_Server* server = nullptr;
    UA_UInt16 namespaceIndex = 1;
    bool encrypted = false;
    bool started = false;
    bool publishing = false;     // our own writes are not client writes
    bool writesRefused = false;  // --refuse-writes has taken effect
    std::chrono::steady_clock::time_point lastTick{};
    std::chrono::steady_clock::time_point startTime{};
    double pendingSeconds = 0.0;
};

namespace {

void onTick(UA_Server*, void* data) { static_cast<PlantServer::Impl*>(data)->tick(); }

void onItemWritten(UA_Server*, const UA_NodeId*, void*, const UA_NodeId*, void* nodeContext,
                   const UA_NumericRange* range, const UA_DataValue* data) {
    auto* binding = static_cast<PlantServer::Impl::Binding*>(nodeContext);
    if (binding && binding->owner && !binding->owner->publishing) binding->owner->takeWrite(*binding, range, data);
}

}  // namespace

void PlantServer::Impl::configure() {
    UA_ServerConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = &standardErrorLogger;
    ConfigGuard guard{&config};
    check(UA_ServerConfig_setBasics_withPort(&config, options.port), "Cannot configure the server");

    // Loopback only: the server opens its sockets for the URLs listed here.
    UA_Array_delete(config.serverUrls, config.serverUrlsSize, &UA_TYPES[UA_TYPES_STRING]);
    config.serverUrls = static_cast<UA_String*>(UA_Array_new(1, &UA_TYPES[UA_TYPES_STRING]));
    if (!config.serverUrls) throw std::runtime_error("Cannot configure the server: out of memory");
    config.serverUrls[0] = UA_STRING_ALLOC(url().c_str());
    config.serverUrlsSize = 1;

    setString(config.applicationDescription.applicationUri, kPlantNamespaceUri);
    setString(config.applicationDescription.productUri, "urn:halvetra");
    setText(config.applicationDescription.applicationName, "Halvetra plant simulator");
    setString(config.buildInfo.productUri, "urn:halvetra");
    setString(config.buildInfo.productName, "halvetra-plant");
    setString(config.buildInfo.manufacturerName, "Halvetra");

    // Clients may sample as fast as the simulation steps at high speeds.
    config.samplingIntervalLimits.min = 5.0;
    config.publishingIntervalLimits.min = 10.0;

#ifdef UA_ENABLE_ENCRYPTION
    UA_ByteString certificate = UA_BYTESTRING_NULL;
    UA_ByteString privateKey = UA_BYTESTRING_NULL;
    if (createCertificate(certificate, privateKey)) {
        check(UA_ServerConfig_addSecurityPolicyNone(&config, &certificate), "Cannot add security policy None");
        encrypted =
            UA_ServerConfig_addSecurityPolicyBasic256Sha256(&config, &certificate, &privateKey) == UA_STATUSCODE_GOOD;
    } else {
        check(UA_ServerConfig_addSecurityPolicyNone(&config, nullptr), "Cannot add security policy None");
    }
    UA_ByteString_clear(&certificate);
    UA_ByteString_clear(&privateKey);
#else
    check(UA_ServerConfig_addSecurityPolicyNone(&config, nullptr), "Cannot add security policy None");
#endif
    if (!encrypted)
        std::fputs("halvetra-plant: warning: no encryption available, offering security None only\n", stderr);
    check(UA_ServerConfig_addAllEndpoints(&config), "Cannot add the endpoints");

    // A user name and password replace anonymous access. On loopback the
    // password may also travel over an unsigned channel; clients that can
    // encrypt it with the server's certificate still do.
    UA_String tokenPolicy = text(encrypted ? kBasic256Sha256Uri : kNoneUri);
    if (options.user.empty()) {
        check(UA_AccessControl_default(&config, true, &tokenPolicy, 0, nullptr), "Cannot set up access control");
    } else {
        UA_UsernamePasswordLogin login{text(options.user.c_str()), text(options.password.c_str())};
        check(UA_AccessControl_default(&config, false, &tokenPolicy, 1, &login), "Cannot set up access control");
        restrictToPasswords(config.accessControl);
        config.allowNonePolicyPassword = true;
    }

    server = UA_Server_newWithConfig(&config);
    guard.owned = false;  // the server owns the configuration now, or cleaned it on failure
    if (!server) throw std::runtime_error("Cannot create the server");

    namespaceIndex = UA_Server_addNamespace(server, kPlantNamespaceUri);
    if (namespaceIndex != 1) throw std::runtime_error("The plant's namespace did not get index 1");
}

void PlantServer::Impl::buildAddressSpace() {
    for (const FolderInfo& folder : loopFolders()) {
        UA_ObjectAttributes attributes = UA_ObjectAttributes_default;
        attributes.displayName = UA_LOCALIZEDTEXT(const_cast<char*>("en"), const_cast<char*>(folder.name));
        attributes.description = UA_LOCALIZEDTEXT(const_cast<char*>("en"), const_cast<char*>(folder.description));
        const bool top = folder.parentId == nullptr;
        check(UA_Server_addObjectNode(server, nodeId(folder.nodeId),
                                      top ? UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER) : nodeId(folder.parentId),
                                      UA_NODEID_NUMERIC(0, top ? UA_NS0ID_ORGANIZES : UA_NS0ID_HASCOMPONENT),
                                      UA_QUALIFIEDNAME(namespaceIndex, const_cast<char*>(folder.name)),
                                      UA_NODEID_NUMERIC(0, UA_NS0ID_BASEOBJECTTYPE), attributes, nullptr, nullptr),
              folder.nodeId);
    }

    for (Binding& binding : bindings) {
        const ItemInfo& item = itemInfo(binding.id);
        const ItemValue value = readItem(loop, binding.id);
        UA_VariableAttributes attributes = UA_VariableAttributes_default;
        UA_Double d = 0.0;
        UA_Int32 i = 0;
        UA_Boolean b = false;
        const UA_DataType* type = nullptr;
        switch (item.kind) {
        case ItemKind::Double:
            d = std::get<double>(value);
            type = &UA_TYPES[UA_TYPES_DOUBLE];
            UA_Variant_setScalar(&attributes.value, &d, type);
            break;
        case ItemKind::Int32:
            i = std::get<std::int32_t>(value);
            type = &UA_TYPES[UA_TYPES_INT32];
            UA_Variant_setScalar(&attributes.value, &i, type);
            break;
        case ItemKind::Boolean:
            b = std::get<bool>(value);
            type = &UA_TYPES[UA_TYPES_BOOLEAN];
            UA_Variant_setScalar(&attributes.value, &b, type);
            break;
        }
        attributes.dataType = type->typeId;
        attributes.valueRank = UA_VALUERANK_SCALAR;
        const bool writable = item.writable && std::find(options.readOnlyItems.begin(), options.readOnlyItems.end(),
                                                         std::string(item.nodeId)) == options.readOnlyItems.end();
        attributes.accessLevel = UA_ACCESSLEVELMASK_READ | (writable ? UA_ACCESSLEVELMASK_WRITE : 0);
        attributes.userAccessLevel = attributes.accessLevel;
        attributes.displayName = UA_LOCALIZEDTEXT(const_cast<char*>("en"), const_cast<char*>(item.name));
        attributes.description = UA_LOCALIZEDTEXT(const_cast<char*>("en"), const_cast<char*>(item.description));
        check(UA_Server_addVariableNode(
                  server, nodeId(item.nodeId), nodeId(item.folderId), UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
                  UA_QUALIFIEDNAME(namespaceIndex, const_cast<char*>(item.name)),
                  UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE), attributes, &binding, nullptr),
              item.nodeId);
        binding.last = value;
        binding.dirty = false;
        if (item.writable) {
            UA_ValueCallback callback{nullptr, onItemWritten};
            check(UA_Server_setVariableNode_valueCallback(server, nodeId(item.nodeId), callback), item.nodeId);
        }
    }
}

void PlantServer::Impl::start() {
    if (started) return;
    ensurePortIsFree(options.port);
    const UA_StatusCode status = UA_Server_run_startup(server);
    if (status != UA_STATUSCODE_GOOD)
        throw std::runtime_error("Cannot listen on " + url() + ": " + UA_StatusCode_name(status));
    started = true;
    lastTick = std::chrono::steady_clock::now();
    startTime = lastTick;
    pendingSeconds = 0.0;
    const double interval = std::max(loop.settings().stepSeconds * 1000.0 / options.speed, kMinimumTickMs);
    check(UA_Server_addRepeatedCallback(server, onTick, this, interval, nullptr), "Cannot start the simulation");
}

void PlantServer::Impl::stop() {
    if (!started) return;
    started = false;
    UA_Server_run_shutdown(server);
}

void PlantServer::Impl::tick() {
    const auto now = std::chrono::steady_clock::now();
    if (!options.refuseItem.empty() && !writesRefused &&
        std::chrono::duration<double>(now - startTime).count() >= options.refuseAfter) {
        // Without write access the server answers every client write with BadNotWritable.
        writesRefused = UA_Server_writeAccessLevel(server, nodeId(options.refuseItem.c_str()),
                                                   UA_ACCESSLEVELMASK_READ) == UA_STATUSCODE_GOOD;
    }
    pendingSeconds += std::chrono::duration<double>(now - lastTick).count() * options.speed;
    lastTick = now;
    const double step = loop.settings().stepSeconds;
    int steps = 0;
    while (pendingSeconds >= step && steps < kMaximumStepsPerTick) {
        loop.step();
        pendingSeconds -= step;
        ++steps;
    }
    if (pendingSeconds >= step) pendingSeconds = 0.0;
    publish();
}

void PlantServer::Impl::publish() {
    publishing = true;
    for (Binding& binding : bindings) {
        if (binding.failed) continue;  // a failed sensor keeps its last value with Bad quality
        const ItemValue value = readItem(loop, binding.id);
        const bool failing = sensorFailed(binding);
        if (!failing && !binding.dirty && value == binding.last) continue;
        UA_Variant variant;
        UA_Variant_init(&variant);
        UA_Double d = 0.0;
        UA_Int32 i = 0;
        UA_Boolean b = false;
        if (const double* v = std::get_if<double>(&value)) {
            d = *v;
            UA_Variant_setScalar(&variant, &d, &UA_TYPES[UA_TYPES_DOUBLE]);
        } else if (const std::int32_t* v = std::get_if<std::int32_t>(&value)) {
            i = *v;
            UA_Variant_setScalar(&variant, &i, &UA_TYPES[UA_TYPES_INT32]);
        } else {
            b = std::get<bool>(value);
            UA_Variant_setScalar(&variant, &b, &UA_TYPES[UA_TYPES_BOOLEAN]);
        }
        if (failing) {
            UA_DataValue bad;
            UA_DataValue_init(&bad);
            bad.value = variant;  // shallow: the scalar lives on this stack frame
            bad.hasValue = true;
            bad.status = UA_STATUSCODE_BADSENSORFAILURE;
            bad.hasStatus = true;
            binding.failed =
                UA_Server_writeDataValue(server, nodeId(itemInfo(binding.id).nodeId), bad) == UA_STATUSCODE_GOOD;
            continue;
        }
        if (UA_Server_writeValue(server, nodeId(itemInfo(binding.id).nodeId), variant) == UA_STATUSCODE_GOOD) {
            binding.last = value;
            binding.dirty = false;
        }
    }
    publishing = false;
}

void PlantServer::Impl::takeWrite(Binding& binding, const UA_NumericRange* range, const UA_DataValue* data) {
    // Whatever the client wrote, the node shows the loop's value again at the
    // next update: the value itself when the loop took it.
    binding.dirty = true;
    if (range || !data || !data->hasValue || !UA_Variant_isScalar(&data->value) || !data->value.data) return;
    const UA_DataType* type = data->value.type;
    if (type == &UA_TYPES[UA_TYPES_DOUBLE])
        writeItem(loop, binding.id, *static_cast<const UA_Double*>(data->value.data));
    else if (type == &UA_TYPES[UA_TYPES_INT32])
        writeItem(loop, binding.id, std::int32_t{*static_cast<const UA_Int32*>(data->value.data)});
    else if (type == &UA_TYPES[UA_TYPES_BOOLEAN])
        writeItem(loop, binding.id, bool{*static_cast<const UA_Boolean*>(data->value.data)});
}

PlantServer::PlantServer(const PlantOptions& options, std::uint32_t seed)
    : impl_(std::make_unique<Impl>(options, seed)) {
    impl_->configure();
    impl_->buildAddressSpace();
}

PlantServer::~PlantServer() = default;

void PlantServer::start() { impl_->start(); }

void PlantServer::iterate() {
    if (impl_->started) UA_Server_run_iterate(impl_->server, true);
}

void PlantServer::stop() { impl_->stop(); }

std::string PlantServer::url() const { return impl_->url(); }

bool PlantServer::encrypted() const { return impl_->encrypted; }

}  // namespace halvetra::plant
