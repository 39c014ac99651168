#include "ui/Command.h"

#include <exception>

#include "data/Errors.h"
#include "ui/Dialogs.h"
#include "ui/UnreadableField.h"

namespace halvetra {

bool RunCommand(Dialogs& dialogs, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const ConversionError& e) {
        // The field holding the text gets the focus beside the message.
        const QString message = QString::fromUtf8(e.what());
        MarkUnreadableField(FindUnreadableField(message));
        dialogs.showMessage(message);
    } catch (const std::exception& e) {
        dialogs.showMessage(QString::fromUtf8(e.what()));
    } catch (...) {
        dialogs.showMessage(QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace halvetra
