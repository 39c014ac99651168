#pragma once
// Every command of a window runs through RunCommand: a failure anywhere in it
// ends the command, its text is shown in a message box, and the event loop
// goes on. What the command changed before the failure stays changed. A
// typed number that cannot be read also puts the focus on its field and
// highlights it (see UnreadableField.h).
#include <functional>

namespace halvetra {

class Dialogs;

// Returns true when the command ran to its end.
bool RunCommand(Dialogs& dialogs, const std::function<void()>& command);

}  // namespace halvetra
