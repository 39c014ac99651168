// Writes to the plant's items, each value converted to its node's own data
// type (servers reject a mismatched type).
#include <open62541/client_highlevel.h>

#include <algorithm>
#include <cmath>

#include "opc/OpcUaSession.h"
#include "opc/OpcUaValues.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

using namespace opcua;

namespace {

// A refused item keeps the text as its last error.
void Refuse(const ItemHandle& item, const std::string& error, Rejections& refused) {
    item->LastError = error;
    refused.emplace_back(item->Id, error);
}

// One value for each item, and no item missing.
void CheckWriteArguments(const std::vector<ItemHandle>& items, const std::vector<double>& values) {
    if (items.size() != values.size())
        throw PlantAccessError("Cannot write Items: " + std::to_string(values.size()) + " values for " +
                               std::to_string(items.size()) + " items");
    for (const ItemHandle& item : items)
        if (!item) throw PlantAccessError("No OPC item given");
}

// The nodes and values of one write request, cleared with the list.
struct WriteList {
    std::vector<UA_WriteValue> writes;
    explicit WriteList(std::size_t count) : writes(count) {
        for (auto& w : writes) UA_WriteValue_init(&w);
    }
    WriteList(const WriteList&) = delete;
    WriteList& operator=(const WriteList&) = delete;
    ~WriteList() {
        for (auto& w : writes) UA_WriteValue_clear(&w);
    }
};

}  // namespace

const UA_DataType* OpcUaPlantAccess::Impl::TypeFromValue(const UA_NodeId& node) {
    UA_Variant value;
    UA_Variant_init(&value);
    const UA_DataType* type = nullptr;
    if (UA_Client_readValueAttribute(client, node, &value) == UA_STATUSCODE_GOOD && UA_Variant_isScalar(&value) &&
        IsNumericType(value.type))
        type = value.type;
    UA_Variant_clear(&value);
    return type;
}

UA_StatusCode OpcUaPlantAccess::Impl::WriteType(const UA_NodeId& node, const UA_DataType*& type) {
    UA_NodeId dataType;
    UA_NodeId_init(&dataType);
    const UA_StatusCode status = UA_Client_readDataTypeAttribute(client, node, &dataType);
    if (status != UA_STATUSCODE_GOOD) return status;
    const UA_DataType* found = UA_findDataType(&dataType);
    UA_NodeId_clear(&dataType);
    type = IsNumericType(found) ? found : TypeFromValue(node);
    return UA_STATUSCODE_GOOD;
}

std::string OpcUaPlantAccess::Impl::Write(const UA_NodeId& node, const UA_DataType* type, double value) {
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

std::string OpcUaPlantAccess::Impl::PrepareWrite(const ItemHandle& item, double value, UA_WriteValue& write) {
    ItemState* state = Find(item.get());
    UA_NodeId& node = write.nodeId;
    if (state != nullptr && state->parsed) {
        UA_NodeId_copy(&state->node, &node);
    } else if (!ParseNodeId(item->Id, node)) {
        return StatusText(UA_STATUSCODE_BADNODEIDINVALID);
    }
    const UA_DataType* type = state != nullptr ? state->type : nullptr;
    if (type == nullptr) {
        const UA_StatusCode status = WriteType(node, type);
        if (status != UA_STATUSCODE_GOOD) return StatusText(status);
        if (state != nullptr) state->type = type;
    }
    // Never meant for a plant, whatever the node's type would take.
    if (!std::isfinite(value)) return "the value is not a finite number";
    std::string error;
    if (!NumberToVariant(value, type, write.value.value, error)) return error;
    write.attributeId = UA_ATTRIBUTEID_VALUE;
    write.value.hasValue = true;
    return {};
}

void OpcUaPlantAccess::Impl::CheckWriteAccess(const std::vector<ItemHandle>& items,
                                              const std::vector<UA_WriteValue>& writes, Rejections& refused) {
    const std::size_t n = items.size();
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
    UA_ReadResponse response = UA_Client_Service_read(client, request);
    UA_StatusCode service = response.responseHeader.serviceResult;
    if (service == UA_STATUSCODE_GOOD && response.resultsSize != n) service = UA_STATUSCODE_BADUNEXPECTEDERROR;
    for (std::size_t i = 0; i < n; ++i) {
        if (service != UA_STATUSCODE_GOOD) {
            Refuse(items[i], StatusText(service), refused);
            continue;
        }
        const UA_DataValue& level = response.results[i];
        const UA_StatusCode status = level.hasStatus ? level.status : UA_STATUSCODE_GOOD;
        if (status != UA_STATUSCODE_GOOD)
            Refuse(items[i], StatusText(status), refused);
        else if (level.hasValue && UA_Variant_hasScalarType(&level.value, &UA_TYPES[UA_TYPES_BYTE]) &&
                 (*static_cast<const UA_Byte*>(level.value.data) & UA_ACCESSLEVELMASK_WRITE) == 0)
            Refuse(items[i], StatusText(UA_STATUSCODE_BADNOTWRITABLE), refused);
    }
    UA_ReadResponse_clear(&response);
}

void OpcUaPlantAccess::Impl::SendWrites(const std::vector<ItemHandle>& items, std::vector<UA_WriteValue>& writes) {
    const std::size_t n = items.size();
    UA_WriteRequest request;
    UA_WriteRequest_init(&request);
    request.nodesToWrite = writes.data();
    request.nodesToWriteSize = n;
    UA_WriteResponse response = UA_Client_Service_write(client, request);
    UA_StatusCode service = response.responseHeader.serviceResult;
    if (service == UA_STATUSCODE_GOOD && response.resultsSize != n) service = UA_STATUSCODE_BADUNEXPECTEDERROR;
    Rejections refused;
    std::vector<std::string> written;
    for (std::size_t i = 0; i < n; ++i) {
        const UA_StatusCode status = service != UA_STATUSCODE_GOOD ? service : response.results[i];
        if (status == UA_STATUSCODE_GOOD) {
            items[i]->LastError.clear();
            written.push_back(items[i]->Id);
        } else {
            Refuse(items[i], StatusText(status), refused);
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
    CheckWriteArguments(items, values);
    if (items.empty()) return;
    Rejections refused;
    if (!IsConnected()) {
        for (const ItemHandle& item : items) refused.emplace_back(item->Id, StatusText(UA_STATUSCODE_BADNOTCONNECTED));
        throw PlantAccessError(WriteItemsErrorText(refused));
    }

    // Each node, its type and the converted value; nothing is sent while any fails.
    WriteList list(items.size());
    std::vector<UA_WriteValue>& writes = list.writes;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string error = d_->PrepareWrite(items[i], values[i], writes[i]);
        if (!error.empty()) Refuse(items[i], error, refused);
    }
    if (!refused.empty()) throw PlantAccessError(WriteItemsErrorText(refused));

    // Whether the user may write each node: a read-only node refuses here,
    // before any other node of the request is written.
    d_->CheckWriteAccess(items, writes, refused);
    if (!refused.empty()) throw PlantAccessError(WriteItemsErrorText(refused));

    // The write itself: one request with all nodes.
    d_->SendWrites(items, writes);
}

}  // namespace halvetra
