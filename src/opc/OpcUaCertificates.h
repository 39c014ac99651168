#pragma once
// The certificates of secure connections, kept in the user's configuration
// folder:
//   <config>/pki/own/cert.der       this program's own certificate (created on first use)
//   <config>/pki/private/key.der    its private key, readable by the user only
//   <config>/pki/trusted/<sha1>.der server certificates the user has trusted
#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace halvetra::opcua {

// The application URI of this client; its own certificate carries it.
inline constexpr const char* ClientApplicationUri = "urn:halvetra:client";

struct OwnCertificate {
    QByteArray Certificate;  // DER
    QByteArray PrivateKey;   // DER
};

// The own certificate of the folder's pki, created (self-signed, RSA 2048,
// valid ten years) when there is none yet. Throws PlantAccessError when it can
// be neither read nor created.
OwnCertificate LoadOrCreateOwnCertificate(const QString& configFolder);

// All trusted server certificates of the folder's pki.
std::vector<QByteArray> LoadTrustedCertificates(const QString& configFolder);

// Adds a server certificate to the trusted ones; throws PlantAccessError when
// it cannot be stored.
void StoreTrustedCertificate(const QString& configFolder, const QByteArray& der);

// The SHA-1 thumbprint of a certificate, upper-case hex pairs joined by ':'.
std::string Thumbprint(const QByteArray& der);

}  // namespace halvetra::opcua
