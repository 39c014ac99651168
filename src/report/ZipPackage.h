#pragma once
// Zip packages in memory: the OpenDocument files the report reads (its
// template, the text writer's output) and the one it writes.
#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace halvetra {

struct ZipEntry {
    QString Name;
    QByteArray Data;
    bool Stored = false;  // written without compression ("mimetype" must be)
};

// The files of a zip package in the order of its directory; folders are left
// out. Empty when the bytes are not a readable zip package.
std::optional<std::vector<ZipEntry>> ReadZip(const QByteArray& bytes);

// The entry of that name, or null.
const ZipEntry* FindEntry(const std::vector<ZipEntry>& entries, const QString& name);

// A zip package of the entries, in their order. Throws HalvetraError when the
// archive cannot be made.
QByteArray WriteZip(const std::vector<ZipEntry>& entries);

}  // namespace halvetra
