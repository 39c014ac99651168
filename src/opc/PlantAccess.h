#pragma once
// The plant connection: one client connection to the plant's OPC UA server,
// groups of items whose values the server keeps up to date, synchronous
// writes, and browsing of the server's address space. Everything runs on the
// window's thread; value updates arrive while the event loop runs (a caller
// that waits for a value keeps processing events).
//
// Every failure is raised as an exception derived from std::exception whose
// text the window shows; the layer never shows anything itself.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halvetra {

// An item of a group: its identifier (the node's text form, such as
// "ns=1;s=Loop.Y1"), its last value and quality as the server reported them.
struct PlantItem {
    std::string Id;
    double Value = 0.0;
    std::uint16_t Quality = 0;  // 0xC0 good, 0x40 uncertain, 0x00 bad
    std::string LastError;
};

// A group of items with its update rate and dead band.
struct PlantGroup {
    std::string Name;
    int UpdateRate = 1000;  // ms
    double DeadBand = 0.0;  // percent, 0 .. 100
    bool Active = true;
    std::vector<std::shared_ptr<PlantItem>> Items;
};

using ItemHandle = std::shared_ptr<PlantItem>;

// How to connect: the security of the channel and the user's identity.
struct ConnectionOptions {
    enum class Security { None, Sign, SignAndEncrypt };
    Security Mode = Security::None;  // Sign and SignAndEncrypt use Basic256Sha256
    std::string User;                // empty: anonymous
    std::string Password;
    int TimeoutMs = 5000;  // no connection or write waits longer
};

// One node of the server's address space as the item browser lists it.
struct BrowseNode {
    std::string Id;         // node identifier text
    std::string Name;       // display name
    std::string NodeClass;  // "Object", "Variable", "Method", ...
    bool Readable = false;  // a variable whose value the user may read
    bool Writable = false;  // a variable whose value the user may write
    bool HasChildren = false;
};

// A server certificate that no trusted certificate matches (secure
// connections only), as the user is asked about it.
struct ServerCertificate {
    std::string ServerUrl;
    std::string Subject;     // e.g. "C=DE, O=..., CN=..."
    std::string Thumbprint;  // SHA-1, upper-case hex pairs joined by ':'
    std::vector<std::uint8_t> Der;
};

// The user's answer: refuse the server, trust it for this connection only, or
// trust it from now on (the certificate is stored with the trusted ones).
enum class CertificateTrust { Reject, AcceptOnce, AcceptAlways };

class PlantAccess {
public:
    virtual ~PlantAccess() = default;

    // The servers the discovery server knows, and URLs typed before.
    virtual std::vector<std::string> ListServers() = 0;
    // Closes any connection first; raises an error and stays disconnected on failure.
    virtual void Connect(const std::string& server, const ConnectionOptions& options) = 0;
    // "running", "failed", "no config", "suspended", "test", or empty.
    virtual std::string ServerStateText() = 0;
    // Ends an active connection; the disconnected event fires.
    virtual void Disconnect() = 0;
    virtual bool IsConnected() const = 0;

    // A new group, created on the server whenever connected. Raises "Group %s
    // already exists" for a name already present.
    virtual PlantGroup& AddGroup(const std::string& name) = 0;
    virtual void SetDeadBand(PlantGroup& group, double percent) = 0;
    virtual void SetUpdateRate(PlantGroup& group, int milliseconds) = 0;
    virtual void ClearItems(PlantGroup& group) = 0;
    // Adds an item; when connected the server checks it at once and rejected
    // items raise "OPC Command:" with one line per rejected item.
    virtual ItemHandle AddItem(PlantGroup& group, const std::string& itemId) = 0;

    virtual double ReadValue(const ItemHandle& item) = 0;
    virtual bool QualityIsGood(const ItemHandle& item) = 0;
    // One synchronous write, converted to the node's own data type; a failed
    // write raises "Cannot write Items:". Without a connection nothing is written.
    virtual void WriteValue(const ItemHandle& item, double value) = 0;
    virtual void WriteValue(const ItemHandle& item, int value) = 0;
    // WriteValue that waits for the server at most `waitMs` (never longer
    // than the connection's timeout): for writes that must not hold up a
    // sampling loop. Plant accesses without a wait of their own just write.
    virtual void WriteValueWithin(const ItemHandle& item, double value, int waitMs) {
        (void)waitMs;
        WriteValue(item, value);
    }
    // Several items written in ONE request, each value converted to its own
    // node's data type; items and values pair up by position. Everything that
    // can be checked before sending (the connection, each node's type, the
    // conversion of each value, whether the node may be written) is checked
    // for all items first: a failure there writes nothing. Raises "Cannot
    // write Items:" with one line per refused item (see WriteItemsErrorText);
    // unlike WriteValue it also raises without a connection.
    virtual void WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>& values) = 0;

    // How long (ms) the server has left a question unanswered: large while it
    // hangs, even before the connection is given up; after the connection
    // ended, counted from the question it left unanswered then. 0 while it
    // answers, and for plant accesses that cannot tell. The samples of a run
    // taken since then are not the plant's.
    virtual std::int64_t ServerSilenceMs() { return 0; }

    // The children of a node; an empty id means the Objects folder. Raises
    // when not connected.
    virtual std::vector<BrowseNode> Browse(const std::string& nodeId) = 0;

    // The server of the present (or last) connection and the user it was
    // made as (empty: anonymous), for the write log.
    virtual std::string ServerUrl() const { return {}; }
    virtual std::string UserName() const { return {}; }

    // The disconnected event: an active connection ended, whatever the cause.
    std::function<void()> Disconnected;

    // Asked during Connect when the server presents a certificate that is not
    // trusted yet; unset, such a server is refused.
    std::function<CertificateTrust(const ServerCertificate&)> TrustServerCertificate;
};

// The real plant access over OPC UA (open62541), driven from the Qt event loop.
std::unique_ptr<PlantAccess> CreateOpcUaPlantAccess();

}  // namespace halvetra
