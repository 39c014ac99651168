// halvetra-plant's OPC UA server seen through a plain open62541 client: the
// items' types and access, the standard Write service's checks, the
// simulation behind the items, the endpoints, and the port. (Browsing,
// subscriptions and user names are covered by the integration tests through
// the product's own client.)
#include <gtest/gtest.h>

#include <open62541/client.h>
#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>
#include <open62541/plugin/log_stdout.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "plant/LoopItems.h"
#include "plant/PlantServer.h"

using namespace halvetra::plant;
using namespace std::chrono_literals;

namespace {

std::uint16_t freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

// A server running its loop on a thread of its own.
class RunningPlant {
public:
    explicit RunningPlant(PlantOptions options) : server_(options, 11) {
        server_.start();
        thread_ = std::thread([this] {
            while (!stop_) server_.iterate();
        });
    }
    ~RunningPlant() {
        stop_ = true;
        thread_.join();
        server_.stop();
    }
    std::string url() const { return server_.url(); }
    bool encrypted() const { return server_.encrypted(); }

private:
    PlantServer server_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct ClientDeleter {
    void operator()(UA_Client* c) const {
        UA_Client_disconnect(c);
        UA_Client_delete(c);
    }
};
using Client = std::unique_ptr<UA_Client, ClientDeleter>;

Client newClient(UA_MessageSecurityMode mode = UA_MESSAGESECURITYMODE_NONE) {
    UA_ClientConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = UA_Log_Stdout_new(UA_LOGLEVEL_FATAL);
    UA_ClientConfig_setDefault(&config);
    config.timeout = 5000;
    config.securityMode = mode;
    return Client(UA_Client_newWithConfig(&config));
}

UA_NodeId item(const char* id) { return UA_NODEID_STRING(1, const_cast<char*>(id)); }

UA_StatusCode writeDouble(UA_Client* c, const char* id, double value) {
    UA_Variant v;
    UA_Variant_setScalar(&v, &value, &UA_TYPES[UA_TYPES_DOUBLE]);
    return UA_Client_writeValueAttribute(c, item(id), &v);
}
UA_StatusCode writeInt32(UA_Client* c, const char* id, UA_Int32 value) {
    UA_Variant v;
    UA_Variant_setScalar(&v, &value, &UA_TYPES[UA_TYPES_INT32]);
    return UA_Client_writeValueAttribute(c, item(id), &v);
}
UA_StatusCode writeBoolean(UA_Client* c, const char* id, UA_Boolean value) {
    UA_Variant v;
    UA_Variant_setScalar(&v, &value, &UA_TYPES[UA_TYPES_BOOLEAN]);
    return UA_Client_writeValueAttribute(c, item(id), &v);
}

// The value as a double whatever its scalar type; throws when unreadable.
double read(UA_Client* c, const char* id) {
    UA_Variant v;
    UA_Variant_init(&v);
    const UA_StatusCode status = UA_Client_readValueAttribute(c, item(id), &v);
    bool known = status == UA_STATUSCODE_GOOD && UA_Variant_isScalar(&v);
    double result = 0.0;
    if (known && v.type == &UA_TYPES[UA_TYPES_DOUBLE])
        result = *static_cast<UA_Double*>(v.data);
    else if (known && v.type == &UA_TYPES[UA_TYPES_INT32])
        result = *static_cast<UA_Int32*>(v.data);
    else if (known && v.type == &UA_TYPES[UA_TYPES_BOOLEAN])
        result = *static_cast<UA_Boolean*>(v.data) ? 1.0 : 0.0;
    else
        known = false;
    UA_Variant_clear(&v);
    if (!known) throw std::runtime_error(std::string("cannot read ") + id + ": " + UA_StatusCode_name(status));
    return result;
}

// Waits up to the timeout for the condition, reading through the client.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

class PlantServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlantOptions options;
        options.port = freePort();
        options.speed = 20.0;  // one simulated second every 50 ms
        options.noise = 0.0;
        plant_ = std::make_unique<RunningPlant>(options);
        client_ = newClient();
        ASSERT_EQ(UA_Client_connect(client_.get(), plant_->url().c_str()), UA_STATUSCODE_GOOD);
    }
    void TearDown() override {
        client_.reset();
        plant_.reset();
    }
    UA_Client* client() { return client_.get(); }

    std::unique_ptr<RunningPlant> plant_;
    Client client_;
};

}  // namespace

TEST_F(PlantServerTest, ItemsAreTypedVariablesInNamespace1) {
    UA_Variant namespaces;
    UA_Variant_init(&namespaces);
    ASSERT_EQ(UA_Client_readValueAttribute(client(), UA_NODEID_NUMERIC(0, UA_NS0ID_SERVER_NAMESPACEARRAY), &namespaces),
              UA_STATUSCODE_GOOD);
    ASSERT_GE(namespaces.arrayLength, 2u);
    const UA_String* uris = static_cast<UA_String*>(namespaces.data);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(uris[1].data), uris[1].length), "urn:halvetra:plant");
    UA_Variant_clear(&namespaces);

    // Every item of the table as a variable of its kind, access and name.
    for (const ItemInfo& info : loopItems()) {
        SCOPED_TRACE(info.nodeId);
        UA_NodeId type;
        ASSERT_EQ(UA_Client_readDataTypeAttribute(client(), item(info.nodeId), &type), UA_STATUSCODE_GOOD);
        const UA_UInt32 expected = info.kind == ItemKind::Double  ? UA_NS0ID_DOUBLE
                                   : info.kind == ItemKind::Int32 ? UA_NS0ID_INT32
                                                                  : UA_NS0ID_BOOLEAN;
        EXPECT_TRUE(type.namespaceIndex == 0 && type.identifier.numeric == expected);
        UA_Byte access = 0;
        UA_Byte userAccess = 0;
        ASSERT_EQ(UA_Client_readAccessLevelAttribute(client(), item(info.nodeId), &access), UA_STATUSCODE_GOOD);
        ASSERT_EQ(UA_Client_readUserAccessLevelAttribute(client(), item(info.nodeId), &userAccess), UA_STATUSCODE_GOOD);
        EXPECT_TRUE(access & UA_ACCESSLEVELMASK_READ);
        EXPECT_EQ((access & UA_ACCESSLEVELMASK_WRITE) != 0, info.writable);
        EXPECT_EQ((userAccess & UA_ACCESSLEVELMASK_WRITE) != 0, info.writable);
        UA_LocalizedText name;
        ASSERT_EQ(UA_Client_readDisplayNameAttribute(client(), item(info.nodeId), &name), UA_STATUSCODE_GOOD);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name.text.data), name.text.length), info.name);
        UA_LocalizedText_clear(&name);
    }
}

TEST_F(PlantServerTest, WriteServiceChecksTypesAndAccess) {
    EXPECT_EQ(writeInt32(client(), "Loop1.MV1", 50), UA_STATUSCODE_BADTYPEMISMATCH);
    EXPECT_EQ(writeDouble(client(), "Loop1.Inner.MA", 1.0), UA_STATUSCODE_BADTYPEMISMATCH);
    EXPECT_EQ(writeBoolean(client(), "Loop1.Inner.P", true), UA_STATUSCODE_BADTYPEMISMATCH);
    EXPECT_EQ(writeDouble(client(), "Loop1.Y1", 1.0), UA_STATUSCODE_BADNOTWRITABLE);
    EXPECT_EQ(writeDouble(client(), "Loop1.U1", 1.0), UA_STATUSCODE_BADNOTWRITABLE);
    EXPECT_EQ(writeDouble(client(), "Loop1.Nothing", 1.0), UA_STATUSCODE_BADNODEIDUNKNOWN);
    EXPECT_DOUBLE_EQ(read(client(), "Loop1.MV1"), 40.0);

    EXPECT_EQ(writeDouble(client(), "Loop1.Inner.P", 2.5), UA_STATUSCODE_GOOD);
    EXPECT_DOUBLE_EQ(read(client(), "Loop1.Inner.P"), 2.5);
    // A value the loop refuses shows the loop's value again.
    EXPECT_EQ(writeInt32(client(), "Loop1.Inner.MA", 7), UA_STATUSCODE_GOOD);
    EXPECT_TRUE(eventually([&] { return read(client(), "Loop1.Inner.MA") == 0.0; }));
    EXPECT_EQ(writeDouble(client(), "Loop1.Inner.D", NAN), UA_STATUSCODE_GOOD);
    EXPECT_TRUE(eventually([&] { return read(client(), "Loop1.Inner.D") == 0.0; }));
}

TEST_F(PlantServerTest, ManualWritesDriveTheProcessAndAutomaticRegulatesIt) {
    EXPECT_DOUBLE_EQ(read(client(), "Loop1.Y1"), 60.0);
    ASSERT_EQ(writeDouble(client(), "Loop1.MV1", 60.0), UA_STATUSCODE_GOOD);
    EXPECT_DOUBLE_EQ(read(client(), "Loop1.MV1"), 60.0);
    EXPECT_TRUE(eventually([&] { return read(client(), "Loop1.U1") == 60.0; }));
    EXPECT_TRUE(eventually([&] { return read(client(), "Loop1.Y1") > 70.0; }));

    // Manual/automatic in the command style, then in the M/A style.
    ASSERT_EQ(writeBoolean(client(), "Loop1.Inner.Automatic", true), UA_STATUSCODE_GOOD);
    EXPECT_TRUE(eventually([&] { return read(client(), "Loop1.Inner.MA") == 1.0; }));
    EXPECT_EQ(read(client(), "Loop1.Inner.Manual"), 0.0);
    EXPECT_EQ(read(client(), "Loop1.Outer.MA"), 0.0);
    ASSERT_EQ(writeDouble(client(), "Loop1.Inner.Setpoint", 75.0), UA_STATUSCODE_GOOD);
    // Settled: Y1 on the set point with MV1 at the matching 75 / 1.5.
    EXPECT_TRUE(eventually(
        [&] {
            return std::abs(read(client(), "Loop1.Y1") - 75.0) < 0.2 &&
                   std::abs(read(client(), "Loop1.MV1") - 50.0) < 0.2;
        },
        15000ms));

    ASSERT_EQ(writeInt32(client(), "Loop1.Inner.MA", 0), UA_STATUSCODE_GOOD);
    EXPECT_TRUE(eventually([&] { return read(client(), "Loop1.Inner.Manual") == 1.0; }));
    EXPECT_EQ(read(client(), "Loop1.Inner.Automatic"), 0.0);
}

TEST(PlantServer, OffersSignedAndEncryptedEndpointsBesidesNone) {
    PlantOptions options;
    options.port = freePort();
    RunningPlant plant(options);
    if (!plant.encrypted()) GTEST_SKIP() << "open62541 built without encryption";

    Client client = newClient();
    std::size_t count = 0;
    UA_EndpointDescription* endpoints = nullptr;
    ASSERT_EQ(UA_Client_getEndpoints(client.get(), plant.url().c_str(), &count, &endpoints), UA_STATUSCODE_GOOD);
    std::set<std::pair<std::string, int>> offered;
    for (std::size_t i = 0; i < count; ++i) {
        const UA_String& policy = endpoints[i].securityPolicyUri;
        const std::string uri(reinterpret_cast<char*>(policy.data), policy.length);
        offered.insert({uri.substr(uri.find('#') + 1), endpoints[i].securityMode});
        EXPECT_GT(endpoints[i].serverCertificate.length, 0u);
    }
    UA_Array_delete(endpoints, count, &UA_TYPES[UA_TYPES_ENDPOINTDESCRIPTION]);
    const std::set<std::pair<std::string, int>> expected{{"None", UA_MESSAGESECURITYMODE_NONE},
                                                         {"Basic256Sha256", UA_MESSAGESECURITYMODE_SIGN},
                                                         {"Basic256Sha256", UA_MESSAGESECURITYMODE_SIGNANDENCRYPT}};
    EXPECT_EQ(offered, expected);
}

TEST(PlantServer, RefusesAPortThatIsInUse) {
    PlantOptions options;
    options.port = freePort();
    RunningPlant first(options);
    PlantServer second(options, 1);
    EXPECT_THROW(second.start(), std::runtime_error);
    // The first one still serves.
    Client client = newClient();
    EXPECT_EQ(UA_Client_connect(client.get(), first.url().c_str()), UA_STATUSCODE_GOOD);
}
