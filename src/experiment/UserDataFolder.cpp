#include "experiment/UserDataFolder.h"

#include <QDir>
#include <QStandardPaths>

#include "experiment/WriteLog.h"

namespace halvetra {

QString UserDataFolder() {
    // Not AppLocalDataLocation: the command line's application name differs
    // from the window's, and both must find the same folder.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Halvetra"));
}

QString DefaultWriteLogPath() { return QDir(UserDataFolder()).filePath(QString::fromLatin1(WriteLog::FileName)); }

}  // namespace halvetra
