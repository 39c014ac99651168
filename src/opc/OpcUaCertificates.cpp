#include "opc/OpcUaCertificates.h"

#include <open62541/plugin/create_certificate.h>
#include <open62541/plugin/log.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSysInfo>

#include "opc/PlantAccessError.h"

namespace halvetra::opcua {

namespace {

QString PkiPath(const QString& configFolder, const QString& relative) {
    return QDir(configFolder).filePath(QStringLiteral("pki/") + relative);
}

bool ReadWhole(const QString& path, QByteArray& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    out = file.readAll();
    return !out.isEmpty();
}

void WriteWhole(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw PlantAccessError("Cannot create file " + path.toStdString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(permissions) || file.write(bytes) != bytes.size() ||
        !file.flush() || !file.commit())
        throw PlantAccessError("Cannot create file " + path.toStdString());
}

UA_String View(const QByteArray& bytes) {
    UA_String s;
    s.length = static_cast<size_t>(bytes.size());
    s.data = reinterpret_cast<UA_Byte*>(const_cast<char*>(bytes.constData()));
    return s;
}

OwnCertificate CreateOwnCertificate() {
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty()) host = QStringLiteral("localhost");
    const QByteArray commonName = ("CN=Halvetra@" + host).toUtf8();
    const QByteArray dns = ("DNS:" + host).toUtf8();
    const QByteArray uri = QByteArray("URI:") + ClientApplicationUri;
    const QByteArray organisation = "O=Halvetra";
    UA_String subject[] = {View(commonName), View(organisation)};
    UA_String alternativeNames[] = {View(uri), View(dns)};

    UA_KeyValueMap* parameters = UA_KeyValueMap_new();
    UA_UInt16 keyBits = 2048;
    UA_UInt16 days = 3650;
    UA_KeyValueMap_setScalar(parameters, UA_QUALIFIEDNAME(0, const_cast<char*>("key-size-bits")), &keyBits,
                             &UA_TYPES[UA_TYPES_UINT16]);
    UA_KeyValueMap_setScalar(parameters, UA_QUALIFIEDNAME(0, const_cast<char*>("expires-in-days")), &days,
                             &UA_TYPES[UA_TYPES_UINT16]);
    UA_ByteString key = UA_BYTESTRING_NULL;
    UA_ByteString certificate = UA_BYTESTRING_NULL;
    // A logger that keeps quiet: failures come back as the status code.
    UA_Logger quiet{};
    const UA_StatusCode status = UA_CreateCertificate(&quiet, subject, 2, alternativeNames, 2, UA_CERTIFICATEFORMAT_DER,
                                                      parameters, &key, &certificate);
    UA_KeyValueMap_delete(parameters);
    if (status != UA_STATUSCODE_GOOD) {
        UA_ByteString_clear(&key);
        UA_ByteString_clear(&certificate);
        throw PlantAccessError(std::string("Cannot create the certificate of this program: ") +
                               UA_StatusCode_name(status));
    }
    OwnCertificate own;
    own.Certificate = QByteArray(reinterpret_cast<const char*>(certificate.data), static_cast<int>(certificate.length));
    own.PrivateKey = QByteArray(reinterpret_cast<const char*>(key.data), static_cast<int>(key.length));
    UA_ByteString_clear(&key);
    UA_ByteString_clear(&certificate);
    return own;
}

}  // namespace

OwnCertificate LoadOrCreateOwnCertificate(const QString& configFolder) {
    const QString certificatePath = PkiPath(configFolder, QStringLiteral("own/cert.der"));
    const QString keyPath = PkiPath(configFolder, QStringLiteral("private/key.der"));
    OwnCertificate own;
    if (ReadWhole(certificatePath, own.Certificate) && ReadWhole(keyPath, own.PrivateKey)) return own;

    own = CreateOwnCertificate();
    // The key first: a certificate without its key would be useless.
    WriteWhole(keyPath, own.PrivateKey, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    WriteWhole(certificatePath, own.Certificate,
               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return own;
}

std::vector<QByteArray> LoadTrustedCertificates(const QString& configFolder) {
    std::vector<QByteArray> trusted;
    const QDir folder(PkiPath(configFolder, QStringLiteral("trusted")));
    const QStringList names = folder.entryList({QStringLiteral("*.der")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QByteArray bytes;
        if (ReadWhole(folder.filePath(name), bytes)) trusted.push_back(bytes);
    }
    return trusted;
}

void StoreTrustedCertificate(const QString& configFolder, const QByteArray& der) {
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex()) + QStringLiteral(".der");
    WriteWhole(PkiPath(configFolder, QStringLiteral("trusted/") + name), der,
               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

std::string Thumbprint(const QByteArray& der) {
    return QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex(':').toUpper().toStdString();
}

}  // namespace halvetra::opcua
