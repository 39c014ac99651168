#pragma once
// The plant access over OPC UA (open62541), driven from the Qt event loop.
//
// While connected, a timer iterates the client every few milliseconds, so the
// data changes of the groups' subscriptions reach the items between window
// messages. Connecting and writing wait for the server at most the
// connection's timeout; connecting keeps the window painting meanwhile (it
// processes events, user input excepted).
//
// Mapping onto OPC UA:
// - group: a subscription whose publishing interval is the update rate; its
//   items are monitored items sampled at the update rate. A dead band above 0
//   is a percent dead band (of the node's EURange); a node the server refuses
//   such a filter for is monitored without one, so that it still reports every
//   change.
// - item: a node of the server given by its identifier text; the node's data
//   type is read when the item reaches the server, and every write converts
//   the value to it.
// - quality: 0xC0 for a Good status, 0x40 Uncertain, 0x00 Bad (also after the
//   connection ended, and for a value that is not a number).
// - items that a connection made later finds rejected keep the server's text
//   in LastError and a bad quality; only AddItem raises "OPC Command:".
//
// The configuration folder (by default the "Halvetra" folder of the user's
// configuration location) keeps the certificates (see OpcUaCertificates.h)
// and the list of servers connected to before (servers.txt).
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "opc/PlantAccess.h"

struct UA_Client;

namespace halvetra {

// A value read directly with the Read service.
struct NodeReading {
    std::string Id;
    double Value = 0.0;
    std::uint16_t Quality = 0;
    std::string Error;  // the server's text for a node that gave no value
};

class OpcUaPlantAccess : public QObject, public PlantAccess {
    Q_OBJECT
public:
    static constexpr const char* DefaultDiscoveryUrl = "opc.tcp://localhost:4840";

    // An empty configuration folder means the default one.
    explicit OpcUaPlantAccess(const QString& configFolder = QString(), QObject* parent = nullptr);
    ~OpcUaPlantAccess() override;

    std::vector<std::string> ListServers() override;
    void Connect(const std::string& server, const ConnectionOptions& options) override;
    std::string ServerStateText() override;
    void Disconnect() override;
    bool IsConnected() const override;

    PlantGroup& AddGroup(const std::string& name) override;
    void SetDeadBand(PlantGroup& group, double percent) override;
    void SetUpdateRate(PlantGroup& group, int milliseconds) override;
    void ClearItems(PlantGroup& group) override;
    ItemHandle AddItem(PlantGroup& group, const std::string& itemId) override;

    double ReadValue(const ItemHandle& item) override;
    bool QualityIsGood(const ItemHandle& item) override;
    void WriteValue(const ItemHandle& item, double value) override;
    void WriteValue(const ItemHandle& item, int value) override;
    void WriteValueWithin(const ItemHandle& item, double value, int waitMs) override;
    // One Read of the nodes' user access levels, then one Write request with
    // all nodes; see PlantAccess::WriteValues.
    void WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>& values) override;

    std::vector<BrowseNode> Browse(const std::string& nodeId) override;

    // The client asks the server for its time every 200 ms; this is how long
    // the oldest such question has gone unanswered (0 while the server
    // answers). After the connection ended: how long since its last question
    // went unanswered (0 when all were answered).
    std::int64_t ServerSilenceMs() override;
    std::string ServerUrl() const override { return serverUrl_; }
    std::string UserName() const override { return userName_; }

    // The current values of nodes, read with one Read request (not through a
    // subscription). Raises when not connected.
    std::vector<NodeReading> ReadNodes(const std::vector<std::string>& nodeIds);
    // One synchronous write to a node, converted to its data type; raises
    // "Cannot write Items:" when it fails or when not connected.
    void WriteNode(const std::string& nodeId, double value);

    // Where ListServers asks for servers, and how long it waits there.
    void setDiscoveryUrl(const std::string& url) { discoveryUrl_ = url; }
    void setDiscoveryTimeout(int milliseconds) { discoveryTimeoutMs_ = milliseconds; }
    // Why the last ListServers found nothing at the discovery server (it did
    // not answer, or refused the request); empty when it answered.
    const std::string& discoveryError() const { return discoveryError_; }
    // Whether a connection adds its server to the list of servers used
    // before. The window keeps that list; a command-line tool turns it off so
    // that scripts do not fill the user's list.
    void setRememberServers(bool remember) { rememberServers_ = remember; }
    // How often the client is iterated while connected.
    static constexpr int IterateIntervalMs = 5;

    const QString& configFolder() const { return configFolder_; }
    // The user's configuration folder of the program.
    static QString DefaultConfigFolder();

private:
    struct Impl;
    friend struct Impl;

    void iterate();
    void handleConnectionLost(unsigned generation);

    QString configFolder_;
    std::string serverUrl_;  // of the last connection made
    std::string userName_;
    std::string discoveryUrl_ = DefaultDiscoveryUrl;
    int discoveryTimeoutMs_ = 2000;
    std::string discoveryError_;
    bool rememberServers_ = true;
    QTimer iterateTimer_;
    std::unique_ptr<Impl> d_;
};

}  // namespace halvetra
