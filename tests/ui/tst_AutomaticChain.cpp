// The processing of an automatic run's record: run by the scheduler after the
// experiment window (replaced here by a recorder that leaves a step response
// on the Data page), and called directly. Which files each choice of settings
// writes, what they hold, the pictures that never stay, the failure of a step,
// and that nothing reaches the plant.
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "FakeDialogs.h"
#include "FakePlantAccess.h"
#include "StepRecord.h"
#include "app/ApplicationWindows.h"
#include "app/TForm1.h"
#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/Clock.h"
#include "model/TModel.h"
#include "report/ZipPackage.h"
#include "ui/AutomaticChain.h"
#include "ui/Chart.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/ReportPage.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"
#include "ui/TForm_SamodNastav.h"

using namespace halvetra;

namespace {

const QDate Today(2026, 5, 4);

struct Fixture {
    Fixture() {
        form.attachExperimentWindows(nullptr, &settings);
        form.attachChartWindows(&histogram, &enlarged);
        page.RunExperiment = [this](const ExperimentStart& start) {
            runs << QString::fromStdString(start.Parameters.ExperimentLabel);
            record();
        };
    }

    FakeDialogs dialogs;
    ManualClock clock{QDateTime(Today, QTime(10, 0, 0))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    TForm_SamodNastav settings{dialogs};
    TForm_Histogram histogram;
    TForm_Obdelava_Large enlarged;
    ExperimentPage& page = *form.ExperimentPage_;
    QTemporaryDir dir;
    QStringList runs;

    QString path(const QString& name) const { return dir.filePath(name); }

    // What the experiment window leaves behind: the record on the Data page,
    // conditioned with the page's settings, the window starting before the step.
    void record() {
        test::FillStepRecord(form.State.Data);
        DataPage& data = *form.DataPage_;
        data.LoadRecordedData(data.Edit8->text(), data.Edit_Actuator_Maximum->text(),
                              data.Edit_Actuator_Minimum->text(), data.Edit_Actuator_Velocity->text());
        data.SetWindowStart(50);
    }

    // An automatic experiment with the settings window's current values,
    // labelled `label` and due at `time` today.
    void queue(const QString& label, const QTime& time, bool noWrite = false) {
        page.RadioAvtomatsko->setChecked(true);
        page.CheckBox_NePisi->setChecked(noWrite);
        page.DateTimePicker1->setDate(Today);
        page.CajtZacetka->setText(time.toString("hh:mm:ss"));
        dialogs.answer(path(label + ".hvx"));
        page.AktivirajEksperiment->click();
    }
    void runAt(const QTime& time) {
        clock.setNow(QDateTime(Today, time));
        form.Timer_ExperimentSchedulerTimer();
    }
    void setAutomatic(const std::function<void(AutomaticExperimentSettings&)>& change) {
        AutomaticExperimentSettings values = settings.Values();
        change(values);
        settings.SetValues(values);
    }

    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
    QStringList pictures() const { return QDir(dir.path()).entryList({"grafik*"}, QDir::Files); }
    AutomaticChain chain() { return AutomaticChain(form.State, form.ReportPage_->Sources()); }
};

std::vector<ZipEntry> packageOf(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ReadZip(file.readAll()).value_or(std::vector<ZipEntry>{});
}

int pictureCount(const QString& fileName) {
    int count = 0;
    for (const ZipEntry& entry : packageOf(fileName))
        if (entry.Name.startsWith("Pictures/") && entry.Data.startsWith("\x89PNG")) ++count;
    return count;
}

QString contentText(const QString& fileName) {
    const std::vector<ZipEntry> package = packageOf(fileName);
    const ZipEntry* content = FindEntry(package, "content.xml");
    return content ? QString::fromUtf8(content->Data) : QString();
}

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

class AutomaticChainTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // --- Run by the scheduler ---

    void everyReportPartWritesDataModelControllerAndReport() {
        Fixture f;
        f.setAutomatic([](AutomaticExperimentSettings& a) {
            a.Edit_Sam_Ts = "0.5";
            a.ScrollBar_Sam_Robust = 6;
            a.RadioGroup_Sam_PID = 3;
        });
        const std::vector<std::string> plantLog = f.plant.log;
        f.queue("run1", QTime(12, 0, 0));
        f.runAt(QTime(12, 0, 0));

        QCOMPARE(f.runs, QStringList{"run1"});
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(f.files(), QStringList({"run1.hvc", "run1.hvd", "run1.hvm", "run1.hvx", "run1.odt"}));
        QVERIFY(f.pictures().isEmpty());
        QVERIFY(f.page.Queue.Empty());
        QCOMPARE(f.page.SeznamCakajocihEkspCas->count(), 0);

        // Nothing reached the plant's controller.
        QVERIFY(f.plant.writes.empty());
        QCOMPARE(f.plant.log, plantLog);

        // The data file: the record with the Data page's window, written now.
        MeasuredData loaded;
        const DataFileHeader header = TObdelava().LoadDataFile(f.path("run1.hvd").toStdString(), loaded, '.');
        QCOMPARE(loaded.SampleCount, test::StepRecordSamples);
        QCOMPARE(header.windowStart, std::string("50"));
        QCOMPARE(header.windowEnd, std::to_string(test::StepRecordSamples));
        QCOMPARE(QString::fromStdString(header.date), QLocale::c().toString(Today, QLocale::ShortFormat));
        QCOMPARE(loaded.Column(6)[399], f.form.State.Data.Column(6)[399]);

        // The models identified from that window: the inner gain is 2.
        TModel model;
        double samplingTime = 0.0;
        IdentificationWindow window;
        model.LoadModelFile(f.path("run1.hvm").toStdString(), samplingTime, window, '.');
        QCOMPARE(samplingTime, test::StepRecordTs);
        QVERIFY2(std::abs(model.Inner.Gain - 2.0) < 0.05, qPrintable(QString::number(model.Inner.Gain)));
        QCOMPARE(window.WindowLength, test::StepRecordSamples - 50 + 1);

        // The controller tuned with the settings window's values.
        ModelParameters inner;
        ModelParameters outer;
        const ControllerSettings controller =
            TRegulator::LoadControllerFile(f.path("run1.hvc").toStdString(), inner, outer, '.');
        QCOMPARE(controller.SamplingTimeText, std::string("0.5"));
        QCOMPARE(controller.RobustPosition, 6);
        QCOMPARE(controller.ControllerType, 3);
        QCOMPARE(f.form.State.LoopSamplingTime, 0.5);
        QCOMPARE(f.form.State.RobustnessFactor, RobustnessFactor(6));
        QVERIFY(!f.form.ControllerPage_->Edit_Reg_Kp->text().isEmpty());

        // The report holds every part and the pages' texts.
        QCOMPARE(pictureCount(f.path("run1.odt")), 10);
        QVERIFY(contentText(f.path("run1.odt")).contains(f.form.ModelPage_->Edit_Gain->text()));
        // The chain refined the models and the report's refined lines show
        // what the Model page's group shows.
        QVERIFY(!f.form.ModelPage_->Label_RefinedTime->text().isEmpty());
        QVERIFY(contentText(f.path("run1.odt"))
                    .contains("Refined time constant [s] (95 % interval): " +
                              f.form.ModelPage_->Label_RefinedTime->text()));
    }

    // A run whose link was lost part way: the model comes from the plant's
    // samples of the window when enough remain, else there is none; the
    // events file, the report, the status line and one message say so.
    void aRunWithEventsIsIdentifiedOnlyFromThePlantsSamples() {
        Fixture f;
        int lostFrom = 301;
        f.page.RunExperiment = [&](const ExperimentStart&) {
            f.record();
            f.form.State.LastRunEvents.Reset();
            for (int k = lostFrom; k <= test::StepRecordSamples; ++k)
                f.form.State.LastRunEvents.Note(RunEventKind::LinkLost, "", k, (k - 1) * 0.5, "the connection ended",
                                                true);
        };
        f.queue("cut", QTime(12, 0, 0));
        f.runAt(QTime(12, 0, 0));
        QCOMPARE(f.files(), QStringList({"cut.events.txt", "cut.hvc", "cut.hvd", "cut.hvm", "cut.hvx", "cut.odt"}));
        TModel model;
        double samplingTime = 0.0;
        IdentificationWindow window;
        model.LoadModelFile(f.path("cut.hvm").toStdString(), samplingTime, window, '.');
        QCOMPARE(window.WindowLength, 300 - 50 + 1);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(
            f.dialogs.messages[0].startsWith("Automatic experiment cut did not run cleanly:\n- t = 150 s, sample "
                                             "301: link to the OPC server lost (the connection ended)"));
        QVERIFY(f.dialogs.messages[0].contains("limited to samples 50 to 300"));
        QCOMPARE(f.form.StatusBar1->currentMessage(), UnattendedRunStatusText("cut", 2));
        QVERIFY(contentText(f.path("cut.odt")).contains("Events of the experiment"));

        lostFrom = 120;
        f.queue("short", QTime(13, 0, 0));
        f.runAt(QTime(13, 0, 0));
        QVERIFY(!QFileInfo::exists(f.path("short.hvm")) && !QFileInfo::exists(f.path("short.hvc")));
        QVERIFY(QFileInfo::exists(f.path("short.events.txt")) && QFileInfo::exists(f.path("short.odt")));
        QVERIFY(f.dialogs.messages.last().contains("No model or controller was made"));
        QVERIFY(contentText(f.path("short.odt")).contains("No model or controller was made"));
    }

    // The window and halvetra-cli chain process the same record with the
    // same settings into the same files (the data file's date and time aside).
    void theWindowAndTheCommandLineWriteTheSameFiles() {
        const QString examples = QStringLiteral(HALVETRA_SOURCE_DIR "/examples/");
        const QString settings = examples + "simulation-steps.hvx";
        const QString record = examples + "cascade-steps.hvd";
        Fixture f;
        f.page.ApplySettingsLines(ReadTextLines(settings.toStdString()));
        f.dialogs.answer(record);
        f.form.DataPage_->Button3Click();
        f.page.CopyAutomaticSettings();
        const QString window = f.path("window");
        QVERIFY(QDir().mkpath(window));
        AutomaticRun run;
        run.Folder = window;
        run.Label = "simulation-steps";
        run.Settings = f.settings.Values();
        f.chain().Run(run);

        const QString cli = f.path("cli");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", "C");
        environment.insert("XDG_CONFIG_HOME", f.path("config"));
        environment.insert("XDG_DATA_HOME", f.path("data"));
        process.setProcessEnvironment(environment);
        process.start(HALVETRA_CLI_PATH, {"chain", settings, record, "--out", cli});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);

        const auto lines = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split("\r\n") : QStringList();
        };
        QStringList fromWindow = lines(window + "/simulation-steps.hvd");
        QStringList fromCli = lines(cli + "/simulation-steps.hvd");
        QVERIFY(fromWindow.size() > 5000);
        for (QStringList* file : {&fromWindow, &fromCli}) file->remove(2, 2);  // date and time
        QCOMPARE(fromWindow, fromCli);
        for (const char* extension : {".hvm", ".hvc"}) {
            const QStringList a = lines(window + "/simulation-steps" + extension);
            QVERIFY(!a.isEmpty());
            QCOMPARE(a, lines(cli + "/simulation-steps" + extension));
        }
        // The report's text (the writer names its styles differently from
        // run to run), but for the record's date and time in its summary.
        const auto text = [](const QString& path) {
            return contentText(path)
                .remove(QRegularExpression(QStringLiteral("<[^>]*>")))
                .remove(QRegularExpression(QStringLiteral("(?<=Experiment date)\\s*[^\\n]*?(?=\\s*Data file)")));
        };
        QVERIFY(text(window + "/simulation-steps.odt").contains("Controller"));
        QCOMPARE(text(window + "/simulation-steps.odt"), text(cli + "/simulation-steps.odt"));
    }

    void dontWriteToOpcGivesTheDataFileAndADataOnlyReport() {
        Fixture f;
        const QString gainBefore = f.form.ModelPage_->Edit_Gain->text();
        f.queue("quiet", QTime(12, 0, 0), true);
        f.runAt(QTime(12, 0, 0));
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(f.files(), QStringList({"quiet.hvd", "quiet.hvx", "quiet.odt"}));
        QVERIFY(f.pictures().isEmpty());
        QCOMPARE(pictureCount(f.path("quiet.odt")), 8);
        QVERIFY(!contentText(f.path("quiet.odt")).contains("Model parameters"));
        QCOMPARE(f.form.ModelPage_->Edit_Gain->text(), gainBefore);  // no model worked out
    }

    void withoutModelAndControllerOnlyDataFileAndReportAreWritten() {
        Fixture f;
        f.setAutomatic([](AutomaticExperimentSettings& a) {
            a.CheckBox_Sam_PorocMod = false;
            a.CheckBox_Sam_PorocReg = false;
        });
        f.queue("measured", QTime(12, 0, 0));
        f.setAutomatic([](AutomaticExperimentSettings& a) { a.CheckBox_Sam_PorocObd = false; });
        f.queue("bare", QTime(12, 1, 0));
        f.runAt(QTime(12, 0, 0));
        f.runAt(QTime(12, 1, 0));

        QCOMPARE(f.runs, QStringList({"measured", "bare"}));
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(f.files(),
                 QStringList({"bare.hvd", "bare.hvx", "bare.odt", "measured.hvd", "measured.hvx", "measured.odt"}));
        QVERIFY(f.pictures().isEmpty());
        QCOMPARE(pictureCount(f.path("measured.odt")), 8);
        QCOMPARE(pictureCount(f.path("bare.odt")), 0);  // only the OPC settings
    }

    void aFailingStepIsShownKeepsTheEarlierFilesAndTheQueueGoesOn() {
        Fixture f;
        f.setAutomatic([](AutomaticExperimentSettings& a) { a.Edit_Sam_Ts = "fast"; });
        f.queue("broken", QTime(12, 0, 0));
        f.setAutomatic([](AutomaticExperimentSettings& a) { a.Edit_Sam_Ts = "1"; });
        f.queue("next", QTime(12, 5, 0));

        f.runAt(QTime(12, 0, 0));
        QCOMPARE(f.dialogs.messages, QStringList{"'fast' is not a valid floating point value"});
        QCOMPARE(f.files(), QStringList({"broken.hvd", "broken.hvm", "broken.hvx", "next.hvx"}));
        QVERIFY(f.pictures().isEmpty());
        // The entry is gone and the one after it waits for its time.
        QCOMPARE(f.page.Queue.Labels(), std::vector<std::string>{"next"});
        QVERIFY(f.form.Timer_ExperimentScheduler->isActive());

        f.runAt(QTime(12, 1, 0));  // the broken run is not repeated
        QCOMPARE(f.runs, QStringList{"broken"});

        f.runAt(QTime(12, 5, 0));
        QCOMPARE(f.runs, QStringList({"broken", "next"}));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.files().contains("next.hvc") && f.files().contains("next.odt"));
        QVERIFY(f.page.Queue.Empty());
        QVERIFY(!f.form.Timer_ExperimentScheduler->isActive());
    }

    // --- Called directly ---

    void runReturnsTheFilesInTheOrderWritten() {
        Fixture f;
        f.record();
        AutomaticRun run;
        run.Folder = f.dir.path();
        run.Label = "direct";
        run.Settings.ScrollBar_Sam_Robust = 3;  // the page's own slider stays elsewhere
        f.form.ControllerPage_->ScrollBar_Robust->setValue(15);
        AutomaticChain chain = f.chain();
        const QStringList written = chain.Run(run);
        const QStringList expected = {native(f.path("direct.hvd")), native(f.path("direct.hvm")),
                                      native(f.path("direct.hvc")), native(f.path("direct.odt"))};
        QCOMPARE(written, expected);
        QCOMPARE(chain.FilesWritten(), expected);
        QCOMPARE(f.form.DataPage_->Label_Ime->text(), expected.front());  // the record's file, no longer "recorded"
        QCOMPARE(f.form.State.RobustnessFactor, RobustnessFactor(3));
        QVERIFY(f.pictures().isEmpty());
        QCOMPARE(f.enlarged.Chart1->title(), QString("Meritev 2"));
        QCOMPARE(f.histogram.Chart1->title(), QString("Histogram meritve 2"));
    }

    void anIntegratingChoiceIsKeptInTheModelFile() {
        Fixture f;
        f.record();
        f.form.State.InnerChoice = ProcessChoice::Integrating;
        AutomaticRun run;
        run.Folder = f.dir.path();
        run.Label = "level";
        run.Settings.ComboBox_Sam_IzbMetode = Simc;
        // The step record fits an integrator without dead time, which SIMC
        // refuses: the controller step fails after the model file.
        QVERIFY_THROWS_EXCEPTION(FloatingPointError, f.chain().Run(run));
        QCOMPARE(f.form.State.InnerModel.Type, ProcessType::Integrating);
        QFile model(f.path("level.hvm"));
        QVERIFY(model.open(QIODevice::ReadOnly));
        // The slope gain is marked, so that no reader takes it for a static gain.
        QVERIFY(QString::fromUtf8(model.readAll()).contains("integrating "));
    }

    void aFolderThatCannotBeWrittenFailsAtTheDataFile() {
        Fixture f;
        f.record();
        AutomaticRun run;
        run.Folder = f.path("gone");
        run.Label = "lost";
        AutomaticChain chain = f.chain();
        QVERIFY_THROWS_EXCEPTION(FileError, chain.Run(run));
        QVERIFY(chain.FilesWritten().isEmpty());
        QVERIFY(f.files().isEmpty());
    }

    void aFailedReportKeepsTheOtherFilesAndRemovesThePictures() {
        Fixture f;
        f.record();
        AutomaticRun run;
        run.Folder = f.dir.path();
        run.Label = "notemplate";
        run.Settings.Label13 = f.path("missing.ott").toStdString();
        AutomaticChain chain = f.chain();
        QVERIFY_THROWS_EXCEPTION(HalvetraError, chain.Run(run));
        QCOMPARE(chain.FilesWritten(), QStringList({native(f.path("notemplate.hvd")), native(f.path("notemplate.hvm")),
                                                    native(f.path("notemplate.hvc"))}));
        QCOMPARE(f.files(), QStringList({"notemplate.hvc", "notemplate.hvd", "notemplate.hvm"}));
    }

    void theApplicationWindowsProcessAutomaticRuns() {
        FakeDialogs dialogs;
        ManualClock clock{QDateTime(Today, QTime(10, 0, 0))};
        FakePlantAccess plant;
        ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, plant);
        const ReportSources& sources = windows.Form1->ReportPage_->Sources();
        QCOMPARE(sources.Histogram, windows.Form_Histogram.get());
        QCOMPARE(sources.Enlarged, windows.Form_Obdelava_Large.get());
        QCOMPARE(sources.Data, windows.Form1->DataPage_);
        QCOMPARE(sources.WindowCaption, QString(MainWindowCaption));
        QVERIFY(bool(windows.Form1->ExperimentPage_->ProcessAutomaticRun));
    }

    void aChainNeedsEveryPageAndWindow() {
        Fixture f;
        ReportSources sources = f.form.ReportPage_->Sources();
        sources.Histogram = nullptr;
        QVERIFY_THROWS_EXCEPTION(HalvetraError, AutomaticChain(f.form.State, sources));
    }
};

QTEST_MAIN(AutomaticChainTest)
#include "tst_AutomaticChain.moc"
