#pragma once
// The plant access of a program that has no client for the plant's server:
// groups and items exist (the windows create them at start-up), but there is
// nothing to connect to, so every item stays without a good value and nothing
// is ever written.
#include <list>

#include "opc/PlantAccess.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

class UnavailablePlantAccess final : public PlantAccess {
public:
    static constexpr const char* Reason = "Cannot connect: no plant connection available.";

    std::vector<std::string> ListServers() override { return {}; }
    void Connect(const std::string&, const ConnectionOptions&) override { throw PlantAccessError(Reason); }
    std::string ServerStateText() override { return {}; }
    void Disconnect() override {}
    bool IsConnected() const override { return false; }

    PlantGroup& AddGroup(const std::string& name) override {
        for (const PlantGroup& group : groups_)
            if (group.Name == name) throw PlantAccessError("Group " + name + " already exists");
        PlantGroup& group = groups_.emplace_back();
        group.Name = name;
        return group;
    }
    void SetDeadBand(PlantGroup& group, double percent) override {
        group.DeadBand = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    }
    void SetUpdateRate(PlantGroup& group, int milliseconds) override { group.UpdateRate = milliseconds; }
    void ClearItems(PlantGroup& group) override { group.Items.clear(); }
    ItemHandle AddItem(PlantGroup& group, const std::string& itemId) override {
        auto item = std::make_shared<PlantItem>();
        item->Id = itemId;
        group.Items.push_back(item);
        return item;
    }

    double ReadValue(const ItemHandle& item) override { return item ? item->Value : 0.0; }
    bool QualityIsGood(const ItemHandle&) override { return false; }
    void WriteValue(const ItemHandle&, double) override {}
    void WriteValue(const ItemHandle&, int) override {}
    // A command that must write several items together is told that nothing was written.
    void WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>&) override {
        std::vector<std::pair<std::string, std::string>> refused;
        for (const ItemHandle& item : items) refused.emplace_back(item ? item->Id : std::string(), NotConnectedStatus);
        throw PlantAccessError(WriteItemsErrorText(refused));
    }
    std::vector<BrowseNode> Browse(const std::string&) override { throw PlantAccessError(Reason); }

private:
    std::list<PlantGroup> groups_;
};

}  // namespace halvetra
