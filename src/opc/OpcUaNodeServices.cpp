// The services that reach nodes by their identifiers, outside any group: the
// diagnostic read and write of the command line, and the browsing of the
// server's address space for the item browser.
#include <open62541/client_highlevel.h>

#include "opc/OpcUaSession.h"
#include "opc/OpcUaValues.h"
#include "opc/PlantAccessError.h"

namespace halvetra {

using namespace opcua;

namespace {

// Copies of node identifiers, cleared with the list.
struct OwnedNodeIds {
    std::vector<UA_NodeId> ids;
    OwnedNodeIds() = default;
    OwnedNodeIds(const OwnedNodeIds&) = delete;
    OwnedNodeIds& operator=(const OwnedNodeIds&) = delete;
    ~OwnedNodeIds() {
        for (auto& id : ids) UA_NodeId_clear(&id);
    }
};

// The hierarchical references forward from a node.
UA_BrowseDescription DescribeChildren(const UA_NodeId& node) {
    UA_BrowseDescription description;
    UA_BrowseDescription_init(&description);
    description.nodeId = node;
    description.browseDirection = UA_BROWSEDIRECTION_FORWARD;
    description.referenceTypeId = UA_NODEID_NUMERIC(0, UA_NS0ID_HIERARCHICALREFERENCES);
    description.includeSubtypes = true;
    description.resultMask = UA_BROWSERESULTMASK_ALL;
    return description;
}

// The nodes of this server that a browse result refers to, with a copy of each identifier.
void TakeReferences(const UA_BrowseResult& result, std::vector<BrowseNode>& nodes, OwnedNodeIds& ids) {
    for (size_t i = 0; i < result.referencesSize; ++i) {
        const UA_ReferenceDescription& reference = result.references[i];
        if (reference.nodeId.serverIndex != 0) continue;  // a node of another server
        BrowseNode node;
        node.Id = NodeIdText(reference.nodeId.nodeId);
        node.Name = ToStdString(reference.displayName.text);
        if (node.Name.empty()) node.Name = ToStdString(reference.browseName.name);
        node.NodeClass = NodeClassText(reference.nodeClass);
        nodes.push_back(node);
        UA_NodeId copy;
        UA_NodeId_copy(&reference.nodeId.nodeId, &copy);
        ids.ids.push_back(copy);
    }
}

// The children of `start`, following continuation points until all are there.
UA_StatusCode BrowseChildren(UA_Client* client, const UA_NodeId& start, std::vector<BrowseNode>& nodes,
                             OwnedNodeIds& ids) {
    UA_BrowseDescription description = DescribeChildren(start);
    UA_BrowseRequest request;
    UA_BrowseRequest_init(&request);
    request.nodesToBrowse = &description;
    request.nodesToBrowseSize = 1;
    UA_BrowseResponse response = UA_Client_Service_browse(client, request);
    UA_StatusCode status = response.responseHeader.serviceResult;
    if (status == UA_STATUSCODE_GOOD)
        status = response.resultsSize == 1 ? response.results[0].statusCode : UA_STATUSCODE_BADUNEXPECTEDERROR;
    UA_ByteString continuation = UA_BYTESTRING_NULL;
    if (status == UA_STATUSCODE_GOOD) {
        TakeReferences(response.results[0], nodes, ids);
        UA_ByteString_copy(&response.results[0].continuationPoint, &continuation);
    }
    UA_BrowseResponse_clear(&response);
    while (status == UA_STATUSCODE_GOOD && continuation.length > 0) {
        UA_BrowseNextRequest next;
        UA_BrowseNextRequest_init(&next);
        next.continuationPoints = &continuation;
        next.continuationPointsSize = 1;
        UA_BrowseNextResponse nextResponse = UA_Client_Service_browseNext(client, next);
        UA_ByteString_clear(&continuation);
        status = nextResponse.responseHeader.serviceResult;
        if (status == UA_STATUSCODE_GOOD)
            status =
                nextResponse.resultsSize == 1 ? nextResponse.results[0].statusCode : UA_STATUSCODE_BADUNEXPECTEDERROR;
        if (status == UA_STATUSCODE_GOOD) {
            TakeReferences(nextResponse.results[0], nodes, ids);
            UA_ByteString_copy(&nextResponse.results[0].continuationPoint, &continuation);
        }
        UA_BrowseNextResponse_clear(&nextResponse);
    }
    UA_ByteString_clear(&continuation);
    return status;
}

// An access level of a read result; `known` when the server gave one.
UA_Byte AccessLevel(const UA_DataValue& v, bool& known) {
    known = v.hasValue && UA_Variant_hasScalarType(&v.value, &UA_TYPES[UA_TYPES_BYTE]) &&
            (!v.hasStatus || v.status == UA_STATUSCODE_GOOD);
    return known ? *static_cast<const UA_Byte*>(v.value.data) : 0;
}

// Readable and writable: the access levels of the variables (the node's and
// the user's), in one request. Nodes the server gives no answer for stay
// neither.
void MarkAccessLevels(UA_Client* client, std::vector<BrowseNode>& nodes, const OwnedNodeIds& ids) {
    std::vector<std::size_t> variables;
    std::vector<UA_ReadValueId> reads;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].NodeClass != "Variable") continue;
        variables.push_back(i);
        for (UA_UInt32 attribute : {UA_ATTRIBUTEID_ACCESSLEVEL, UA_ATTRIBUTEID_USERACCESSLEVEL}) {
            UA_ReadValueId read;
            UA_ReadValueId_init(&read);
            read.nodeId = ids.ids[i];
            read.attributeId = attribute;
            reads.push_back(read);
        }
    }
    if (reads.empty()) return;
    UA_ReadRequest read;
    UA_ReadRequest_init(&read);
    read.nodesToRead = reads.data();
    read.nodesToReadSize = reads.size();
    read.timestampsToReturn = UA_TIMESTAMPSTORETURN_NEITHER;
    UA_ReadResponse readResponse = UA_Client_Service_read(client, read);
    if (readResponse.responseHeader.serviceResult == UA_STATUSCODE_GOOD && readResponse.resultsSize == reads.size()) {
        for (std::size_t k = 0; k < variables.size(); ++k) {
            bool knownNode = false, knownUser = false;
            UA_Byte access = AccessLevel(readResponse.results[2 * k], knownNode);
            const UA_Byte user = AccessLevel(readResponse.results[2 * k + 1], knownUser);
            if (knownUser) access &= user;
            BrowseNode& node = nodes[variables[k]];
            node.Readable = (access & UA_ACCESSLEVELMASK_READ) != 0;
            node.Writable = (access & UA_ACCESSLEVELMASK_WRITE) != 0;
        }
    }
    UA_ReadResponse_clear(&readResponse);
}

// Whether each node has children of its own: at most one reference each,
// and the continuation points the server keeps for the rest released.
void MarkHasChildren(UA_Client* client, std::vector<BrowseNode>& nodes, const OwnedNodeIds& ids) {
    std::vector<UA_BrowseDescription> children(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) children[i] = DescribeChildren(ids.ids[i]);
    UA_BrowseRequest childRequest;
    UA_BrowseRequest_init(&childRequest);
    childRequest.requestedMaxReferencesPerNode = 1;
    childRequest.nodesToBrowse = children.data();
    childRequest.nodesToBrowseSize = children.size();
    UA_BrowseResponse childResponse = UA_Client_Service_browse(client, childRequest);
    std::vector<UA_ByteString> open;
    if (childResponse.responseHeader.serviceResult == UA_STATUSCODE_GOOD && childResponse.resultsSize == nodes.size()) {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const UA_BrowseResult& result = childResponse.results[i];
            nodes[i].HasChildren = result.referencesSize > 0 || result.continuationPoint.length > 0;
            if (result.continuationPoint.length > 0) open.push_back(result.continuationPoint);
        }
    }
    if (!open.empty()) {
        // The server keeps continuation points until they are released.
        UA_BrowseNextRequest release;
        UA_BrowseNextRequest_init(&release);
        release.releaseContinuationPoints = true;
        release.continuationPoints = open.data();
        release.continuationPointsSize = open.size();
        UA_BrowseNextResponse released = UA_Client_Service_browseNext(client, release);
        UA_BrowseNextResponse_clear(&released);
    }
    UA_BrowseResponse_clear(&childResponse);
}

}  // namespace

std::vector<NodeReading> OpcUaPlantAccess::ReadNodes(const std::vector<std::string>& nodeIds) {
    if (!IsConnected()) throw PlantAccessError("Not connected to an OPC server");
    std::vector<NodeReading> readings(nodeIds.size());
    std::vector<UA_NodeId> nodes(nodeIds.size());
    std::vector<UA_ReadValueId> reads;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < nodeIds.size(); ++i) {
        readings[i].Id = nodeIds[i];
        if (!ParseNodeId(nodeIds[i], nodes[i])) {
            readings[i].Error = StatusText(UA_STATUSCODE_BADNODEIDINVALID);
            continue;
        }
        UA_ReadValueId read;
        UA_ReadValueId_init(&read);
        read.nodeId = nodes[i];
        read.attributeId = UA_ATTRIBUTEID_VALUE;
        reads.push_back(read);
        index.push_back(i);
    }
    if (!reads.empty()) {
        UA_ReadRequest request;
        UA_ReadRequest_init(&request);
        request.nodesToRead = reads.data();
        request.nodesToReadSize = reads.size();
        request.timestampsToReturn = UA_TIMESTAMPSTORETURN_NEITHER;
        UA_ReadResponse response = UA_Client_Service_read(d_->client, request);
        UA_StatusCode service = response.responseHeader.serviceResult;
        if (service == UA_STATUSCODE_GOOD && response.resultsSize != reads.size())
            service = UA_STATUSCODE_BADUNEXPECTEDERROR;
        for (std::size_t k = 0; k < reads.size(); ++k) {
            NodeReading& reading = readings[index[k]];
            if (service != UA_STATUSCODE_GOOD) {
                reading.Error = StatusText(service);
                continue;
            }
            const UA_DataValue& result = response.results[k];
            const UA_StatusCode status = result.hasStatus ? result.status : UA_STATUSCODE_GOOD;
            double value = 0.0;
            if (result.hasValue && VariantToDouble(result.value, value)) {
                reading.Value = value;
                reading.Quality = QualityFromStatus(status);
            } else {
                reading.Error = StatusText(status != UA_STATUSCODE_GOOD ? status : UA_STATUSCODE_BADTYPEMISMATCH);
            }
        }
        UA_ReadResponse_clear(&response);
    }
    for (auto& node : nodes) UA_NodeId_clear(&node);
    return readings;
}

void OpcUaPlantAccess::WriteNode(const std::string& nodeId, double value) {
    if (!IsConnected()) throw PlantAccessError(WriteErrorText(nodeId, StatusText(UA_STATUSCODE_BADNOTCONNECTED)));
    UA_NodeId node;
    if (!ParseNodeId(nodeId, node))
        throw PlantAccessError(WriteErrorText(nodeId, StatusText(UA_STATUSCODE_BADNODEIDINVALID)));
    const UA_DataType* type = nullptr;
    const UA_StatusCode status = d_->WriteType(node, type);
    const std::string error = status != UA_STATUSCODE_GOOD ? StatusText(status) : d_->Write(node, type, value);
    UA_NodeId_clear(&node);
    if (!error.empty()) throw PlantAccessError(WriteErrorText(nodeId, error));
}

std::vector<BrowseNode> OpcUaPlantAccess::Browse(const std::string& nodeId) {
    if (!IsConnected()) throw PlantAccessError("Not connected to an OPC server");
    UA_NodeId start;
    if (nodeId.empty()) {
        start = UA_NODEID_NUMERIC(0, UA_NS0ID_OBJECTSFOLDER);
    } else if (!ParseNodeId(nodeId, start)) {
        throw PlantAccessError("Cannot browse " + nodeId + ": " + StatusText(UA_STATUSCODE_BADNODEIDINVALID));
    }
    std::vector<BrowseNode> nodes;
    OwnedNodeIds ids;  // parallel to nodes
    const UA_StatusCode status = BrowseChildren(d_->client, start, nodes, ids);
    UA_NodeId_clear(&start);
    if (status != UA_STATUSCODE_GOOD)
        throw PlantAccessError("Cannot browse " + (nodeId.empty() ? std::string("Objects") : nodeId) + ": " +
                               StatusText(status));
    if (nodes.empty()) return nodes;
    MarkAccessLevels(d_->client, nodes, ids);
    MarkHasChildren(d_->client, nodes, ids);
    return nodes;
}

}  // namespace halvetra
