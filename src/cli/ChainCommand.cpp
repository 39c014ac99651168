// `halvetra-cli chain` and `halvetra-cli experiment`: the processing of an
// automatic experiment's record, and a whole automatic experiment, run on
// the desktop program's own windows built off screen. Nothing is shown: the
// file dialogs answer from the command line and a message either ends the
// command or goes to standard error.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QCheckBox>
#include <iostream>
#include <memory>
#include <optional>

#include "app/ApplicationWindows.h"
#include "app/UnavailablePlantAccess.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "data/Errors.h"
#include "experiment/Clock.h"
#include "experiment/ExperimentQueue.h"
#include "settings/SettingsFile.h"
#include "experiment/UserDataFolder.h"
#include "experiment/WriteLog.h"
#include "opc/OpcUaPlantAccess.h"
#include "ui/AutomaticChain.h"
#include "ui/DataPage.h"
#include "ui/Dialogs.h"
#include "ui/ExperimentPage.h"
#include "ui/OpcPage.h"
#include "ui/ReportPage.h"
#include "ui/SettingsMapping.h"
#include "ui/TForm_SamodNastav.h"

namespace halvetra::cli {

namespace {

// The windows need a widget application; without a display it draws off
// screen. Made only by the commands that build windows.
class WidgetApplicationScope {
public:
    WidgetApplicationScope() {
        if (QCoreApplication::instance() != nullptr) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[13] = "halvetra-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// Dialogs that never show anything: an open dialog gets the file given for
// it, any other dialog is cancelled, and messages are collected and echoed
// on standard error.
class HeadlessDialogs final : public Dialogs {
public:
    QString FileToOpen;  // the answer of the next open dialog
    QStringList Messages;

    bool execute(FileDialog& dialog) override {
        if (dialog.DialogKind != FileDialog::Kind::Open || FileToOpen.isEmpty()) return false;
        dialog.FileName = FileToOpen;
        FileToOpen.clear();
        return true;
    }
    void showMessage(const QString& text) override {
        Messages << text;
        std::cerr << text.toStdString() << '\n';
    }
    std::optional<std::vector<std::string>> browseItems(PlantAccess&) override { return std::nullopt; }
    CertificateTrust trustCertificate(const ServerCertificate&) override { return CertificateTrust::Reject; }

    // Raises the first message shown since `before`.
    void RaiseShownSince(qsizetype before) const {
        if (Messages.size() > before) throw HalvetraError(Messages.at(before).toStdString());
    }
};

QString MakeOutputFolder(const std::string& folder) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(folder)));
    if (!QDir().mkpath(path)) throw HalvetraError("Cannot create folder " + folder);
    return QDir::toNativeSeparators(path);
}

const std::string& OutputFolderOption(const ParsedArguments& parsed) {
    const std::string* folder = parsed.value("--out");
    if (folder == nullptr || folder->empty()) throw UsageError("--out DIR is required");
    return *folder;
}

// The settings file applied to the controls as the scheduler applies it.
std::vector<std::string> ApplySettingsFile(TForm1& form, TForm_SamodNastav* settingsWindow, const std::string& path) {
    ExperimentPage& page = *form.ExperimentPage_;
    ExperimentSettings settings = ReadSettingsControls(*form.OpcPage_, page, settingsWindow);
    std::vector<std::string> lines = LoadSettingsFile(path, settings);
    WriteSettingsControls(settings, *form.OpcPage_, page, settingsWindow);
    return lines;
}

// What the processing of a record wrote, and the run's events.
struct ProcessedRecord {
    QStringList Files;
    QStringList Warnings;
};

// The processing chain of the run, on the main window's pages. A record of a
// run (`fromRun`) that its folder cannot take goes to the same rescue folder
// as the window's; a record read from a file is not lost.
ProcessedRecord ProcessRecord(TForm1& form, const TForm_SamodNastav* settingsWindow, const QString& folder,
                              const QString& label, bool noWrite, bool fromRun, bool pdf, const QString& plant = {},
                              const RunEvents& events = {}) {
    AutomaticRun run;
    run.PdfReport = pdf;
    run.Plant = plant;
    run.Folder = folder;
    run.Label = label;
    run.NoWrite = noWrite;
    run.Events = events;
    if (fromRun) run.RescueFolder = QDir(UserDataFolder()).filePath(QStringLiteral("unsaved records"));
    if (settingsWindow) run.Settings = settingsWindow->Values();
    AutomaticChain chain(form.State, form.ReportPage_->Sources());
    ProcessedRecord processed;
    processed.Files = chain.Run(run);
    processed.Warnings = chain.Warnings();
    return processed;
}

// {"files": [...]}, and "warnings": [...] when the run had events.
void PrintFiles(std::ostream& out, const ProcessedRecord& record) {
    JsonWriter json;
    json.beginObject();
    json.key("files").beginArray();
    for (const QString& file : record.Files) json.value(file.toStdString());
    json.endArray();
    if (!record.Warnings.isEmpty()) {
        json.key("warnings").beginArray();
        for (const QString& warning : record.Warnings) json.value(warning.toStdString());
        json.endArray();
    }
    json.endObject();
    out << json.text() << '\n';
}

}  // namespace

int RunChain(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = ParseArgumentsWithConnection(arguments, {"--out=", "--pdf"});
    if (parsed.positional.size() != 2) throw UsageError("expected SETTINGS.hvx and DATA.hvd");
    const std::string& settingsPath = parsed.positional[0];
    const std::string& dataPath = parsed.positional[1];
    const std::string& outFolder = OutputFolderOption(parsed);

    WidgetApplicationScope application;
    SystemClock clock;
    HeadlessDialogs dialogs;
    UnavailablePlantAccess plant;
    ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, plant);
    TForm1& form = *windows.Form1;
    TForm_SamodNastav* settingsWindow = windows.Form_SamodNastav.get();
    // Start-up messages (no servers to list) are no part of the command.
    dialogs.Messages.clear();

    ApplySettingsFile(form, settingsWindow, settingsPath);

    // The record, as "Load from file" loads it: window and conditioning from the file.
    if (!QFileInfo::exists(QString::fromStdString(dataPath))) throw FileError("Cannot open file " + dataPath);
    dialogs.FileToOpen = QString::fromStdString(dataPath);
    const qsizetype before = dialogs.Messages.size();
    form.DataPage_->Button3Click();
    dialogs.RaiseShownSince(before);

    if (form.ExperimentPage_->CopyAutomaticSettings) form.ExperimentPage_->CopyAutomaticSettings();

    const QString folder = MakeOutputFolder(outFolder);
    form.State.WorkingFolder = folder;
    const ProcessedRecord record =
        ProcessRecord(form, settingsWindow, folder, QString::fromStdString(LabelOfSettingsFile(settingsPath)),
                      form.ExperimentPage_->CheckBox_NePisi->isChecked(), false, parsed.has("--pdf"));
    PrintFiles(out, record);
    return 0;
}

int RunExperiment(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = ParseArgumentsWithConnection(arguments, {"--out=", "--server=", "--fast", "--pdf"});
    if (parsed.positional.size() != 1) throw UsageError("expected exactly one SETTINGS.hvx");
    const std::string* server = parsed.value("--server");
    const bool fast = parsed.has("--fast");
    if (fast && server) throw UsageError("--fast runs the built-in simulation only; it does not take --server");
    const std::string& settingsPath = parsed.positional.front();
    const std::string& outFolder = OutputFolderOption(parsed);
    // Fail before building anything when the settings file cannot be read.
    {
        ExperimentSettings settings;
        LoadSettingsFile(settingsPath, settings);
    }

    WidgetApplicationScope application;
    SystemClock clock;
    HeadlessDialogs dialogs;
    // The plant connection outlives the windows.
    std::unique_ptr<PlantAccess> plant;
    OpcUaPlantAccess* client = nullptr;
    if (server) {
        auto access = std::make_unique<OpcUaPlantAccess>();
        client = access.get();
        plant = std::move(access);
    } else {
        plant = std::make_unique<UnavailablePlantAccess>();
    }
    // The run's manual/automatic commands go into the write log as the window's do.
    WriteLog writeLog(DefaultWriteLogPath().toStdString());
    writeLog.Failed = [](const std::string& message) { std::cerr << message << '\n'; };
    ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, *plant);
    windows.Eksperiment->Run().SetWriteLog(&writeLog);
    TForm1& form = *windows.Form1;
    TForm_SamodNastav* settingsWindow = windows.Form_SamodNastav.get();
    dialogs.Messages.clear();
    // After the windows: the OPC page hooks the certificate question to its
    // dialogs, which answer no here unless --accept-certificate says yes.
    if (client) ConnectPlant(*client, *server, parsed);

    // Real time: the window's own sampling timer in its modal loop. Fast:
    // sample after sample without waiting, as long as the run goes on.
    if (fast)
        windows.Eksperiment->ModalLoop = [](TEksperiment& window) {
            while (window.Run().Running()) window.SampleNow();
        };

    const QString folder = MakeOutputFolder(outFolder);
    const QString label = QString::fromStdString(LabelOfSettingsFile(settingsPath));
    ProcessedRecord record;
    bool processed = false;
    ExperimentPage& page = *form.ExperimentPage_;
    // The record reached the Data page through the window; messages shown
    // during the run (failed samples) are on standard error and end nothing.
    page.ProcessAutomaticRun = [&](const QString& runFolder, const QString& runLabel, bool noWrite) {
        const QString plantName = server ? QString::fromStdString(*server) : QString::fromLatin1(BuiltInSimulationName);
        record = ProcessRecord(form, settingsWindow, runFolder, runLabel, noWrite, true, parsed.has("--pdf"), plantName,
                               form.State.LastRunEvents);
        processed = true;
    };

    DueExperiment due;
    due.Folder = folder.toStdString();
    due.Label = label.toStdString();
    due.SettingsPath = settingsPath;
    page.RunDueExperiment(due);
    if (!processed) throw HalvetraError("The experiment's record was not processed");
    PrintFiles(out, record);
    // The files are there, but the plant did not do all that was asked of it.
    if (!record.Warnings.isEmpty()) {
        for (const QString& warning : record.Warnings) std::cerr << "Warning: " << warning.toStdString() << '\n';
        return ExitRunWithEvents;
    }
    return 0;
}

}  // namespace halvetra::cli
