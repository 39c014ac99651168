#pragma once
// The Experiment page: kind and parameters of an experiment, the activation
// of a manual one (it runs at once) or of an automatic one (it is queued for
// its start), the queue of waiting experiments and its scheduler, and the
// experiment settings file.
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "experiment/ExperimentQueue.h"
#include "experiment/ExperimentRun.h"
#include "ui/PageContext.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace halvetra {

class OpcPage;
class TForm_SamodNastav;

// One experiment as the page hands it to the experiment window.
struct ExperimentStart {
    ExperimentParameters Parameters;  // everything but the items, which the window adds
    ExperimentItemIds Items;
    SliderSettings Slider;  // "MV slider parametrers"
    bool Automatic = false;
};

// The title of the settings dialog that activating a manual experiment opens.
inline constexpr const char* ManualSaveTitle =
    "Save As: the experiment's settings are saved with its record (Cancel runs it without saving them)";

class ExperimentPage : public QWidget {
    Q_OBJECT
public:
    ExperimentPage(PageContext context, QWidget* parent = nullptr);

    QRadioButton* RadioRocno;                // manual experiment
    QRadioButton* RadioAvtomatsko;           // automatic experiment
    QLineEdit* CasVzorcenjaEdit;             // sampling time [s]
    QCheckBox* CheckBox_NePisi;              // "Don't write to OPC"
    QCheckBox* CheckBox_Zaprtozancni;        // closed loop during the experiment
    QCheckBox* CheckBox_ZZPoPoizkusu;        // closed loop after the experiment
    QCheckBox* OhraniZacetniVhod;            // start from the initial process input
    QLineEdit* ZacetniVhodEdit;              // initial input
    QLineEdit* CasCakanjaEdit;               // waiting time [s]
    QLineEdit* VelikostStopniceEdit;         // step amplitude
    QLineEdit* CasStopniceEdit;              // time of one step [s]
    QLineEdit* SteviloStopnicEdit;           // number of steps
    QCheckBox* CheckBox_ObeSmeri;            // steps in both directions
    QDateEdit* DateTimePicker1;              // start date of the automatic experiment
    QLineEdit* CajtZacetka;                  // start time of the automatic experiment (hh:mm:ss)
    QPushButton* Button1;                    // "Set current time"
    QPushButton* Button10;                   // "Detailed settings of automatic experiment"
    QPushButton* AktivirajEksperiment;       // "Activation of experiment"
    QListWidget* SeznamCakajocihEkspCas;     // waiting experiments: their times
    QListWidget* SeznamCakajocihEkspOznaka;  // waiting experiments: their labels
    QLineEdit* Edit_MVMax;
    QLineEdit* Edit_MVMin;
    QLineEdit* Edit_MVStep;
    QCheckBox* CheckBox_Sekvencer;       // "NL active": the non-linearity between the loops
    QTableWidget* StringGrid_Sekvencer;  // the non-linearity's input/output points
    QPushButton* NaloziNastavitve;       // "Load settings"
    QPushButton* ShraniNastavitve;       // "Save settings"

    // The queue of automatic experiments; the two lists and the main
    // window's QueuedExperimentFolders show it.
    ExperimentQueue Queue;

    // --- Set by the main window ---
    // The OPC page (item table, M/A switching) and the automatic-experiment
    // settings window, whose controls the settings file also holds.
    void attachOpcPage(OpcPage* opc) { opc_ = opc; }
    void attachSettingsWindow(TForm_SamodNastav* window) { settingsWindow_ = window; }
    TForm_SamodNastav* SettingsWindow() const { return settingsWindow_; }
    // Turns the scheduler timer on or off.
    std::function<void(bool)> EnableScheduler;
    // The experiment window: PrepareExperiment hands it the parameters and
    // adds the items to its group (may fail on an item); RunExperiment starts
    // the run, shows the window modally and returns when the run has ended.
    std::function<void(const ExperimentStart&)> PrepareExperiment;
    std::function<void(const ExperimentStart&)> RunExperiment;
    // Copies the settings window's values into the main window's controls
    // before an automatic run.
    std::function<void()> CopyAutomaticSettings;
    // The automatic processing of an automatic run's record, once its window
    // has closed: the run's folder and label, and its "Don't write to OPC".
    std::function<void(const QString& folder, const QString& label, bool noWrite)> ProcessAutomaticRun;

    // "Save settings" without its error handling: the file's full name, or
    // nothing when the user cancelled the dialog. `title` explains the
    // dialog when a command other than "Save settings" opens it.
    std::optional<std::string> SaveSettings(const QString& title = {});
    // Puts settings-file lines into every stored control, as "Load settings" does.
    void ApplySettingsLines(const std::vector<std::string>& lines);

    // The enabling rules of the kind, "Don't write to OPC" and "Start from
    // initial process input".
    void ApplyEnablingRules();

    // One tick of the scheduler: the first queued experiment, when due, is
    // loaded and run; a failure is shown and the entry removed.
    void SchedulerTick();
    // The run of one due experiment without the queue's bookkeeping: its
    // settings file applied, the experiment run, its record processed in
    // due.Folder. Raises on any failure.
    void RunDueExperiment(const DueExperiment& due) { runQueued(due); }

public slots:
    void AktivirajEksperimentClick();  // "Activation of experiment"
    void Button1Click();               // "Set current time"
    void Button10Click();              // "Detailed settings of automatic experiment"
    void ShraniNastavitveClick();      // "Save settings"
    void NaloziNastavitveClick();      // "Load settings"
    void DeleteQueuedExperiment();     // the Delete key in the time list

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The page's group boxes, one builder each, called in this order by the constructor.
    QGroupBox* buildKindBox();
    QGroupBox* buildSettingsBox();
    QGroupBox* buildStartBox();
    QGroupBox* buildSliderBox();
    QGroupBox* buildNonLinearityBox();
    QGroupBox* buildQueueBox();
    void connectSignals();

    void activate();
    void activateManual(double ts);
    void activateAutomatic();
    void runQueued(const DueExperiment& due);
    void loadSettings();
    SliderSettings sliderSettings() const;
    ExperimentItemIds itemIdsFromTable() const;
    void showQueue();

    PageContext ctx_;
    OpcPage* opc_ = nullptr;
    TForm_SamodNastav* settingsWindow_ = nullptr;
    bool experimentRunning_ = false;  // an experiment's window is open
};

}  // namespace halvetra
