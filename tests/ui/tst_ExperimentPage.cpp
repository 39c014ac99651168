// The Experiment page: enabling rules, manual and automatic activation, the
// queue and its scheduler (driven tick by tick on a manual clock, with the
// experiment window replaced by a recorder), the settings file through "Save
// settings" / "Load settings", the copy of the automatic settings into the
// other pages, and the automatic-experiment settings window.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "FakeDialogs.h"
#include "FakePlantAccess.h"
#include "app/ApplicationWindows.h"
#include "app/TForm1.h"
#include "data/TextFile.h"
#include "experiment/Clock.h"
#include "settings/SettingsFile.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"
#include "ui/ReportPage.h"
#include "ui/SettingsMapping.h"
#include "ui/TEksperiment.h"
#include "controller/TRegulator.h"
#include "ui/TForm_SamodNastav.h"

using namespace halvetra;

namespace {

const QDate Today(2026, 5, 4);

struct Fixture {
    Fixture() {
        form.attachExperimentWindows(nullptr, &settings);
        page.PrepareExperiment = [this](const ExperimentStart& start) {
            prepared.push_back(start.Parameters.ExperimentLabel);
            preparedWhileApplying.push_back(form.State.ApplyingAutomaticSettings);
            if (failPrepare) throw std::runtime_error("item refused");
        };
        page.RunExperiment = [this](const ExperimentStart& start) {
            runs.push_back(start);
            runWhileApplying.push_back(form.State.ApplyingAutomaticSettings);
            if (duringRun) duringRun(start);
        };
    }

    FakeDialogs dialogs;
    ManualClock clock{QDateTime(Today, QTime(10, 0, 0))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    TForm_SamodNastav settings{dialogs};
    ExperimentPage& page = *form.ExperimentPage_;
    OpcPage& opc = *form.OpcPage_;
    QTemporaryDir dir;

    std::vector<ExperimentStart> runs;
    std::vector<std::string> prepared;
    std::vector<bool> preparedWhileApplying;
    std::vector<bool> runWhileApplying;
    std::function<void(const ExperimentStart&)> duringRun;
    bool failPrepare = false;

    QString path(const QString& name) const { return dir.filePath(name); }

    // An automatic experiment at `time` today, saved as `name`.
    void activate(const QString& time, const QString& name) {
        page.RadioAvtomatsko->setChecked(true);
        page.DateTimePicker1->setDate(Today);
        page.CajtZacetka->setText(time);
        dialogs.answer(name.isEmpty() ? QString() : path(name));
        page.AktivirajEksperiment->click();
    }
    void tick() { form.Timer_ExperimentSchedulerTimer(); }
    void at(const QTime& time) { clock.setNow(QDateTime(Today, time)); }

    QStringList times() const { return texts(page.SeznamCakajocihEkspCas); }
    QStringList labels() const { return texts(page.SeznamCakajocihEkspOznaka); }
    static QStringList texts(const QListWidget* list) {
        QStringList lines;
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
    QStringList runLabels() const {
        QStringList names;
        for (const ExperimentStart& s : runs) names << QString::fromStdString(s.Parameters.ExperimentLabel);
        return names;
    }
    bool schedulerOn() const { return form.Timer_ExperimentScheduler->isActive(); }
};

// Settings in which every stored value differs from its start-up value.
ExperimentSettings DistinctSettings(const QString& server) {
    ExperimentSettings s;
    s.ComboBox2 = server.toStdString();
    for (SignalRole role : AllSignalRoles) {
        const int row = SignalRow(role);
        s.OPCTabela[row][0] = "ns=1;s=Item" + std::to_string(row);
        s.OPCTabela[row][1] = "Description " + std::to_string(row);
    }
    s.RadioGroup4 = 0;
    s.ComboBox3 = 1;
    s.RadioGroup5 = 0;
    s.ComboBox4 = 1;
    s.CasVzorcenjaEdit = "0.25";
    s.OhraniZacetniVhod = true;
    s.ZacetniVhodEdit = "12.5";
    s.CasCakanjaEdit = "7";
    s.VelikostStopniceEdit = "3.5";
    s.CasStopniceEdit = "40";
    s.SteviloStopnicEdit = "3";
    s.CheckBox_ObeSmeri = true;
    s.CheckBox_Zaprtozancni = true;
    s.CheckBox_NePisi = true;
    s.RadioRocno = true;
    s.Edit_MVMax = "80";
    s.Edit_MVMin = "5";
    s.Edit_MVStep = "0.5";
    s.CajtZacetka = "13:45:30";
    s.CheckBox_ZZPoPoizkusu = false;
    s.CheckBox_Sekvencer = true;
    for (int k = 0; k < NonLinearityPoints; ++k) {
        s.StringGrid_Sekvencer[k][0] = std::to_string(10 * k);
        s.StringGrid_Sekvencer[k][1] = std::to_string(10 * k + 3);
    }
    AutomaticExperimentSettings& a = s.Automatic;
    a.Edit_Sam_Filt = "2.5";
    a.Edit_Sam_Max = "90";
    a.Edit_Sam_Min = "10";
    a.Edit_Sam_Velocity = "30";
    a.ComboBox_Sam_IzbMetode = 4;
    a.Edit_Sam_Ts = "0.2";
    a.ScrollBar_Sam_Robust = 17;
    a.RadioGroup_Sam_Prikaz = 1;
    a.ComboBox_Sam_TipReg = 3;
    a.Edit_Sam_SkalP = "1.5";
    a.Edit_Sam_SkalI = "0.5";
    a.Edit_Sam_SkalD = "2";
    a.RadioGroup_Sam_PID = 3;
    a.CheckBox_Sam_Cascade = true;
    a.CheckBox_Sam_Nalozi = true;
    a.CheckBox_Sam_PorocObd = false;
    a.CheckBox_Sam_PorocMod = false;
    a.CheckBox_Sam_PorocReg = false;
    a.Label13 = "/templates/plain.ott";
    return s;
}

}  // namespace

class ExperimentPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void enablingRulesFollowKindAndNoWrite() {
        Fixture f;
        ExperimentPage& p = f.page;
        const QList<QWidget*> closedLoopAndStart = {p.CheckBox_Zaprtozancni, p.CheckBox_ZZPoPoizkusu,
                                                    p.OhraniZacetniVhod, p.ZacetniVhodEdit};
        const QList<QWidget*> stepsWritten = {p.VelikostStopniceEdit, p.SteviloStopnicEdit, p.CheckBox_ObeSmeri};
        const QList<QWidget*> automaticOnly = {p.CasCakanjaEdit, p.CasStopniceEdit, p.DateTimePicker1, p.CajtZacetka,
                                               p.Button10};
        const auto enabled = [](const QList<QWidget*>& widgets, bool expected) {
            for (QWidget* w : widgets)
                if (w->isEnabled() != expected) return false;
            return true;
        };

        QVERIFY(p.RadioAvtomatsko->isChecked());  // the start-up kind
        QVERIFY(enabled(closedLoopAndStart, true) && enabled(stepsWritten, true) && enabled(automaticOnly, true));

        p.RadioRocno->click();
        QVERIFY(enabled(closedLoopAndStart, true));
        QVERIFY(enabled(stepsWritten, false) && enabled(automaticOnly, false));

        p.CheckBox_NePisi->click();  // manual, nothing written
        QVERIFY(enabled(closedLoopAndStart, false) && enabled(stepsWritten, false) && enabled(automaticOnly, false));

        p.RadioAvtomatsko->click();  // automatic, nothing written: waiting, step time, start stay
        QVERIFY(enabled(closedLoopAndStart, false) && enabled(stepsWritten, false));
        QVERIFY(enabled(automaticOnly, true));

        p.CheckBox_NePisi->click();
        QVERIFY(enabled(closedLoopAndStart, true) && enabled(stepsWritten, true));

        p.OhraniZacetniVhod->click();  // starting from the process: no initial input to type
        QVERIFY(!p.ZacetniVhodEdit->isEnabled());
        QVERIFY(p.OhraniZacetniVhod->isEnabled());
        p.CheckBox_NePisi->click();
        p.CheckBox_NePisi->click();  // re-applying the rules keeps it disabled
        QVERIFY(!p.ZacetniVhodEdit->isEnabled());
        p.OhraniZacetniVhod->click();
        QVERIFY(p.ZacetniVhodEdit->isEnabled());
    }

    void activationRaisesSamplingAndWaitingTimeBeforeSaving() {
        Fixture f;
        f.page.CasVzorcenjaEdit->setText("0.01");
        f.page.CasCakanjaEdit->setText("0");
        f.activate("11:00:00", "fast.hvx");
        QCOMPARE(f.page.CasVzorcenjaEdit->text(), QString("0.05"));
        QCOMPARE(f.page.CasCakanjaEdit->text(), QString("0.1"));
        std::vector<std::string> lines = ReadTextLines(f.path("fast.hvx").toStdString());
        QCOMPARE(lines.at(41), std::string("0.05"));
        QCOMPARE(lines.at(44), std::string("0.1"));

        f.page.CasVzorcenjaEdit->setText("1");
        f.page.CasCakanjaEdit->setText("0");
        f.activate("11:30:00", "slow.hvx");
        QCOMPARE(f.page.CasCakanjaEdit->text(), QString("2"));
        lines = ReadTextLines(f.path("slow.hvx").toStdString());
        QCOMPARE(lines.at(41), std::string("1"));
        QCOMPARE(lines.at(44), std::string("2"));

        f.page.CasCakanjaEdit->setText("5");  // long enough: kept as typed
        f.activate("11:45:00", "kept.hvx");
        QCOMPARE(f.page.CasCakanjaEdit->text(), QString("5"));

        f.page.CasVzorcenjaEdit->setText("x");  // reported; nothing saved or queued
        f.activate("12:00:00", "never.hvx");
        QCOMPARE(f.dialogs.messages, QStringList({"'x' is not a valid floating point value"}));
        QVERIFY(!QFile::exists(f.path("never.hvx")));
        QCOMPARE(f.times().size(), 3);
    }

    void startCheckRefusesAndSetCurrentTimeAccepts() {
        Fixture f;
        f.activate("10:00:00", "now.hvx");  // now is 10:00:00 today
        QCOMPARE(f.dialogs.messages, QStringList({"Start of experiment is earlier than current time"}));
        QVERIFY(f.dialogs.shown.empty());  // refused before the save dialog
        QVERIFY(f.times().isEmpty());
        QVERIFY(!f.schedulerOn());
        QCOMPARE(f.dialogs.answers.size(), std::size_t(1));
        f.dialogs.answers.clear();

        f.page.DateTimePicker1->setDate(Today.addDays(-1));  // any time of yesterday is refused too
        f.page.CajtZacetka->setText("23:00:00");
        f.dialogs.answer(f.path("yesterday.hvx"));
        f.page.AktivirajEksperiment->click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        f.dialogs.answers.clear();

        f.page.DateTimePicker1->setDate(Today);
        f.page.Button1->click();  // now + 8.64 s
        QCOMPARE(f.page.CajtZacetka->text(), QString("10:00:08"));
        QCOMPARE(f.page.DateTimePicker1->date(), Today);
        f.dialogs.answer(f.path("soon.hvx"));
        f.page.AktivirajEksperiment->click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.times(), QStringList({f.page.Queue.StartText(Today, "10:00:08").c_str()}));
        QCOMPARE(f.labels(), QStringList({"soon"}));
        QCOMPARE(f.form.State.QueuedExperimentFolders, QStringList({f.dir.path()}));
        QCOMPARE(f.form.State.WorkingFolder, f.dir.path());
        QVERIFY(f.schedulerOn());

        f.at(QTime(10, 0, 7));
        f.tick();
        QVERIFY(f.runs.empty());
        f.at(QTime(10, 0, 8));
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"soon"}));
        QVERIFY(f.times().isEmpty());
        QVERIFY(!f.schedulerOn());
    }

    void setCurrentTimeShortlyBeforeMidnightMovesTheDate() {
        Fixture f;
        f.at(QTime(23, 59, 55));
        f.page.DateTimePicker1->setDate(Today);
        f.page.Button1->click();
        QCOMPARE(f.page.CajtZacetka->text(), QString("00:00:03"));
        QCOMPARE(f.page.DateTimePicker1->date(), Today.addDays(1));
        f.dialogs.answer(f.path("night.hvx"));
        f.page.AktivirajEksperiment->click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.labels(), QStringList({"night"}));
    }

    void queuedExperimentsRunInStartOrderWithTheirFiles() {
        Fixture f;
        f.page.CasVzorcenjaEdit->setText("0.5");
        f.page.CasCakanjaEdit->setText("4");
        f.page.VelikostStopniceEdit->setText("2.5");
        f.page.CasStopniceEdit->setText("30");
        f.page.SteviloStopnicEdit->setText("2");
        f.page.CheckBox_ObeSmeri->setChecked(true);
        f.opc.SetItemId(SignalRole::MV1, "MV");
        f.opc.SetItemId(SignalRole::U1, "U");
        f.opc.SetItemId(SignalRole::Y1, "Y1");
        f.opc.SetItemId(SignalRole::Y2, "Y2");
        f.opc.SetItemId(SignalRole::InnerManual, "Man");
        f.opc.SetItemId(SignalRole::InnerAutomatic, "Auto");
        f.opc.SetDescription(SignalRole::Y1, "Level");
        f.activate("12:00:00", "first.hvx");
        f.page.CasVzorcenjaEdit->setText("2");
        f.activate("12:00:00", "second.hvx");  // same start: after the first
        f.activate("11:00:00", "early.hvx");   // earlier start: before both
        f.activate("12:00:01", "late.hvx");
        QCOMPARE(f.labels(), QStringList({"early", "first", "second", "late"}));
        QCOMPARE(f.form.State.QueuedExperimentFolders.size(), 4);
        QCOMPARE(f.times().at(1), QString::fromStdString(f.page.Queue.StartText(Today, "12:00:00")));

        // The page moves on meanwhile; each run takes its own file.
        f.page.CasVzorcenjaEdit->setText("9");
        f.page.RadioRocno->setChecked(true);
        f.opc.SetItemId(SignalRole::MV1, "other");
        f.form.State.WorkingFolder = "/elsewhere";

        f.at(QTime(12, 0, 0));
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"early"}));
        QVERIFY(f.schedulerOn());  // three left
        f.tick();
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"early", "first", "second"}));
        QCOMPARE(f.labels(), QStringList({"late"}));
        f.tick();  // 12:00:01 is not there yet
        QCOMPARE(f.runs.size(), std::size_t(3));

        const ExperimentStart& first = f.runs[1];
        QVERIFY(first.Automatic);
        QCOMPARE(first.Parameters.SamplingMs, 500);
        QCOMPARE(first.Parameters.WaitingTime, 4.0);
        QCOMPARE(first.Parameters.StepAmplitude, 2.5);
        QCOMPARE(first.Parameters.StepTime, 30.0);
        QCOMPARE(first.Parameters.NumberOfSteps, 2);
        QVERIFY(first.Parameters.BothDirections);
        QVERIFY(first.Parameters.ClosedLoopAfter);
        QCOMPARE(first.Items.MV, std::string("MV"));
        QCOMPARE(first.Items.U, std::string("U"));
        QCOMPARE(first.Items.Y2, std::string("Y2"));
        QVERIFY(!first.Items.SingleMASwitch);
        QCOMPARE(first.Items.Manual, std::string("Man"));
        QCOMPARE(first.Items.Automatic, std::string("Auto"));
        QCOMPARE(first.Slider.Maximum, 100.0);
        QCOMPARE(f.runs[2].Parameters.SamplingMs, 2000);
        QCOMPARE(f.prepared, std::vector<std::string>({"early", "first", "second"}));

        // The last file is back in the controls; the working folder is its folder.
        QCOMPARE(f.page.CasVzorcenjaEdit->text(), QString("2"));
        QVERIFY(f.page.RadioAvtomatsko->isChecked());
        QCOMPARE(f.opc.ItemId(SignalRole::MV1), std::string("MV"));
        QCOMPARE(f.form.State.WorkingFolder, f.dir.path());
        QCOMPARE(f.form.State.Data.SignalDescriptions[4], std::string("Level"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void aStartPassedDuringARunStartsAtTheNextTick() {
        Fixture f;
        f.activate("12:00:00", "long.hvx");
        f.activate("12:00:05", "next.hvx");
        f.duringRun = [&f](const ExperimentStart&) {
            f.clock.advance(10 * 60 * 1000);  // a ten-minute run
            QVERIFY(!f.schedulerOn());        // no ticks while it runs
        };
        f.at(QTime(12, 0, 0));
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"long"}));
        QVERIFY(f.schedulerOn());
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"long", "next"}));
        QVERIFY(!f.schedulerOn());
        QVERIFY(f.form.State.QueuedExperimentFolders.isEmpty());
    }

    void anEntryDueDuringAManualRunWaitsForItsEnd() {
        Fixture f;
        f.activate("12:00:00", "queued.hvx");
        f.page.RadioRocno->setChecked(true);
        f.dialogs.answer(f.path("manual.hvx"));
        f.duringRun = [&f](const ExperimentStart& start) {
            if (start.Automatic) return;
            f.at(QTime(12, 30, 0));
            QVERIFY(f.schedulerOn());  // the timer fires inside the modal window
            f.tick();
            QCOMPARE(f.runs.size(), std::size_t(1));
        };
        f.page.AktivirajEksperiment->click();
        QCOMPARE(f.labels(), QStringList({"queued"}));
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"manual", "queued"}));
    }

    void aCancelledSettingsDialogQueuesNothing() {
        Fixture f;
        f.activate("12:00:00", QString());
        QCOMPARE(f.dialogs.messages,
                 QStringList({"The experiment was not activated because its settings were not saved"}));
        QCOMPARE(f.dialogs.shown.size(), std::size_t(1));
        QCOMPARE(f.dialogs.shown[0].name, QString("SaveDialog1"));
        QCOMPARE(f.dialogs.shown[0].title, QString());
        QVERIFY(f.times().isEmpty() && f.labels().isEmpty());
        QVERIFY(f.form.State.QueuedExperimentFolders.isEmpty());
        QVERIFY(!f.schedulerOn());
    }

    void aBrokenEntryIsReportedAndRemovedAndTheNextOneRuns() {
        Fixture f;
        f.activate("12:00:00", "gone.hvx");
        f.activate("12:00:00", "short.hvx");
        f.activate("12:00:00", "refused.hvx");
        f.activate("12:00:00", "good.hvx");
        QVERIFY(QFile::remove(f.path("gone.hvx")));
        std::vector<std::string> lines = ReadTextLines(f.path("short.hvx").toStdString());
        lines.resize(60);
        WriteTextFile(f.path("short.hvx").toStdString(), lines);
        f.at(QTime(12, 0, 0));

        f.tick();  // unreadable
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages[0].contains("gone.hvx"));
        QVERIFY(f.runs.empty());
        QCOMPARE(f.labels(), QStringList({"short", "refused", "good"}));
        QVERIFY(f.schedulerOn());

        f.tick();  // too short
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.labels(), QStringList({"refused", "good"}));

        f.failPrepare = true;  // an item the plant refuses
        f.tick();
        QCOMPARE(f.dialogs.messages.last(), QString("item refused"));
        QVERIFY(f.runs.empty());
        QCOMPARE(f.labels(), QStringList({"good"}));

        f.failPrepare = false;
        f.tick();
        QCOMPARE(f.runLabels(), QStringList({"good"}));
        QVERIFY(f.labels().isEmpty());
        QVERIFY(!f.schedulerOn());
        QCOMPARE(f.dialogs.messages.size(), 3);
    }

    void deleteKeyRemovesTheLineUnderTheCaret() {
        Fixture f;
        f.activate("12:00:00", "a.hvx");
        f.activate("13:00:00", "b.hvx");
        f.activate("14:00:00", "c.hvx");
        QListWidget* list = f.page.SeznamCakajocihEkspCas;
        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(f.labels(), QStringList({"a", "c"}));
        QCOMPARE(f.times().size(), 2);
        QCOMPARE(f.form.State.QueuedExperimentFolders.size(), 2);
        QVERIFY(f.schedulerOn());
        QTest::keyClick(list, Qt::Key_Backspace);  // other keys do nothing
        QCOMPARE(f.labels().size(), 2);

        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(f.labels().isEmpty() && f.times().isEmpty());
        QVERIFY(!f.schedulerOn());
        QTest::keyClick(list, Qt::Key_Delete);  // nothing left: nothing happens
        QVERIFY(f.dialogs.messages.isEmpty());

        f.at(QTime(15, 0, 0));
        f.tick();
        QVERIFY(f.runs.empty());
    }

    void manualActivationRunsAtOnceAndShowsTheDataPage() {
        Fixture f;
        f.page.RadioRocno->setChecked(true);
        f.page.CasVzorcenjaEdit->setText("0.2");
        f.page.ZacetniVhodEdit->setText("35");
        f.page.CheckBox_Zaprtozancni->setChecked(true);
        f.page.CheckBox_ZZPoPoizkusu->setChecked(false);
        f.page.Edit_MVMax->setText("60");
        f.page.Edit_MVStep->setText("0.5");
        for (SignalRole role : {SignalRole::MV1, SignalRole::MV2, SignalRole::U1, SignalRole::U2, SignalRole::Y1,
                                SignalRole::Y2, SignalRole::InnerMA})
            f.opc.SetItemId(role, "id" + std::to_string(SignalRow(role)));
        f.opc.SetDescription(SignalRole::MV1, "Valve");
        f.opc.SetDescription(SignalRole::Y2, "Outer level");
        f.opc.radioGroup4Items->button(0)->click();  // one M/A item
        f.opc.ComboBox3->setCurrentIndex(1);
        f.form.PageControl1->setCurrentIndex(TForm1::EkspTab);
        f.form.State.Data.SampleCount = 500;
        f.duringRun = [&f](const ExperimentStart&) {
            QCOMPARE(f.form.State.Data.ColumnCount, 6);
            QCOMPARE(f.form.State.Data.SampleCount, 1);
            QCOMPARE(f.form.State.Data.SamplingTime, 0.2);
        };
        f.dialogs.answer(f.path("step test.hvx"));
        f.page.AktivirajEksperiment->click();

        QCOMPARE(f.runs.size(), std::size_t(1));
        const ExperimentStart& run = f.runs[0];
        QVERIFY(!run.Automatic);
        QCOMPARE(run.Parameters.ExperimentLabel, std::string("step test"));
        QCOMPARE(run.Parameters.SamplingMs, 200);
        QCOMPARE(run.Parameters.InitialInput, 35.0);
        QVERIFY(run.Parameters.ClosedLoopDuring);
        QVERIFY(!run.Parameters.ClosedLoopAfter);
        QVERIFY(!run.Parameters.StartFromProcess);
        QCOMPARE(run.Items.MV, std::string("id0"));
        QCOMPARE(run.Items.U, std::string("id2"));
        QCOMPARE(run.Items.Y1, std::string("id4"));
        QCOMPARE(run.Items.Y2, std::string("id5"));
        QVERIFY(run.Items.SingleMASwitch);
        QCOMPARE(run.Items.MA, std::string("id10"));
        QCOMPARE(run.Items.ManualValue, 1);
        QCOMPARE(run.Slider.Maximum, 60.0);
        QCOMPARE(run.Slider.Step, 0.5);
        QCOMPARE(f.form.State.Data.SignalDescriptions[0], std::string("Valve"));
        QCOMPARE(f.form.State.Data.SignalDescriptions[5], std::string("Outer level"));
        QCOMPARE(f.form.PageControl1->currentIndex(), int(TForm1::ObdTab));
        QVERIFY(QFile::exists(f.path("step test.hvx")));
        // The dialog's title says why it appears; "Save settings" keeps the plain title.
        QCOMPARE(f.dialogs.shown.back().title, QString(ManualSaveTitle));
        QVERIFY(f.times().isEmpty());  // nothing queued
        QVERIFY(!f.schedulerOn());

        // A cancelled save: the run goes on under the proposed name.
        f.page.CajtZacetka->setText("09:15:00");
        f.dialogs.answer(QString());
        f.page.AktivirajEksperiment->click();
        QCOMPARE(f.runs.size(), std::size_t(2));
        const std::string proposed =
            ProposedSettingsFileName("09:15:00", ShortDateText(f.page.DateTimePicker1->date(), QLocale()));
        QCOMPARE(f.runs[1].Parameters.ExperimentLabel, LabelOfSettingsFile(proposed));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void manualActivationThroughTheExperimentWindow() {
        FakeDialogs dialogs;
        ManualClock clock{QDateTime(Today, QTime(10, 0, 0))};
        FakePlantAccess plant;
        plant.clock = &clock;  // the wait for MV1's quality passes in simulated time
        ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, plant);
        TForm1& form = *windows.Form1;
        ExperimentPage& page = *form.ExperimentPage_;
        bool shownModally = false;
        windows.Eksperiment->ModalLoop = [&](TEksperiment& window) {
            shownModally = true;
            QVERIFY(window.RocniAvtomatski->isHidden());
            window.SampleNow();
            window.KonecEksperimenta->click();
        };
        page.RadioRocno->setChecked(true);
        dialogs.answer(QString());  // no file
        page.AktivirajEksperiment->click();
        QVERIFY(shownModally);
        QCOMPARE(form.PageControl1->currentIndex(), int(TForm1::ObdTab));
        QCOMPARE(form.State.Data.ColumnCount, 6);
        QCOMPARE(form.State.Data.SampleCount, 10);  // a short record is padded
        QCOMPARE(form.State.Data.SamplingTime, 1.0);
    }

    void settingsRoundTripRestoresEveryStoredControl() {
        QTemporaryDir dir;
        const QString file = dir.filePath("all.hvx");
        const ExperimentSettings want = DistinctSettings("opc.tcp://plant-b:4841");
        {
            Fixture f;
            f.plant.servers = {"opc.tcp://plant-a:4840", "opc.tcp://plant-b:4841"};
            f.opc.FillServerList();
            WriteSettingsControls(want, f.opc, f.page, &f.settings);
            QCOMPARE(ReadSettingsControls(f.opc, f.page, &f.settings), want);
            f.dialogs.answer(file);
            f.page.ShraniNastavitve->click();
            QCOMPARE(f.dialogs.shown.at(0).name, QString("SaveDialog1"));
            QCOMPARE(f.dialogs.shown.at(0).filter, QString("Halvetra Experiment (*.hvx)|*.hvx|All files|*.*"));
            QCOMPARE(f.dialogs.shown.at(0).defaultExt, QString("hvx"));
            QCOMPARE(ReadTextLines(file.toStdString()), BuildSettingsLines(want));
            QCOMPARE(f.form.State.WorkingFolder, dir.path());
            for (const FileDialog* d :
                 {&f.form.Files.SaveDialog2, &f.form.Files.SaveDialog_Model, &f.form.Files.SaveDialog_Controller,
                  &f.form.Files.OpenDialog1, &f.form.Files.OpenDialog_Model, &f.form.Files.OpenDialog_Controller})
                QCOMPARE(d->InitialDir, dir.path());
        }

        Fixture f;
        f.plant.servers = {"opc.tcp://plant-a:4840", "opc.tcp://plant-b:4841"};
        f.opc.FillServerList();
        const QString folderBefore = f.form.State.WorkingFolder;
        f.dialogs.answer(file);
        f.page.NaloziNastavitve->click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.shown.at(0).name, QString("OpenDialog1"));
        QCOMPARE(f.dialogs.shown.at(0).filter, QString("Experiment (*.hvx)|*.hvx|All files|*.*"));
        QCOMPARE(f.dialogs.shown.at(0).filterIndex, 1);
        QCOMPARE(ReadSettingsControls(f.opc, f.page, &f.settings), want);
        QCOMPARE(f.form.State.WorkingFolder, folderBefore);  // loading leaves it

        // The controls themselves, and the rules that follow them.
        QCOMPARE(f.opc.ComboBox2->currentText(), QString("opc.tcp://plant-b:4841"));
        QCOMPARE(f.opc.OPCTabela->item(19, 1)->text(), QString("Description 19"));
        QVERIFY(f.opc.RadioButton(10)->isEnabled());   // inner M/A item
        QVERIFY(!f.opc.RadioButton(11)->isEnabled());  // inner Manual
        QVERIFY(f.opc.ComboBox3->isEnabled());
        QCOMPARE(f.opc.ComboBox4->currentText(), QString("1"));
        QVERIFY(f.page.RadioRocno->isChecked());
        QCOMPARE(f.page.CasStopniceEdit->text(), QString("40"));
        QCOMPARE(f.page.CajtZacetka->text(), QString("13:45:30"));
        QCOMPARE(f.page.StringGrid_Sekvencer->item(9, 1)->text(), QString("93"));
        QVERIFY(!f.page.VelikostStopniceEdit->isEnabled());   // manual kind
        QVERIFY(!f.page.CheckBox_Zaprtozancni->isEnabled());  // nothing written
        QCOMPARE(f.settings.ScrollBar_Sam_Robust->value(), 17);
        QCOMPARE(f.settings.Label_Sam_Robust->text(), TForm_SamodNastav::RobustnessText(17));
        QCOMPARE(f.settings.Label13->text(), QString("/templates/plain.ott"));
        QVERIFY(f.settings.CheckBox_Sam_Nalozi->isChecked());
        QCOMPARE(f.settings.pidItems->checkedId(), 3);

        // A server the list does not hold selects none; a short file changes nothing.
        std::vector<std::string> lines = BuildSettingsLines(want);
        lines[0] = "opc.tcp://unknown:1";
        WriteTextFile(file.toStdString(), lines);
        f.dialogs.answer(file);
        f.page.NaloziNastavitve->click();
        QCOMPARE(f.opc.ComboBox2->currentIndex(), -1);
        lines.resize(50);
        lines[41] = "0.75";
        WriteTextFile(file.toStdString(), lines);
        f.dialogs.answer(file);
        f.page.NaloziNastavitve->click();
        QCOMPARE(f.dialogs.messages, QStringList({"List index out of bounds (50)"}));
        QCOMPARE(f.page.CasVzorcenjaEdit->text(), QString("0.25"));

        // A cancelled load reads nothing.
        f.page.NaloziNastavitve->click();
        QCOMPARE(f.page.CasVzorcenjaEdit->text(), QString("0.25"));
    }

    void automaticSettingsAreCopiedUnderTheGuard() {
        Fixture f;
        ControllerPage& controller = *f.form.ControllerPage_;
        QList<bool> seen;
        connect(controller.ComboBox1, &QComboBox::currentIndexChanged, this,
                [&] { seen << f.form.State.ApplyingAutomaticSettings; });
        connect(f.form.ModelPage_->CheckBox_Model_Outer, &QCheckBox::toggled, this,
                [&] { seen << f.form.State.ApplyingAutomaticSettings; });
        f.settings.SetValues(DistinctSettings(QString()).Automatic);
        f.activate("12:00:00", "auto.hvx");
        f.at(QTime(12, 0, 0));
        f.tick();

        QCOMPARE(f.runs.size(), std::size_t(1));
        QCOMPARE(seen, QList<bool>({true, true}));  // the copy ran under the flag
        QCOMPARE(f.preparedWhileApplying, std::vector<bool>({false}));
        QCOMPARE(f.runWhileApplying, std::vector<bool>({false}));
        QVERIFY(!f.form.State.ApplyingAutomaticSettings);
        QVERIFY(f.dialogs.messages.isEmpty());  // no recalculation without a model

        QVERIFY(f.form.ModelPage_->CheckBox_Model_Outer->isChecked());
        QVERIFY(controller.CheckBox_CascadeReg->isChecked());
        QCOMPARE(f.form.DataPage_->Edit8->text(), QString("2.5"));
        QCOMPARE(f.form.DataPage_->Edit_Actuator_Maximum->text(), QString("90"));
        QCOMPARE(f.form.DataPage_->Edit_Actuator_Minimum->text(), QString("10"));
        QCOMPARE(f.form.DataPage_->Edit_Actuator_Velocity->text(), QString("30"));
        QCOMPARE(controller.ComboBox1->currentIndex(), 4);
        QCOMPARE(controller.Edit_Vzorcenje->text(), QString("0.2"));
        QCOMPARE(controller.ScrollBar_Robust->value(), 17);
        QCOMPARE(controller.motnjaItems->checkedId(), 1);
        QCOMPARE(controller.ComboBox_Regulator->currentIndex(), 3);
        QCOMPARE(controller.Edit_Reg_ScaleP->text(), QString("1.5"));
        QCOMPARE(controller.Edit_Reg_ScaleI->text(), QString("0.5"));
        QCOMPARE(controller.Edit_Reg_ScaleD->text(), QString("2"));
        QCOMPARE(controller.izbiraTipaRegItems->checkedId(), 3);
        const ReportPage& report = *f.form.ReportPage_;
        QVERIFY(!report.CheckBox1->isChecked() && !report.CheckBox2->isChecked() && !report.CheckBox3->isChecked());

        // Outside the copy the same change recalculates (and fails without a model).
        controller.ComboBox1->setCurrentIndex(0);
        QCOMPARE(seen.last(), false);
        QCOMPARE(f.dialogs.messages.size(), 1);
    }

    void settingsWindowHoldsItsValues() {
        FakeDialogs dialogs;
        TForm_SamodNastav w(dialogs);
        QCOMPARE(w.windowTitle(), QString("Additional settings for automatic experiment"));
        QCOMPARE(w.Values(), AutomaticExperimentSettings{});                 // the start-up values
        QCOMPARE(w.ComboBox_Sam_IzbMetode->count(), TuningMethodCount - 1);  // every rule, no empty entry
        QCOMPARE(w.ComboBox_Sam_IzbMetode->currentText(), QString("MOMI method - tracking"));
        // The stored value is the method's number, also past the page's empty entry 6.
        AutomaticExperimentSettings amigo;
        amigo.ComboBox_Sam_IzbMetode = Amigo;
        w.SetValues(amigo);
        QCOMPARE(w.ComboBox_Sam_IzbMetode->currentText(), QString("AMIGO"));
        QCOMPARE(w.Values().ComboBox_Sam_IzbMetode, int(Amigo));
        w.SetValues({});
        QCOMPARE(w.ComboBox_Sam_TipReg->currentText(), QString("General parallel (Kp, Ki, Kd)"));
        QCOMPARE(w.pidItems->checkedButton()->text(), QString("PI"));
        QCOMPARE(w.ScrollBar_Sam_Robust->minimum(), 0);
        QCOMPARE(w.ScrollBar_Sam_Robust->maximum(), 20);
        QCOMPARE(w.ScrollBar_Sam_Robust->pageStep(), 5);
        QCOMPARE(w.Label_Sam_Robust->text(), QString("1"));
        QVERIFY(w.CheckBox_Sam_Nalozi->isHidden() && !w.CheckBox_Sam_Nalozi->isEnabled());

        w.ScrollBar_Sam_Robust->setValue(0);
        QCOMPARE(w.Label_Sam_Robust->text(), QString("0.100"));
        w.ScrollBar_Sam_Robust->setValue(20);
        QCOMPARE(w.Label_Sam_Robust->text(), QString("2.646"));
        w.ScrollBar_Sam_Robust->setValue(10);
        QCOMPARE(w.Label_Sam_Robust->text(), QString("1.000"));
        QLocale::setDefault(QLocale(QLocale::Slovenian));
        w.ScrollBar_Sam_Robust->setValue(5);
        QCOMPARE(w.Label_Sam_Robust->text(), QString("0,418"));

        dialogs.answer(QString());  // cancelled: the bare default stays
        w.Button_Sam_IzberiPredlogo->click();
        QCOMPARE(w.Label13->text(), QString("normal.dot"));
        QCOMPARE(dialogs.shown.at(0).filter, QString());
        dialogs.answer("/home/user/templates/report.ott");
        w.Button_Sam_IzberiPredlogo->click();
        QCOMPARE(w.Label13->text(), QString("/home/user/templates/report.ott"));
    }

    void detailedSettingsButtonShowsTheWindowModelessly() {
        Fixture f;
        f.page.Button10->click();
        QVERIFY(f.settings.isVisible());
        QVERIFY(!f.settings.isModal());
        f.settings.Edit_Sam_Filt->setText("4");
        f.settings.Button_Sam_OK->click();
        QVERIFY(!f.settings.isVisible());
        QCOMPARE(f.settings.Edit_Sam_Filt->text(), QString("4"));  // kept, and saved with the settings
        f.activate("12:00:00", "filter.hvx");
        QCOMPARE(ReadTextLines(f.path("filter.hvx").toStdString()).at(55), std::string("4"));
        f.page.RadioRocno->setChecked(true);
        QVERIFY(!f.page.Button10->isEnabled());
    }
};

QTEST_MAIN(ExperimentPageTest)
#include "tst_ExperimentPage.moc"
