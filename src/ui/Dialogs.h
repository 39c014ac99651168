#pragma once
// Modal dialogs behind one interface: the real ones open Qt dialogs, tests
// answer them from a script. A FileDialog keeps its settings between uses, as
// the main window's dialogs do (filter, default extension, initial folder).
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "opc/PlantAccess.h"

class QWidget;

namespace halvetra {

struct FileDialog {
    enum class Kind { Open, Save };

    FileDialog(QString objectName, Kind kind, QString filter = {}, QString defaultExt = {})
        : Name(std::move(objectName)), DialogKind(kind), Filter(std::move(filter)), DefaultExt(std::move(defaultExt)) {}

    QString Name;
    Kind DialogKind;
    // "Text|pattern|Text|pattern": the text shown, then its patterns separated by ';'.
    QString Filter;
    int FilterIndex = 1;  // counted from 1
    QString DefaultExt;   // without the dot; added to a typed name without extension
    QString InitialDir;
    QString FileName;  // proposed name before, chosen name after a dialog
    bool OverwritePrompt = false;
    // The dialog's title when the command has something to explain; the
    // toolkit's own title ("Save As", "Open") when empty.
    QString Title;
};

// The filter of a FileDialog in Qt's form: one entry per pair, "Text (patterns)".
QStringList QtNameFilters(const QString& filter);

// FileName with DefaultExt added when the name has no extension of its own.
QString WithDefaultExtension(const QString& fileName, const QString& defaultExt);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows the dialog; true and dialog.FileName set when the user chose a file.
    virtual bool execute(FileDialog& dialog) = 0;
    // An information or error message with an OK button.
    virtual void showMessage(const QString& text) = 0;
    // A message that must not hold up the work going on (the sampling of a
    // run, the queue of automatic experiments): the real dialogs show it and
    // return at once; it stays until OK is pressed.
    virtual void notify(const QString& text) { showMessage(text); }
    // The item browser "Select OPC Item" over the connected server's address
    // space: the chosen item identifiers (at least one), or nothing when the
    // user cancels.
    virtual std::optional<std::vector<std::string>> browseItems(PlantAccess& plant) = 0;
    // Asks whether to trust a server certificate that no trusted one matches.
    virtual CertificateTrust trustCertificate(const ServerCertificate& certificate) = 0;
    // A question with Yes and No buttons, No the default: true for Yes.
    // Dialogs that cannot ask anybody answer No.
    virtual bool confirm(const QString& question) {
        (void)question;
        return false;
    }
};

// The real dialogs, parented to the given window.
class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    bool execute(FileDialog& dialog) override;
    void showMessage(const QString& text) override;
    void notify(const QString& text) override;
    std::optional<std::vector<std::string>> browseItems(PlantAccess& plant) override;
    CertificateTrust trustCertificate(const ServerCertificate& certificate) override;
    bool confirm(const QString& question) override;

private:
    QWidget* parent_;
};

}  // namespace halvetra
