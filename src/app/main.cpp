// Start-up: the application's title, the windows of the run in their order,
// then the event loop until the main window is closed.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QStatusBar>

#include "app/ApplicationWindows.h"
#include "app/UnavailablePlantAccess.h"
#include "experiment/Clock.h"
#include "experiment/UserDataFolder.h"
#include "experiment/WriteLog.h"
#include "opc/PlantAccess.h"
#include "ui/Dialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The application's title; no display name, which the window system would
    // append to every window's caption (" Halvetra E 1.0.7 — Halvetra").
    QApplication::setApplicationName(halvetra::ApplicationTitle);

    halvetra::SystemClock clock;
    halvetra::QtDialogs dialogs;
    // The plant connection is made before the windows and ends after them.
    // A build without a client still runs; its OPC page says why it cannot connect.
    std::unique_ptr<halvetra::PlantAccess> plant = halvetra::CreateOpcUaPlantAccess();
    if (!plant) plant = std::make_unique<halvetra::UnavailablePlantAccess>();
    // Every write of a user's command to the plant is recorded here; it outlives the windows.
    halvetra::WriteLog writeLog(halvetra::DefaultWriteLogPath().toStdString());
    halvetra::ApplicationWindows windows = halvetra::CreateApplicationWindows(dialogs, clock, *plant);
    dialogs.setParent(windows.Form1.get());
    // An automatic run whose folder cannot take its data file saves the record here.
    windows.Form1->RescueFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)).filePath("unsaved records");
    writeLog.Failed = [form = windows.Form1.get()](const std::string& message) {
        form->StatusBar1->showMessage(QString::fromStdString(message));
    };
    windows.Form1->State.Writes = &writeLog;
    windows.Eksperiment->Run().SetWriteLog(&writeLog);
    windows.Form1->show();
    // Closing the main window ends the run, whatever secondary window is open.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(windows.Form1.get(), &halvetra::TForm1::closed, &app, &QApplication::quit);
    return app.exec();
}
