#pragma once
// A plant connection played by the test: the servers it lists, whether and
// how a connection succeeds, the state text, the qualities its items report,
// an address space to browse; it records what the program asked of it.
#include <algorithm>
#include <cmath>
#include <functional>
#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "experiment/Clock.h"
#include "opc/PlantAccess.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

class FakePlantAccess final : public PlantAccess {
public:
    struct Write {
        std::string id;
        double value;
        bool integer;
        bool operator==(const Write&) const = default;
    };

    // --- What the test sets ---
    std::vector<std::string> servers;
    std::string connectError;  // Connect raises this text when not empty
    std::string state = "running";
    std::set<std::string> rejected;  // item identifiers the server refuses
    // Quality checks answered bad before the items report good (while connected).
    int badChecksBeforeGood = 0;
    // Each quality check moves this clock on, as time passes in a real wait.
    ManualClock* clock = nullptr;
    std::int64_t millisecondsPerCheck = 100;
    std::function<void()> duringQualityCheck;                     // runs inside each quality check
    std::map<std::string, std::vector<BrowseNode>> addressSpace;  // children by node id ("" = Objects)
    std::set<std::string> badQuality;                             // items whose quality is bad while connected
    // Items a write of several items refuses, with the server's text; as the
    // real client checks before sending, such a request writes nothing.
    std::map<std::string, std::string> refusedWrites;
    // The values the server holds, by item: an item added reports its value,
    // a write of several items changes them.
    std::map<std::string, double> values;

    // --- What the program did ---
    bool connected = false;
    std::vector<std::string> connects;
    ConnectionOptions lastOptions;
    int disconnects = 0;
    std::vector<std::string> log;  // "clear G", "add G id"
    std::vector<Write> writes;
    int writeRequests = 0;  // requests of several items that reached the server
    std::vector<std::string> browsed;
    int qualityChecks = 0;

    // The server ends the connection.
    void dropConnection() {
        connected = false;
        if (Disconnected) Disconnected();
    }
    const PlantGroup* group(const std::string& name) const {
        for (const PlantGroup& g : groups_)
            if (g.Name == name) return &g;
        return nullptr;
    }

    std::vector<std::string> ListServers() override { return servers; }
    void Connect(const std::string& server, const ConnectionOptions& options) override {
        if (connected) Disconnect();
        connects.push_back(server);
        lastOptions = options;
        if (!connectError.empty()) throw PlantAccessError(connectError);
        connected = true;
    }
    std::string ServerStateText() override { return state; }
    void Disconnect() override {
        ++disconnects;
        if (connected) dropConnection();
    }
    bool IsConnected() const override { return connected; }

    PlantGroup& AddGroup(const std::string& name) override {
        if (group(name)) throw PlantAccessError("Group " + name + " already exists");
        PlantGroup& g = groups_.emplace_back();
        g.Name = name;
        return g;
    }
    void SetDeadBand(PlantGroup& g, double percent) override { g.DeadBand = std::clamp(percent, 0.0, 100.0); }
    void SetUpdateRate(PlantGroup& g, int milliseconds) override { g.UpdateRate = milliseconds; }
    void ClearItems(PlantGroup& g) override {
        log.push_back("clear " + g.Name);
        g.Items.clear();
    }
    ItemHandle AddItem(PlantGroup& g, const std::string& itemId) override {
        log.push_back("add " + g.Name + " " + itemId);
        if (connected && rejected.count(itemId))
            throw PlantAccessError("OPC Command:\n" + itemId + ": The node id refers to a node that does not exist.");
        auto item = std::make_shared<PlantItem>();
        item->Id = itemId;
        if (const auto it = values.find(itemId); it != values.end()) item->Value = it->second;
        g.Items.push_back(item);
        return item;
    }

    double ReadValue(const ItemHandle& item) override { return item->Value; }
    bool QualityIsGood(const ItemHandle& item) override {
        ++qualityChecks;
        if (clock) clock->advance(millisecondsPerCheck);
        if (duringQualityCheck) duringQualityCheck();
        if (!connected || rejected.count(item->Id) || badQuality.count(item->Id)) return false;
        if (badChecksBeforeGood > 0) {
            --badChecksBeforeGood;
            return false;
        }
        return true;
    }
    void WriteValue(const ItemHandle& item, double value) override {
        if (connected) writes.push_back({item->Id, value, false});
    }
    void WriteValue(const ItemHandle& item, int value) override {
        if (connected) writes.push_back({item->Id, double(value), true});
    }
    void WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>& values) override {
        std::vector<std::pair<std::string, std::string>> refused;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const ItemHandle& item = items[i];
            if (!connected)
                refused.emplace_back(item->Id, NotConnectedStatus);
            else if (!std::isfinite(values.at(i)))
                refused.emplace_back(item->Id, "the value is not a finite number");
            else if (const auto it = refusedWrites.find(item->Id); it != refusedWrites.end())
                refused.emplace_back(item->Id, it->second);
        }
        if (!refused.empty()) throw PlantAccessError(WriteItemsErrorText(refused));
        ++writeRequests;
        for (std::size_t i = 0; i < items.size(); ++i) {
            writes.push_back({items[i]->Id, values.at(i), false});
            this->values[items[i]->Id] = items[i]->Value = values.at(i);
        }
    }

    std::string ServerUrl() const override { return connects.empty() ? std::string() : connects.back(); }
    std::string UserName() const override { return lastOptions.User; }

    std::vector<BrowseNode> Browse(const std::string& nodeId) override {
        if (!connected) throw PlantAccessError("Not connected");
        browsed.push_back(nodeId);
        const auto it = addressSpace.find(nodeId);
        return it == addressSpace.end() ? std::vector<BrowseNode>{} : it->second;
    }

private:
    std::list<PlantGroup> groups_;  // references stay valid
};

}  // namespace halvetra
