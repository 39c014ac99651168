// Groups and their items on the server: a group is a subscription, its items
// are monitored items, and their data changes set the items' values and
// qualities.
#include <open62541/client_highlevel.h>
#include <open62541/client_subscriptions.h>

#include <algorithm>
#include <cmath>

#include "opc/OpcUaSession.h"
#include "opc/OpcUaValues.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

using namespace opcua;

namespace {

bool IsFilterRefusal(UA_StatusCode status) {
    return status == UA_STATUSCODE_BADMONITOREDITEMFILTERUNSUPPORTED || status == UA_STATUSCODE_BADFILTERNOTALLOWED ||
           status == UA_STATUSCODE_BADDEADBANDFILTERINVALID || status == UA_STATUSCODE_BADMONITOREDITEMFILTERINVALID;
}

}  // namespace

void OpcUaPlantAccess::Impl::DataChanged(UA_Client*, UA_UInt32, void*, UA_UInt32, void* context, UA_DataValue* value) {
    auto* state = static_cast<ItemState*>(context);
    if (state == nullptr || !state->item || value == nullptr) return;
    ApplyDataValue(*value, state->item->Value, state->item->Quality);
}

GroupState& OpcUaPlantAccess::Impl::Find(const PlantGroup& group) {
    for (auto& g : groups)
        if (g->group.get() == &group) return *g;
    throw PlantAccessError("Group " + group.Name + " does not belong to this connection");
}

ItemState* OpcUaPlantAccess::Impl::Find(const PlantItem* item) {
    for (auto& g : groups)
        for (auto& s : g->items)
            if (s->item.get() == item) return s.get();
    return nullptr;
}

void OpcUaPlantAccess::Impl::Reject(ItemState& s, const std::string& text, Rejections& rejected) {
    s.item->LastError = text;
    s.item->Quality = 0x00;
    rejected.emplace_back(s.item->Id, text);
}

std::vector<ItemState*> OpcUaPlantAccess::Impl::ResolveTypes(const std::vector<ItemState*>& items,
                                                             Rejections& rejected) {
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
    if (service == UA_STATUSCODE_GOOD && response.resultsSize != reads.size())
        service = UA_STATUSCODE_BADUNEXPECTEDERROR;
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

std::vector<ItemState*> OpcUaPlantAccess::Impl::CreateMonitoredItems(GroupState& g,
                                                                     const std::vector<ItemState*>& items,
                                                                     bool withFilter, Rejections& rejected) {
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
    if (service == UA_STATUSCODE_GOOD && response.resultsSize != items.size())
        service = UA_STATUSCODE_BADUNEXPECTEDERROR;
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

void OpcUaPlantAccess::Impl::AttachItems(GroupState& g, const std::vector<ItemState*>& items, Rejections& rejected) {
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

bool OpcUaPlantAccess::Impl::CreateSubscription(GroupState& g, Rejections& rejected) {
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

void OpcUaPlantAccess::Impl::CreateOnServer(GroupState& g, Rejections& rejected) {
    if (!CreateSubscription(g, rejected)) return;
    std::vector<ItemState*> pending;
    for (auto& s : g.items)
        if (s->monitoredId == 0) pending.push_back(s.get());
    AttachItems(g, pending, rejected);
}

void OpcUaPlantAccess::Impl::Recreate(GroupState& g) {
    if (!active || client == nullptr || g.subscriptionId == 0) return;
    UA_Client_Subscriptions_deleteSingle(client, g.subscriptionId);
    g.subscriptionId = 0;
    for (auto& s : g.items) s->monitoredId = 0;
    Rejections rejected;
    CreateOnServer(g, rejected);
}

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

}  // namespace halvetra
