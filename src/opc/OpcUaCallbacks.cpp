// What the client calls back: changes of the session and the channel, the
// server's silence, the answer to the probe, and the check of the server's
// certificate.
#include <open62541/plugin/pki.h>

#include "opc/OpcUaSession.h"
#include "opc/OpcUaValues.h"

namespace halvetra {

using namespace opcua;

// ---- the session ----

void OpcUaPlantAccess::Impl::StateChanged(UA_Client* client, UA_SecureChannelState channel, UA_SessionState session,
                                          UA_StatusCode status) {
    Impl* d = Of(client);
    if (d == nullptr || d->closing || !d->active) return;
    const bool lost = status != UA_STATUSCODE_GOOD || session != UA_SESSIONSTATE_ACTIVATED ||
                      channel == UA_SECURECHANNELSTATE_CLOSED || channel == UA_SECURECHANNELSTATE_CLOSING;
    if (lost) d->MarkLost();
}

void OpcUaPlantAccess::Impl::Inactive(UA_Client* client) {
    Impl* d = Of(client);
    if (d == nullptr || d->closing || !d->active) return;
    d->MarkLost();
}

void OpcUaPlantAccess::Impl::ProbeAnswered(UA_Client* client, void*, UA_UInt32, UA_StatusCode status, UA_DataValue*) {
    Impl* d = Of(client);
    if (d == nullptr) return;
    // A probe the client gave up, or lost with the channel, keeps counting
    // the silence until the link is given up; any answer of the server ends it.
    switch (status) {
    case UA_STATUSCODE_BADTIMEOUT:
    case UA_STATUSCODE_BADREQUESTTIMEOUT:
    case UA_STATUSCODE_BADCONNECTIONCLOSED:
    case UA_STATUSCODE_BADSECURECHANNELCLOSED:
    case UA_STATUSCODE_BADSERVERNOTCONNECTED:
    case UA_STATUSCODE_BADSHUTDOWN:
    case UA_STATUSCODE_BADDISCONNECT: return;
    default: d->probePending = false;
    }
}

void OpcUaPlantAccess::Impl::MarkLost() {
    active = false;
    // The client is closed outside its own callback.
    const unsigned current = generation;
    OpcUaPlantAccess* owner = &self;
    QMetaObject::invokeMethod(
        owner, [owner, current] { owner->handleConnectionLost(current); }, Qt::QueuedConnection);
}

// ---- the server's certificate ----

namespace opcua {

namespace {

std::string SubjectOf(const TrustContext& trust, const QByteArray& der) {
    if (trust.original.getSubjectName == nullptr) return {};
    UA_ByteString certificate = ByteView(der);
    UA_String subject = UA_STRING_NULL;
    if (trust.original.getSubjectName(&subject, &certificate) != UA_STATUSCODE_GOOD) return {};
    std::string text = ToStdString(subject);
    UA_String_clear(&subject);
    return text;
}

UA_StatusCode VerifyServerCertificate(const UA_CertificateVerification* cv, const UA_ByteString* certificate) {
    auto* trust = static_cast<TrustContext*>(cv->context);
    const QByteArray der = ToByteArray(*certificate);
    for (const QByteArray& known : trust->trusted)
        if (known == der) return UA_STATUSCODE_GOOD;
    trust->refused = der;
    trust->refusedSubject = SubjectOf(*trust, der);
    return UA_STATUSCODE_BADCERTIFICATEUNTRUSTED;
}

UA_StatusCode VerifyApplicationUri(const UA_CertificateVerification* cv, const UA_ByteString* certificate,
                                   const UA_String* applicationUri) {
    const auto* trust = static_cast<const TrustContext*>(cv->context);
    if (trust->original.verifyApplicationURI == nullptr) return UA_STATUSCODE_GOOD;
    return trust->original.verifyApplicationURI(&trust->original, certificate, applicationUri);
}

void ClearTrust(UA_CertificateVerification* cv) {
    auto* trust = static_cast<TrustContext*>(cv->context);
    if (trust == nullptr) return;
    if (trust->original.clear != nullptr) trust->original.clear(&trust->original);
    delete trust;
    cv->context = nullptr;
}

}  // namespace

TrustContext* TrustOnlyKnownCertificates(UA_ClientConfig& config, std::vector<QByteArray> trusted) {
    auto* context = new TrustContext{config.certificateVerification, std::move(trusted), QByteArray(), std::string()};
    UA_CertificateVerification verification{};
    verification.context = context;
    verification.verifyCertificate = VerifyServerCertificate;
    verification.verifyApplicationURI = VerifyApplicationUri;
    verification.getExpirationDate = config.certificateVerification.getExpirationDate;
    verification.getSubjectName = config.certificateVerification.getSubjectName;
    verification.clear = ClearTrust;
    verification.logging = config.certificateVerification.logging;
    config.certificateVerification = verification;
    return context;
}

}  // namespace opcua

}  // namespace halvetra
