// The servers connected to before: servers.txt in the configuration folder,
// one address a line, the latest first.
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>

#include "opc/OpcUaSession.h"

namespace halvetra {

namespace {

constexpr std::size_t MaxRememberedServers = 20;

}  // namespace

QString OpcUaPlantAccess::Impl::RememberedPath() const {
    return QDir(self.configFolder_).filePath(QStringLiteral("servers.txt"));
}

void OpcUaPlantAccess::Impl::LoadRemembered() {
    QFile file(RememberedPath());
    if (!file.open(QIODevice::ReadOnly)) return;
    while (!file.atEnd()) {
        const std::string url = QString::fromUtf8(file.readLine()).trimmed().toStdString();
        if (!url.empty() && std::find(remembered.begin(), remembered.end(), url) == remembered.end())
            remembered.push_back(url);
    }
}

void OpcUaPlantAccess::Impl::Remember(const std::string& url) {
    remembered.erase(std::remove(remembered.begin(), remembered.end(), url), remembered.end());
    remembered.insert(remembered.begin(), url);
    if (remembered.size() > MaxRememberedServers) remembered.resize(MaxRememberedServers);
    // The list is a convenience: a folder that cannot be written loses it quietly.
    if (!QDir().mkpath(self.configFolder_)) return;
    // One checked write: a disk that fills part way keeps the earlier list
    // whole instead of replacing it with a cut one.
    QByteArray bytes;
    for (const auto& u : remembered) bytes += QByteArray::fromStdString(u + "\n");
    QSaveFile file(RememberedPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) return;
    file.commit();
}

}  // namespace halvetra
