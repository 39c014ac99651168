// The server list: the servers a discovery server knows (FindServers), then
// the servers connected to before.
#include <open62541/client_config_default.h>
#include <open62541/client_highlevel.h>

#include <algorithm>
#include <cstring>

#include "opc/OpcUaSession.h"
#include "opc/OpcUaValues.h"

namespace halvetra {

using namespace opcua;

namespace {

void AddServer(std::vector<std::string>& servers, const std::string& url) {
    if (!url.empty() && std::find(servers.begin(), servers.end(), url) == servers.end()) servers.push_back(url);
}

// Opens the client's secure channel to `url` without blocking on an address
// where nobody listens. False when it did not open within `timeoutMs`;
// `status` then keeps the failure the client reported (or Good for the time
// running out).
bool OpenChannel(UA_Client* c, const std::string& url, int timeoutMs, UA_StatusCode& status) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    status = UA_Client_connectSecureChannelAsync(c, url.c_str());
    while (status == UA_STATUSCODE_GOOD) {
        UA_SecureChannelState channel;
        UA_StatusCode connectStatus;
        UA_Client_getState(c, &channel, nullptr, &connectStatus);
        if (connectStatus != UA_STATUSCODE_GOOD) {
            status = connectStatus;
            break;
        }
        if (channel == UA_SECURECHANNELSTATE_OPEN) return true;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        UA_Client_run_iterate(c, static_cast<UA_UInt32>(std::min(left, 10)));
        ProcessPendingEvents();
    }
    return false;
}

// Adds the addresses of the servers, discovery servers left out, that the
// discovery server at `url` lists. Returns the error text when it did not
// list them, else empty.
std::string FindServers(UA_Client* c, const std::string& url, std::vector<std::string>& servers) {
    size_t count = 0;
    UA_ApplicationDescription* found = nullptr;
    const UA_StatusCode status = UA_Client_findServers(c, url.c_str(), 0, nullptr, 0, nullptr, &count, &found);
    if (status != UA_STATUSCODE_GOOD)
        return "The discovery server " + url + " did not list its servers (" + StatusText(status) + ")";
    for (size_t i = 0; i < count; ++i) {
        if (found[i].applicationType == UA_APPLICATIONTYPE_DISCOVERYSERVER) continue;
        for (size_t k = 0; k < found[i].discoveryUrlsSize; ++k)
            AddServer(servers, ToStdString(found[i].discoveryUrls[k]));
    }
    UA_Array_delete(found, count, &UA_TYPES[UA_TYPES_APPLICATIONDESCRIPTION]);
    return {};
}

}  // namespace

std::vector<std::string> OpcUaPlantAccess::ListServers() {
    std::vector<std::string> servers;
    discoveryError_.clear();
    const int timeoutMs = std::max(1, discoveryTimeoutMs_);
    UA_ClientConfig config;
    std::memset(&config, 0, sizeof config);
    config.logging = &QuietLogger;
    if (UA_ClientConfig_setDefault(&config) == UA_STATUSCODE_GOOD) {
        config.timeout = static_cast<UA_UInt32>(timeoutMs);
        config.noReconnect = true;
        UA_Client* c = UA_Client_newWithConfig(&config);
        if (c != nullptr) {
            UA_StatusCode status = UA_STATUSCODE_GOOD;
            if (OpenChannel(c, discoveryUrl_, timeoutMs, status))
                discoveryError_ = FindServers(c, discoveryUrl_, servers);
            else
                discoveryError_ = "The discovery server " + discoveryUrl_ + " did not answer" +
                                  (status == UA_STATUSCODE_GOOD ? " within " + std::to_string(timeoutMs) + " ms"
                                                                : " (" + StatusText(status) + ")");
            UA_Client_delete(c);
        }
    } else {
        UA_ClientConfig_clear(&config);
    }
    for (const auto& url : d_->remembered) AddServer(servers, url);
    return servers;
}

}  // namespace halvetra
