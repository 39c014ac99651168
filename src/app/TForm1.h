#pragma once
// The main window: the seven pages of the work flow, the timers, the file
// dialogs and the status line, and the long-lived state the pages share.
#include <QMainWindow>

#include "ui/AppState.h"
#include "ui/MainDialogs.h"

class QStatusBar;
class QTabWidget;
class QTimer;

namespace halvetra {

class AboutPage;
class Clock;
class ControllerPage;
class DataPage;
class Dialogs;
class ExperimentPage;
class ModelPage;
class OpcPage;
class PlantAccess;
class ReportPage;
class TEksperiment;
class TForm_Histogram;
class TForm_Obdelava_Large;
class TForm_SamodNastav;

inline constexpr const char* ApplicationTitle = "Halvetra";
inline constexpr const char* MainWindowCaption = " Halvetra E 1.0.7";
inline constexpr const char* VersionNumber = "1.0.7";

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Page indices of PageControl1, in tab order.
    enum Page { OPCTab = 0, EkspTab = 1, ObdTab = 2, ModTab = 3, RegTab = 4, PorTab = 5, TabSheet1 = 6 };

    // The plant connection outlives the window.
    TForm1(Dialogs& dialogs, const Clock& clock, PlantAccess& plant, QWidget* parent = nullptr);
    ~TForm1() override;

    // The secondary windows that the Experiment page drives: the experiment
    // window runs its experiments, the settings window holds the settings of
    // the automatic experiment. Both outlive the main window's use of them.
    void attachExperimentWindows(TEksperiment* experiment, TForm_SamodNastav* automaticSettings);
    // The Data page's histogram and enlarged-signal windows, in which the
    // report's pictures are drawn too. With them attached, "Make report"
    // works and an automatic run's record is processed after the run.
    void attachChartWindows(TForm_Histogram* histogram, TForm_Obdelava_Large* enlarged);

    AppState State;
    MainDialogs Files;
    // Where an automatic run's record is saved when its own folder cannot take
    // the data file (the user's application data folder; tests set their own).
    QString RescueFolder;

    QTabWidget* PageControl1;  // the pages, one tab each
    OpcPage* OpcPage_;
    ExperimentPage* ExperimentPage_;
    DataPage* DataPage_;
    ModelPage* ModelPage_;
    ControllerPage* ControllerPage_;
    ReportPage* ReportPage_;
    AboutPage* AboutPage_;
    QStatusBar* StatusBar1;             // the main window's status bar
    QTimer* Timer_ExperimentScheduler;  // every 0.5 s: starts a queued experiment when it is due
    QTimer* Timer_FirstScreen;          // once, 5 s after start-up: shows the OPC page

signals:
    void closed();  // the user closed the main window: the run ends

public slots:
    void Timer_FirstScreenTimer();          // shows the OPC page
    void Timer_ExperimentSchedulerTimer();  // the Experiment page's scheduler tick

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();  // start-up once the pages exist: servers, date, folders, version
    void wireExperimentPage();
    void copyAutomaticSettings();
    void processAutomaticRun(const QString& folder, const QString& label, bool noWrite);

    Dialogs& dialogs_;
    const Clock& clock_;
    PlantAccess& plant_;
};

}  // namespace halvetra
