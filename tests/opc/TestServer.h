#pragma once
// An OPC UA server inside the test process, iterated in its own thread on a
// free loopback port, with one object "T" of variables of several data types;
// optionally with Basic256Sha256 security. Also a listener that accepts
// connections and never answers; the waits and the free port come from
// common/ServerTesting.h.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <open62541/plugin/create_certificate.h>
#include <open62541/plugin/pki_default.h>
#include <open62541/server.h>
#include <open62541/server_config_default.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "../common/ServerTesting.h"

namespace testing_opc {

using testing_common::ErrorOf;
using testing_common::FreeLoopbackPort;
using testing_common::ProcessEventsFor;
using testing_common::WaitFor;

// The Qt application the plant access needs for its timer.
inline void EnsureApplication() { testing_common::EnsureApplication("halvetra-opc-tests"); }

// Accepts TCP connections (the kernel does) and never says a word.
class SilentListener {
public:
    SilentListener() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(socket_, 8) != 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(socket_); }
    std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }

private:
    int socket_ = -1;
    std::uint16_t port_ = 0;
};

inline void QuietLog(void*, UA_LogLevel, UA_LogCategory, const char*, va_list) {}
inline UA_Logger QuietServerLogger = {QuietLog, nullptr, nullptr};

struct ServerCertificateFiles {
    UA_ByteString certificate = UA_BYTESTRING_NULL;
    UA_ByteString key = UA_BYTESTRING_NULL;
};

inline constexpr const char* TestServerUri = "urn:halvetra:test-server";

// One certificate for all secure test servers of the process.
inline const ServerCertificateFiles& TestServerCertificate() {
    static ServerCertificateFiles files = [] {
        ServerCertificateFiles f;
        UA_String subject[] = {UA_STRING_STATIC("CN=Test Server"), UA_STRING_STATIC("O=Halvetra Tests")};
        UA_String names[] = {UA_STRING_STATIC("URI:urn:halvetra:test-server"), UA_STRING_STATIC("DNS:localhost")};
        UA_KeyValueMap* parameters = UA_KeyValueMap_new();
        UA_UInt16 bits = 2048;
        UA_KeyValueMap_setScalar(parameters, UA_QUALIFIEDNAME(0, const_cast<char*>("key-size-bits")), &bits,
                                 &UA_TYPES[UA_TYPES_UINT16]);
        if (UA_CreateCertificate(&QuietServerLogger, subject, 2, names, 2, UA_CERTIFICATEFORMAT_DER, parameters, &f.key,
                                 &f.certificate) != UA_STATUSCODE_GOOD)
            throw std::runtime_error("cannot create the test server's certificate");
        UA_KeyValueMap_delete(parameters);
        return f;
    }();
    return files;
}

class TestServer {
public:
    // Secure: Basic256Sha256 Sign and SignAndEncrypt besides None.
    explicit TestServer(bool secure = false) : port_(FreeLoopbackPort()) {
        UA_ServerConfig config;
        std::memset(&config, 0, sizeof config);
        config.logging = &QuietServerLogger;
        UA_StatusCode status;
        if (secure) {
            const auto& files = TestServerCertificate();
            status = UA_ServerConfig_setDefaultWithSecurityPolicies(&config, port_, &files.certificate, &files.key,
                                                                    nullptr, 0, nullptr, 0, nullptr, 0);
            UA_String_clear(&config.applicationDescription.applicationUri);
            config.applicationDescription.applicationUri = UA_STRING_ALLOC(TestServerUri);
            config.secureChannelPKI.clear(&config.secureChannelPKI);
            UA_CertificateVerification_AcceptAll(&config.secureChannelPKI);
        } else {
            status = UA_ServerConfig_setMinimal(&config, port_, nullptr);
        }
        if (status != UA_STATUSCODE_GOOD) throw std::runtime_error("cannot configure the test server");
        UA_Array_delete(config.serverUrls, config.serverUrlsSize, &UA_TYPES[UA_TYPES_STRING]);
        config.serverUrls = UA_String_new();
        *config.serverUrls = UA_STRING_ALLOC(Url().c_str());
        config.serverUrlsSize = 1;
        config.publishingIntervalLimits.min = 10.0;
        config.samplingIntervalLimits.min = 10.0;
        server_ = UA_Server_newWithConfig(&config);
        AddNodes();
        UA_Server_run_startup(server_);
        running_ = true;
        // Short naps rather than the library's own wait, so that stopping is quick.
        thread_ = std::thread([this] {
            while (running_) {
                UA_Server_run_iterate(server_, false);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }

    ~TestServer() { Stop(); }

    void Stop() {
        if (server_ == nullptr) return;
        running_ = false;
        thread_.join();
        UA_Server_run_shutdown(server_);
        UA_Server_delete(server_);
        server_ = nullptr;
    }

    std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }

    void SetDouble(const char* name, double value) {
        UA_Variant v;
        UA_Variant_setScalar(&v, &value, &UA_TYPES[UA_TYPES_DOUBLE]);
        UA_Server_writeValue(server_, UA_NODEID_STRING(1, const_cast<char*>(name)), v);
    }

    // The node's value, which must be of the given type.
    template <typename T>
    T GetAs(const char* name, const UA_DataType* type) {
        UA_Variant v;
        UA_Server_readValue(server_, UA_NODEID_STRING(1, const_cast<char*>(name)), &v);
        const bool ok = UA_Variant_hasScalarType(&v, type);
        const T value = ok ? *static_cast<T*>(v.data) : T{};
        UA_Variant_clear(&v);
        if (!ok) throw std::runtime_error(std::string("unexpected type at ") + name);
        return value;
    }

private:
    template <typename T>
    void AddVariable(const char* name, T value, const UA_DataType* type, bool writable,
                     UA_NodeId dataType = UA_NODEID_NULL) {
        UA_VariableAttributes attributes = UA_VariableAttributes_default;
        UA_Variant_setScalar(&attributes.value, &value, type);
        attributes.dataType = UA_NodeId_isNull(&dataType) ? type->typeId : dataType;
        attributes.accessLevel = UA_ACCESSLEVELMASK_READ | (writable ? UA_ACCESSLEVELMASK_WRITE : 0);
        attributes.userAccessLevel = attributes.accessLevel;
        attributes.displayName = UA_LOCALIZEDTEXT(const_cast<char*>("en-US"), const_cast<char*>(name + 2));
        UA_Server_addVariableNode(server_, UA_NODEID_STRING(1, const_cast<char*>(name)), object_,
                                  UA_NODEID_NUMERIC(0, UA_NS0ID_HASCOMPONENT),
                                  UA_QUALIFIEDNAME(1, const_cast<char*>(name + 2)),
                                  UA_NODEID_NUMERIC(0, UA_NS0ID_BASEDATAVARIABLETYPE), attributes, nullptr, nullptr);
    }

    void AddNodes() {
        UA_ObjectAttributes object = UA_ObjectAttributes_default;
        object.displayName = UA_LOCALIZEDTEXT(const_cast<char*>("en-US"), const_cast<char*>("T"));
        UA_Server_addObjectNode(server_, object_, UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER),
                                UA_NODEID_NUMERIC(0, UA_NS0ID_ORGANIZES), UA_QUALIFIEDNAME(1, const_cast<char*>("T")),
                                UA_NODEID_NUMERIC(0, UA_NS0ID_BASEOBJECTTYPE), object, nullptr, nullptr);
        AddVariable<UA_Double>("T.Double", 1.5, &UA_TYPES[UA_TYPES_DOUBLE], true);
        AddVariable<UA_Float>("T.Float", 0.25f, &UA_TYPES[UA_TYPES_FLOAT], true);
        AddVariable<UA_Int32>("T.Int32", 7, &UA_TYPES[UA_TYPES_INT32], true);
        AddVariable<UA_UInt16>("T.UInt16", 3, &UA_TYPES[UA_TYPES_UINT16], true);
        AddVariable<UA_Boolean>("T.Bool", false, &UA_TYPES[UA_TYPES_BOOLEAN], true);
        AddVariable<UA_Double>("T.ReadOnly", 42.0, &UA_TYPES[UA_TYPES_DOUBLE], false);
        AddVariable<UA_Double>("T.Number", 3.0, &UA_TYPES[UA_TYPES_DOUBLE], true,
                               UA_NODEID_NUMERIC(0, UA_NS0ID_NUMBER));
        AddVariable<UA_Double>("T.Ranged", 50.0, &UA_TYPES[UA_TYPES_DOUBLE], true);
        UA_String text = UA_STRING_STATIC("text");
        AddVariable<UA_String>("T.Text", text, &UA_TYPES[UA_TYPES_STRING], true);

        // The range a percent dead band of T.Ranged refers to.
        UA_Range range{0.0, 100.0};
        UA_VariableAttributes property = UA_VariableAttributes_default;
        UA_Variant_setScalar(&property.value, &range, &UA_TYPES[UA_TYPES_RANGE]);
        property.dataType = UA_TYPES[UA_TYPES_RANGE].typeId;
        UA_Server_addVariableNode(server_, UA_NODEID_STRING(1, const_cast<char*>("T.Ranged.EURange")),
                                  UA_NODEID_STRING(1, const_cast<char*>("T.Ranged")),
                                  UA_NODEID_NUMERIC(0, UA_NS0ID_HASPROPERTY),
                                  UA_QUALIFIEDNAME(0, const_cast<char*>("EURange")),
                                  UA_NODEID_NUMERIC(0, UA_NS0ID_PROPERTYTYPE), property, nullptr, nullptr);
    }

    std::uint16_t port_;
    UA_Server* server_ = nullptr;
    UA_NodeId object_ = UA_NODEID_STRING(1, const_cast<char*>("T"));
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace testing_opc
