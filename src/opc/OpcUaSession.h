#pragma once
// The inside of OpcUaPlantAccess, shared by its source files and by no one
// else: the client and its connection state, the groups and items as the
// connection knows them, and the helpers its parts have in common.
//
//   OpcUaPlantAccess.cpp        making, watching and ending the connection
//   OpcUaLog.cpp                where the library's log goes
//   OpcUaCallbacks.cpp          the client's session and certificate-trust callbacks
//   OpcUaGroups.cpp             groups, items and their subscriptions
//   OpcUaWrites.cpp             writes converted to the node's data type
//   OpcUaNodeServices.cpp       direct reads, writes and browsing by node
//   OpcUaRememberedServers.cpp  the list of servers connected to before
//   OpcUaDiscovery.cpp          the servers a discovery server knows
#include <open62541/client.h>
#include <open62541/plugin/log.h>

#include <QByteArray>
#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "opc/OpcUaPlantAccess.h"

namespace halvetra {

namespace opcua {

using SteadyClock = std::chrono::steady_clock;

// How often a connected client asks the server for its time, so that
// ServerSilenceMs() stays small while the server answers.
inline constexpr int ProbeIntervalMs = 200;

// The library's log: to standard error when HALVETRA_OPC_LOG is set, else nowhere.
extern UA_Logger QuietLogger;

inline int MillisecondsLeft(SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Keeps the window painting while a connection is made; user input waits.
inline void ProcessPendingEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// The bytes as the library's byte string, without a copy.
inline UA_ByteString ByteView(const QByteArray& bytes) {
    UA_ByteString b;
    b.length = static_cast<size_t>(bytes.size());
    b.data = reinterpret_cast<UA_Byte*>(const_cast<char*>(bytes.constData()));
    return b;
}

inline QByteArray ToByteArray(const UA_ByteString& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data), static_cast<int>(bytes.length));
}

// The server certificates of one connection attempt: the trusted ones pass,
// any other is refused and kept so that the user can be asked about it.
struct TrustContext {
    UA_CertificateVerification original;  // the library's, for the URI check and the subject
    std::vector<QByteArray> trusted;
    QByteArray refused;
    std::string refusedSubject;
};

// Replaces the configuration's certificate check by one that passes exactly
// the `trusted` certificates. The configuration owns the returned context
// and frees it with the client.
TrustContext* TrustOnlyKnownCertificates(UA_ClientConfig& config, std::vector<QByteArray> trusted);

// A server certificate that no trusted one matched.
struct Refusal {
    QByteArray Der;
    std::string Subject;
};

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

// Items the server refused, each with the server's text.
using Rejections = std::vector<std::pair<std::string, std::string>>;

}  // namespace opcua

struct OpcUaPlantAccess::Impl {
    using SteadyClock = opcua::SteadyClock;
    using ItemState = opcua::ItemState;
    using GroupState = opcua::GroupState;
    using Rejections = opcua::Rejections;

    explicit Impl(OpcUaPlantAccess& owner) : self(owner) {}

    OpcUaPlantAccess& self;
    UA_Client* client = nullptr;
    opcua::TrustContext* trust = nullptr;  // owned by the client's configuration
    bool active = false;                   // the session is activated and not lost
    bool connecting = false;
    bool cancelConnect = false;
    bool closing = false;  // the client is being closed on purpose
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
    SteadyClock::time_point lastProbe{};
    bool probePending = false;
    std::optional<SteadyClock::time_point> silentSince;

    // ---- callbacks of the client (OpcUaCallbacks.cpp) ----

    static Impl* Of(UA_Client* client) { return static_cast<Impl*>(UA_Client_getContext(client)); }
    static void StateChanged(UA_Client* client, UA_SecureChannelState channel, UA_SessionState session,
                             UA_StatusCode status);
    // The server left a check read unanswered: it hangs or the network is gone.
    static void Inactive(UA_Client* client);
    // The probe's answer, or its failure once the client gives it up.
    static void ProbeAnswered(UA_Client* client, void*, UA_UInt32, UA_StatusCode status, UA_DataValue*);
    // The session is gone: the client is closed later, outside its own callback.
    void MarkLost();

    // ---- connection (OpcUaPlantAccess.cpp) ----

    // Asks the server for its current time every ProbeIntervalMs while connected.
    void Probe();
    UA_StatusCode ConfigureClient(UA_ClientConfig& config, const ConnectionOptions& options,
                                  const QByteArray& acceptedOnce);
    void DeleteClient(UA_Client* c);
    // One attempt; the client is kept only when its session is activated.
    // `refused` gets a server certificate that was not trusted.
    UA_StatusCode ConnectOnce(const std::string& url, const ConnectionOptions& options, const QByteArray& acceptedOnce,
                              opcua::Refusal& refused);
    // Closes the client; items keep their values with a bad quality.
    void Close();
    void FireDisconnected();

    // ---- groups and items on the server (OpcUaGroups.cpp) ----

    static void DataChanged(UA_Client*, UA_UInt32, void*, UA_UInt32, void* context, UA_DataValue* value);
    GroupState& Find(const PlantGroup& group);
    ItemState* Find(const PlantItem* item);
    static void Reject(ItemState& s, const std::string& text, Rejections& rejected);
    // Reads the data types of the items in one request; items whose node the
    // server does not know are rejected and left out of the result.
    std::vector<ItemState*> ResolveTypes(const std::vector<ItemState*>& items, Rejections& rejected);
    // Creates the monitored items in one request; with a dead band each
    // carries a percent dead-band filter. Returns the items the server
    // refused the filter for.
    std::vector<ItemState*> CreateMonitoredItems(GroupState& g, const std::vector<ItemState*>& items, bool withFilter,
                                                 Rejections& rejected);
    void AttachItems(GroupState& g, const std::vector<ItemState*>& items, Rejections& rejected);
    bool CreateSubscription(GroupState& g, Rejections& rejected);
    // The group's subscription and every item not on the server yet.
    void CreateOnServer(GroupState& g, Rejections& rejected);
    // A changed update rate or dead band: the group is made again on the server.
    void Recreate(GroupState& g);

    // ---- writes (OpcUaWrites.cpp) ----

    // The data type a number written to the node is converted to: the node's
    // DataType attribute, or for an abstract one (Number, BaseDataType) the
    // type of its current value. Null when neither is a numeric type.
    const UA_DataType* TypeFromValue(const UA_NodeId& node);
    // The data type of a node for a write; 0 status when found.
    UA_StatusCode WriteType(const UA_NodeId& node, const UA_DataType*& type);
    // Writes the number, converted to `type`; empty on success, else the error text.
    std::string Write(const UA_NodeId& node, const UA_DataType* type, double value);
    // The phases of WriteValues. PrepareWrite fills `write` with the item's
    // node and the value converted to the node's type; empty on success, else
    // the error text. CheckWriteAccess refuses the nodes the user may not
    // write. SendWrites writes all nodes in one request and raises "Cannot
    // write Items:" for any the server refused.
    std::string PrepareWrite(const ItemHandle& item, double value, UA_WriteValue& write);
    void CheckWriteAccess(const std::vector<ItemHandle>& items, const std::vector<UA_WriteValue>& writes,
                          Rejections& refused);
    void SendWrites(const std::vector<ItemHandle>& items, std::vector<UA_WriteValue>& writes);

    // ---- remembered servers (OpcUaRememberedServers.cpp) ----

    QString RememberedPath() const;
    void LoadRemembered();
    void Remember(const std::string& url);
};

}  // namespace halvetra
