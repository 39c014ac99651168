#include "ui/Command.h"

#include <exception>

#include "ui/Dialogs.h"

namespace halvetra {

bool RunCommand(Dialogs& dialogs, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        dialogs.showMessage(QString::fromUtf8(e.what()));
    } catch (...) {
        dialogs.showMessage(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace halvetra
