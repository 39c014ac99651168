#pragma once
// The program's folder in the user's data location, the same for the window
// and the command line: the rescued records and the write log live there.
// With XDG_DATA_HOME set it is $XDG_DATA_HOME/Halvetra, else
// ~/.local/share/Halvetra.
#include <QString>

namespace halvetra {

QString UserDataFolder();

// The write log's file in that folder.
QString DefaultWriteLogPath();

}  // namespace halvetra
