#include "ui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "ui/ItemBrowserDialog.h"

namespace halvetra {

QStringList QtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            const QString t = p.trimmed();
            // "*.*" means every file; on this platform names need not have a dot.
            patterns << (t == "*.*" ? QStringLiteral("*") : t);
        }
        // Qt reads the patterns from the last parenthesis of an entry: a text
        // that already ends with exactly these patterns stands alone, any
        // other text ("Data files (*.txt, *.dat)") gets them appended.
        static const QRegularExpression trailing(QStringLiteral("\\(([^()]*)\\)$"));
        const QRegularExpressionMatch m = trailing.match(text);
        if (m.hasMatch() && m.captured(1).split(' ', Qt::SkipEmptyParts) == patterns)
            result << text;
        else
            result << QStringLiteral("%1 (%2)").arg(text, patterns.join(' '));
    }
    return result;
}

QString WithDefaultExtension(const QString& fileName, const QString& defaultExt) {
    if (fileName.isEmpty() || defaultExt.isEmpty()) return fileName;
    if (!QFileInfo(fileName).suffix().isEmpty()) return fileName;
    return fileName + '.' + defaultExt;
}

bool QtDialogs::execute(FileDialog& dialog) {
    QFileDialog box(parent_);
    box.setObjectName(dialog.Name);
    if (!dialog.Title.isEmpty()) box.setWindowTitle(dialog.Title);
    box.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool save = dialog.DialogKind == FileDialog::Kind::Save;
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.OverwritePrompt);
    const QStringList filters = QtNameFilters(dialog.Filter);
    if (!filters.isEmpty()) {
        box.setNameFilters(filters);
        box.selectNameFilter(filters.value(qBound(1, dialog.FilterIndex, int(filters.size())) - 1));
    }
    box.setDefaultSuffix(dialog.DefaultExt);
    if (!dialog.InitialDir.isEmpty()) box.setDirectory(dialog.InitialDir);
    if (!dialog.FileName.isEmpty()) box.selectFile(dialog.FileName);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.FileName = box.selectedFiles().first();
    dialog.FilterIndex = int(filters.indexOf(box.selectedNameFilter())) + 1;
    return true;
}

void QtDialogs::showMessage(const QString& text) {
    QMessageBox::information(parent_, QStringLiteral("Halvetra"), text);
}

void QtDialogs::notify(const QString& text) {
    // Over the modal window that is open (the experiment window), so that it
    // can be answered; no event loop of its own, so timers go on meanwhile.
    QWidget* parent = QApplication::activeModalWidget() != nullptr ? QApplication::activeModalWidget() : parent_;
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Halvetra"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool QtDialogs::confirm(const QString& question) {
    return QMessageBox::question(parent_, QStringLiteral("Halvetra"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::vector<std::string>> QtDialogs::browseItems(PlantAccess& plant) {
    ItemBrowserDialog dialog(plant, parent_);
    dialog.loadRoot();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> ids = dialog.selectedItemIds();
    if (ids.empty()) return std::nullopt;
    return ids;
}

CertificateTrust QtDialogs::trustCertificate(const ServerCertificate& certificate) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Halvetra"),
                    QStringLiteral("The server %1 presents a certificate that is not trusted.")
                        .arg(QString::fromStdString(certificate.ServerUrl)),
                    QMessageBox::NoButton, parent_);
    box.setInformativeText(
        QStringLiteral("Subject: %1\nThumbprint (SHA-1): %2\n\nTrust this server?")
            .arg(QString::fromStdString(certificate.Subject), QString::fromStdString(certificate.Thumbprint)));
    QPushButton* always = box.addButton(QStringLiteral("Trust &always"), QMessageBox::AcceptRole);
    QPushButton* once = box.addButton(QStringLiteral("Trust &once"), QMessageBox::AcceptRole);
    QPushButton* reject = box.addButton(QStringLiteral("&Reject"), QMessageBox::RejectRole);
    box.setDefaultButton(reject);
    box.setEscapeButton(reject);
    box.exec();
    if (box.clickedButton() == always) return CertificateTrust::AcceptAlways;
    if (box.clickedButton() == once) return CertificateTrust::AcceptOnce;
    return CertificateTrust::Reject;
}

}  // namespace halvetra
