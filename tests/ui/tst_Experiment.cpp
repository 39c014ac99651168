// The experiment window: runs against the built-in simulation and a scripted
// plant, driven sample by sample, and the record each run leaves on the Data
// page.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <utility>

#include "FakePlantAccess.h"
#include "app/TForm1.h"
#include "data/TObdelava.h"
#include "experiment/Clock.h"
#include "opc/PlantAccessError.h"
#include "ui/Chart.h"
#include "ui/DataPage.h"
#include "ui/TEksperiment.h"

using namespace halvetra;

namespace {

// Message boxes as the test sees them; `whileShown` runs while a box is up,
// as the timer's ticks would in the box's own event loop.
class ScriptedDialogs final : public Dialogs {
public:
    // A file dialog chooses saveAs, or is cancelled when it is empty.
    bool execute(FileDialog& dialog) override {
        if (saveAs.isEmpty()) return false;
        dialog.FileName = saveAs;
        return true;
    }
    QString saveAs;
    void showMessage(const QString& text) override {
        messages << text;
        if (whileShown) whileShown();
    }
    std::optional<std::vector<std::string>> browseItems(PlantAccess&) override { return std::nullopt; }
    CertificateTrust trustCertificate(const ServerCertificate&) override { return CertificateTrust::Reject; }

    QStringList messages;
    std::function<void()> whileShown;
};

// The scripted plant, with items whose reads fail.
class FailingPlant final : public PlantAccess {
public:
    FakePlantAccess inner;
    std::set<std::string> failingReads;
    std::set<std::string> refusedWrites;  // the server answers BadNotWritable

    std::vector<std::string> ListServers() override { return inner.ListServers(); }
    void Connect(const std::string& server, const ConnectionOptions& options) override {
        inner.Connect(server, options);
    }
    std::string ServerStateText() override { return inner.ServerStateText(); }
    void Disconnect() override { inner.Disconnect(); }
    bool IsConnected() const override { return inner.IsConnected(); }
    PlantGroup& AddGroup(const std::string& name) override { return inner.AddGroup(name); }
    void SetDeadBand(PlantGroup& group, double percent) override { inner.SetDeadBand(group, percent); }
    void SetUpdateRate(PlantGroup& group, int ms) override { inner.SetUpdateRate(group, ms); }
    void ClearItems(PlantGroup& group) override { inner.ClearItems(group); }
    ItemHandle AddItem(PlantGroup& group, const std::string& id) override { return inner.AddItem(group, id); }
    double ReadValue(const ItemHandle& item) override {
        if (failingReads.count(item->Id)) throw PlantAccessError("Cannot read " + item->Id + "\nBadNodeIdUnknown");
        return inner.ReadValue(item);
    }
    bool QualityIsGood(const ItemHandle& item) override { return inner.QualityIsGood(item); }
    void WriteValue(const ItemHandle& item, double value) override {
        if (refusedWrites.count(item->Id))
            throw PlantAccessError("Cannot write Items:\n" + item->Id + ": BadNotWritable");
        inner.WriteValue(item, value);
    }
    void WriteValue(const ItemHandle& item, int value) override { inner.WriteValue(item, value); }
    void WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>& values) override {
        inner.WriteValues(items, values);
    }
    std::vector<BrowseNode> Browse(const std::string& id) override { return inner.Browse(id); }
};

ExperimentParameters parameters(const std::string& label, double initialInput) {
    ExperimentParameters p;
    p.ExperimentLabel = label;
    p.SamplingMs = 1000;
    p.InitialInput = initialInput;
    p.ClosedLoopAfter = true;
    return p;
}

// The main window with its Data page, and the experiment window on the same
// plant, clock and measured data. The plant is not connected unless a test
// connects it; each quality check moves the clock past the whole wait.
struct Fixture {
    Fixture() {
        plant.inner.clock = &clock;
        plant.inner.millisecondsPerCheck = 3000;
        const char* descriptions[] = {"Valve", "Valve 2", "Flow", "Flow 2", "Level", "Temperature"};
        for (int c = 0; c < 6; ++c) form.State.Data.SignalDescriptions[static_cast<std::size_t>(c)] = descriptions[c];
    }

    static ExperimentItemIds items() {
        return {"ns=1;s=MV", "ns=1;s=U", "ns=1;s=Y1", "ns=1;s=Y2", true, "ns=1;s=MA", 1, "", ""};
    }

    // One run, its modal part played by `drive`.
    bool run(const ExperimentParameters& p, bool automatic, std::function<void(TEksperiment&)> drive,
             SliderSettings slider = {100.0, 0.0, 1.0}) {
        window.PrepareRun(p, items(), automatic);
        window.ModalLoop = std::move(drive);
        manualChecked = !automatic;
        return window.RunModal(
            slider, automatic, [this] { return manualChecked; }, [this] { manualChecked = true; });
    }

    // Samples until the run ends by itself (at most `limit`).
    static int sampleToEnd(TEksperiment& w, int limit = 6000) {
        int taken = 0;
        while (w.Run().Running() && taken < limit) {
            w.SampleNow();
            ++taken;
        }
        return taken;
    }

    double raw(int column, int row) const { return form.State.Data.Column(column)[static_cast<std::size_t>(row - 1)]; }
    std::vector<double> rawRange(int column, int first, int last) const {
        std::vector<double> v;
        for (int row = first; row <= last; ++row) v.push_back(raw(column, row));
        return v;
    }

    ScriptedDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 6, 1), QTime(8, 0))};
    FailingPlant plant;
    TForm1 form{dialogs, clock, plant};
    DataPage& page = *form.DataPage_;
    TEksperiment window{dialogs, clock, plant, form.State.Data, page, 4711u};
    bool manualChecked = true;
};

std::vector<double> repeated(double value, int times) { return std::vector<double>(std::size_t(times), value); }

int points(const QCPGraph* series) { return series->data()->size(); }

void checkSlider(const QScrollBar* bar, int minimum, int maximum, int value) {
    QCOMPARE(bar->minimum(), minimum);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), value);
}

}  // namespace

class ExperimentWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void aManualRunOnTheSimulationEndsOnTheDataPage() {
        Fixture f;
        f.page.Edit8->setText("2.5");
        f.page.Edit_Actuator_Maximum->setText("45");
        f.page.Edit_Actuator_Minimum->setText("0");
        f.page.Edit_Actuator_Velocity->setText("1");
        int seriesDuringRun = -1;
        QString statusDuringRun, captionDuringRun, timeAtFirst, mvAtFirst;
        bool switchHidden = false, sliderEnabled = false, timerActive = false;
        int timerInterval = 0;
        // Before any data the "Measured data" box shows dashes, not zeros.
        for (const QLabel* label :
             {f.page.Label_Datum, f.page.Label_Ura, f.page.Label_Ime, f.page.Label_Ts, f.page.Label_Ns})
            QCOMPARE(label->text(), QString::fromUtf8("\u2014"));

        const bool recorded = f.run(parameters("Boiler", 30.0), false, [&](TEksperiment& w) {
            // The first sample at t = 0 is taken as the window shows.
            timeAtFirst = w.Label2->text();
            mvAtFirst = w.Label_Exp_MV->text();
            captionDuringRun = w.windowTitle();
            statusDuringRun = w.StatusBar1->currentMessage();
            switchHidden = w.RocniAvtomatski->isHidden();
            sliderEnabled = w.ScrollBar1->isEnabled() && w.VrednostVhodaEdit->isEnabled();
            timerActive = w.Timer1->isActive();
            timerInterval = w.Timer1->interval();
            for (int i = 0; i < 149; ++i) w.SampleNow();
            w.ScrollBar1->setValue(40);  // 60 from the next sample on
            for (int i = 0; i < 53; ++i) w.SampleNow();
            seriesDuringRun = points(w.LineSeries1);
            w.KonecEksperimenta->click();
        });

        QVERIFY(recorded);
        QCOMPARE(f.dialogs.messages, QStringList{NoConnectionMessage});
        QCOMPARE(timeAtFirst, QString("0.0000"));
        QCOMPARE(mvAtFirst, QString("30.0000"));
        QCOMPARE(captionDuringRun, QString("Eksperiment Boiler"));
        QCOMPARE(statusDuringRun, QString::fromUtf8(SimulationStatusText));
        QVERIFY(switchHidden);
        QVERIFY(sliderEnabled);
        QVERIFY(timerActive);
        QCOMPARE(timerInterval, 1000);
        QVERIFY(!f.window.isVisible());
        QVERIFY(!f.window.Timer1->isActive());

        // The charts: t = 0 went with the second sample, then the last 200 s.
        QCOMPARE(seriesDuringRun, 200);
        for (QCPGraph* series : {f.window.LineSeries1, f.window.Series1, f.window.Series2, f.window.LineSeries5}) {
            QCOMPARE(points(series), 200);
            QCOMPARE(series->data()->begin()->key, 3.0);
            QCOMPARE((series->data()->end() - 1)->key, 202.0);
        }
        QCOMPARE((f.window.LineSeries1->data()->end() - 1)->value, 60.0);
        QCOMPARE(f.window.Label_Exp_MV->text(), QString("60.0000"));
        QCOMPARE(f.window.Label2->text(), QString("202.0000"));
        QCOMPARE(f.window.VrednostVhodaEdit->text(), QString("60"));

        // The record: MV1, MV1, U1, U1, Y1, Y2 of 203 samples at Ts = 1 s.
        const MeasuredData& data = f.form.State.Data;
        QCOMPARE(data.SampleCount, 203);
        QCOMPARE(data.ColumnCount, 6);
        QCOMPARE(data.SamplingTime, 1.0);
        QCOMPARE(data.SampleTimes[202], 202.0);
        QCOMPARE(f.rawRange(1, 1, 150), repeated(30.0, 150));
        QCOMPARE(f.rawRange(1, 151, 203), repeated(60.0, 53));
        QCOMPARE(f.rawRange(2, 1, 203), f.rawRange(1, 1, 203));
        QCOMPARE(f.rawRange(3, 1, 150), repeated(20.0, 150));  // the simulation's U1 = MV1 - 10
        QCOMPARE(f.rawRange(4, 1, 203), f.rawRange(3, 1, 203));
        QVERIFY(std::abs(f.raw(5, 150) - 40.0) < 1.0);  // unit gains, settled
        QVERIFY(std::abs(f.raw(6, 150) - 50.0) < 0.5);

        // The Data page: the whole record, the experiment's columns, conditioned.
        checkSlider(f.page.ScrollBar3, 1, 201, 1);
        checkSlider(f.page.ScrollBar4, 1, 203, 203);
        const QScrollBar* selectors[] = {f.page.ScrollBar_MV, f.page.ScrollBar1, f.page.ScrollBar2, f.page.ScrollBar5};
        const QLineEdit* boxes[] = {f.page.Edit_Stolpec_MV, f.page.Edit_Stolpec_U, f.page.Edit_Stolpec_Y,
                                    f.page.Edit_Stolpec_Y1};
        const int columns[] = {1, 3, 5, 6};
        for (int k = 0; k < 4; ++k) {
            checkSlider(selectors[k], 1, 6, columns[k]);
            QCOMPARE(boxes[k]->text(), QString::number(columns[k]));
        }
        QCOMPARE(f.page.Label_MVDescription->text(), QString("Valve"));
        QCOMPARE(f.page.Label22->text(), QString("Flow"));
        QCOMPARE(f.page.Label20->text(), QString("Level"));
        QCOMPARE(f.page.Label68->text(), QString("Temperature"));

        MeasuredData expected = data;
        TObdelava().ConditionSignals(expected, 1, 3, 5, 6, 45.0, 0.0, 1.0, 2.5, 1.0, 203);
        QCOMPARE(data.ConditionedMV, expected.ConditionedMV);
        QCOMPARE(data.ConditionedU, expected.ConditionedU);
        QCOMPARE(data.ConditionedY, expected.ConditionedY);
        QCOMPARE(data.ConditionedY2, expected.ConditionedY2);
        QCOMPARE(data.ConditionedMV[202], 60.0);  // not constrained
        QVERIFY(data.ConditionedU[202] <= 45.0);  // the actuator's maximum acts on U1
        for (QCPGraph* series : {f.page.LineSeries6, f.page.Series1, f.page.Series2, f.page.LineSeries5})
            QCOMPARE(points(series), 203);
        QCOMPARE((f.page.Series1->data()->end() - 1)->value, data.ConditionedU[202]);
        QVERIFY(!f.page.Chart2->isHidden());

        // The "Measured data" box describes the record, then the file it was saved to.
        const QString today = QLocale().toString(f.clock.now().date(), QLocale::ShortFormat);
        const QString now = f.clock.now().time().toString("HH:mm:ss");
        QCOMPARE(f.page.Label_Ime->text(), QString("recorded"));
        QCOMPARE(f.page.Label_Datum->text(), today);
        QCOMPARE(f.page.Label_Ura->text(), now);
        QCOMPARE(f.page.Label_Ts->text(), QString("1"));
        QCOMPARE(f.page.Label_Ns->text(), QString("203"));
        QCOMPARE(f.page.Label_WindowEndTime->text(), QString("202 s"));
        QTemporaryDir dir;
        f.clock.advance(65000);
        f.dialogs.saveAs = dir.filePath("boiler.hvd");
        f.page.Button4Click();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(QFile::exists(dir.filePath("boiler.hvd")));
        QCOMPARE(f.page.Label_Ime->text(), QDir::toNativeSeparators(dir.filePath("boiler.hvd")));
        QCOMPARE(f.page.Label_Ura->text(), f.clock.now().time().toString("HH:mm:ss"));
        QCOMPARE(f.page.Label_Ns->text(), QString("203"));
    }

    void anAutomaticRunStepsUpAndBackAndEndsByItself() {
        Fixture f;
        f.plant.inner.connected = true;  // MV1 written, the controller commanded
        ExperimentParameters p = parameters("Steps", 10.0);
        p.WaitingTime = 3.0;
        p.StepTime = 4.0;
        p.StepAmplitude = 5.0;
        p.NumberOfSteps = 2;
        p.BothDirections = true;
        p.ClosedLoopAfter = false;
        bool switchShown = false, sliderDisabled = false;
        int taken = 0;

        const bool recorded = f.run(p, true, [&](TEksperiment& w) {
            switchShown = !w.RocniAvtomatski->isHidden() && w.RocniAvtomatski->isEnabled();
            sliderDisabled = !w.ScrollBar1->isEnabled() && !w.VrednostVhodaEdit->isEnabled();
            taken = Fixture::sampleToEnd(w);
        });

        QVERIFY(recorded);
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(switchShown);
        QVERIFY(sliderDisabled);
        QCOMPARE(taken, 18);  // with the first one, WaitingTime + 4 StepTime
        QVERIFY(!f.window.isVisible());
        QVERIFY(!f.manualChecked);
        const MeasuredData& data = f.form.State.Data;
        QCOMPARE(data.SampleCount, 19);
        std::vector<double> mv = repeated(10.0, 3);
        for (double level : {15.0, 20.0, 15.0, 10.0})
            for (int i = 0; i < 4; ++i) mv.push_back(level);
        QCOMPARE(f.rawRange(1, 1, 19), mv);

        std::vector<double> written;
        std::vector<FakePlantAccess::Write> modes;
        for (const auto& w : f.plant.inner.writes) {
            if (w.id == "ns=1;s=MV") written.push_back(w.value);
            if (w.id == "ns=1;s=MA") modes.push_back(w);
        }
        QCOMPARE(written.front(), 10.0);
        QCOMPARE(written.back(), 10.0);
        QVERIFY(std::find(written.begin(), written.end(), 20.0) != written.end());
        // Manual during the run and after it (ManualValue 1).
        QCOMPARE(modes, (std::vector<FakePlantAccess::Write>{{"ns=1;s=MA", 1.0, true}, {"ns=1;s=MA", 1.0, true}}));

        // The Data page's window starts before the first step: round(0.9 * 3) - 1,
        // and the sliders limit each other from there.
        checkSlider(f.page.ScrollBar3, 1, 9, 2);
        checkSlider(f.page.ScrollBar4, 12, 19, 19);
        QCOMPARE(points(f.page.LineSeries6), 18);
        QCOMPARE(f.page.LineSeries6->data()->begin()->key, 1.0);
    }

    void switchToManualFreezesTheSequence() {
        Fixture f;
        ExperimentParameters p = parameters("Frozen", 10.0);
        p.WaitingTime = 2.0;
        p.StepTime = 3.0;
        p.StepAmplitude = 2.5;
        p.NumberOfSteps = 3;
        bool afterSwitch = false;
        int stepsBefore = -1, stepsAfter = -1;
        QString valueText;

        const bool recorded = f.run(p, true, [&](TEksperiment& w) {
            for (int i = 0; i < 3; ++i) w.SampleNow();  // t = 0 .. 3: the first step is there
            stepsBefore = w.Run().StepCounter();
            w.RocniAvtomatski->click();
            afterSwitch = f.manualChecked && !w.RocniAvtomatski->isEnabled() && w.ScrollBar1->isEnabled() &&
                          w.VrednostVhodaEdit->isEnabled();
            valueText = w.VrednostVhodaEdit->text();
            for (int i = 0; i < 100; ++i) w.SampleNow();
            stepsAfter = w.Run().StepCounter();
            w.KonecEksperimenta->click();
        });

        QVERIFY(recorded);
        QCOMPARE(stepsBefore, 1);
        QVERIFY(afterSwitch);
        QCOMPARE(valueText, QString("12.5"));
        QCOMPARE(stepsAfter, 1);
        QCOMPARE(f.form.State.Data.SampleCount, 104);
        QCOMPARE(f.rawRange(1, 3, 104), repeated(12.5, 102));
        // Switched to manual: no window start of an automatic run.
        checkSlider(f.page.ScrollBar3, 1, 102, 1);
        checkSlider(f.page.ScrollBar4, 1, 104, 104);
    }

    void theSliderAndTheValueBox() {
        Fixture f;
        int positionAtStart = -1;
        double valueAtStart = 0.0;
        QString boxAtStart;
        QStringList boxes;
        std::vector<int> positions;
        std::vector<int> maxima;
        bool runningAfterEnter = false, enterIsTheBoxs = false;

        f.run(parameters("Slider", 37.25), false, [&](TEksperiment& w) {
            // At t = 0 the exact start value stays; the slider shows 37 on its grid.
            positionAtStart = w.ScrollBar1->value();
            valueAtStart = w.Run().InputValue();
            boxAtStart = w.VrednostVhodaEdit->text();
            w.SampleNow();

            w.show();
            enterIsTheBoxs = !w.RocniAvtomatski->autoDefault() && !w.RocniAvtomatski->isDefault() &&
                             !w.KonecEksperimenta->autoDefault() && !w.KonecEksperimenta->isDefault();
            w.VrednostVhodaEdit->setFocus();
            w.VrednostVhodaEdit->setText("55");
            QTest::keyClick(w.VrednostVhodaEdit, Qt::Key_Return);  // no button takes Enter
            runningAfterEnter = w.Run().Running() && w.isVisible();
            positions.push_back(w.ScrollBar1->value());
            w.SampleNow();

            w.VrednostVhodaEdit->setText("abc");  // refused; a sample leaves the typing alone
            QTest::keyClick(w.VrednostVhodaEdit, Qt::Key_Return);
            w.SampleNow();
            boxes << w.VrednostVhodaEdit->text();

            w.ScrollBar1->setValue(90);  // 10
            boxes << w.VrednostVhodaEdit->text();
            w.SampleNow();
            w.ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);  // down by 10: 0
            boxes << w.VrednostVhodaEdit->text();
            positions.push_back(w.ScrollBar1->value());
            w.SampleNow();

            w.VrednostVhodaEdit->setText("150");  // above the range: the slider grows
            QTest::keyClick(w.VrednostVhodaEdit, Qt::Key_Return);
            maxima.push_back(w.ScrollBar1->maximum());
            positions.push_back(w.ScrollBar1->value());
            w.SampleNow();
            w.KonecEksperimenta->click();
        });

        QCOMPARE(positionAtStart, 63);
        QCOMPARE(valueAtStart, 37.25);
        QCOMPARE(boxAtStart, QString("37.25"));
        QVERIFY(enterIsTheBoxs);
        QVERIFY(runningAfterEnter);
        QCOMPARE(positions, (std::vector<int>{45, 100, 0}));
        QCOMPARE(maxima, std::vector<int>{150});
        QCOMPARE(boxes, (QStringList{"abc", "10", "0"}));
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages.at(1), QString("'abc' is not a valid floating point value"));
        QCOMPARE(f.rawRange(1, 1, 7), (std::vector<double>{37.25, 37.25, 55, 55, 10, 0, 150}));
    }

    void closingTheWindowEndsTheRunAndHandsTheDataOver() {
        Fixture f;
        f.page.ScrollBar4->setRange(2, 600);
        // Closed by the title bar after five samples: ten rows, the window hidden.
        bool endedAtClose = false;
        QVERIFY(f.run(parameters("Closed", 42.0), false, [&](TEksperiment& w) {
            w.show();
            for (int i = 0; i < 4; ++i) w.SampleNow();
            w.close();
            endedAtClose = w.Run().Ended() && !w.Timer1->isActive() && !w.isVisible();
        }));
        QVERIFY(endedAtClose);
        QCOMPARE(f.form.State.Data.SampleCount, 10);
        QCOMPARE(f.form.State.Data.SampleTimes[9], 9.0);
        QCOMPARE(f.rawRange(1, 1, 10), repeated(42.0, 10));
        checkSlider(f.page.ScrollBar4, 1, 10, 10);
        QCOMPARE(points(f.page.LineSeries6), 10);
        f.window.SampleNow();  // nothing samples behind a closed window
        QCOMPARE(f.window.Run().RecordedSamples(), 5);

        // The next run in the same window starts afresh; Escape ends it.
        QVERIFY(f.run(parameters("Escaped", 7.0), false, [&](TEksperiment& w) {
            w.show();
            w.SampleNow();
            QTest::keyClick(&w, Qt::Key_Escape);
        }));
        QCOMPARE(f.window.windowTitle(), QString("Eksperiment Escaped"));
        QCOMPARE(points(f.window.LineSeries1), 1);
        QCOMPARE(f.rawRange(1, 1, 10), repeated(7.0, 10));
        QVERIFY(!f.window.isVisible());

        // A drive that returns with the run still going: the run is ended for it.
        QVERIFY(f.run(parameters("Left", 3.0), false, [](TEksperiment& w) { w.SampleNow(); }));
        QVERIFY(f.window.Run().Ended());
        QCOMPARE(f.rawRange(1, 1, 10), repeated(3.0, 10));

        // The real modal loop: closing the window ends it.
        f.window.ModalLoop = nullptr;
        bool shown = false;
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!f.window.isVisible()) return;
            poll.stop();
            shown = f.window.isModal() || f.window.windowModality() != Qt::NonModal;
            f.window.SampleNow();
            f.window.SampleNow();
            f.window.close();
        });
        poll.start();
        f.window.PrepareRun(parameters("Modal", 12.0), Fixture::items(), false);
        QVERIFY(f.window.RunModal(
            {100.0, 0.0, 1.0}, false, [] { return true; }, [] {}));
        QVERIFY(shown);
        QCOMPARE(f.window.Run().RecordedSamples(), 3);
        QCOMPARE(f.rawRange(1, 1, 10), repeated(12.0, 10));
        QVERIFY(!f.window.isVisible());
    }

    void aFailingPlantShowsOneMessageAndTheRunGoesOn() {
        Fixture f;
        f.plant.inner.connected = true;
        f.plant.failingReads = {"ns=1;s=Y1"};
        bool timerDuringMessage = false;
        int messagesDuringMessage = -1;
        // Three ticks come while the first message is up.
        bool ticked = false;
        f.dialogs.whileShown = [&] {
            if (std::exchange(ticked, true)) return;
            timerDuringMessage = f.window.Timer1->isActive();
            for (int i = 0; i < 3; ++i) f.window.SampleNow();
            messagesDuringMessage = int(f.dialogs.messages.size());
        };
        QString statusWhileFailing, statusAfterHealing;
        int recordedWhileFailing = -1;
        ExperimentParameters p = parameters("Failing", 5.0);
        p.ClosedLoopDuring = true;

        QVERIFY(f.run(p, false, [&](TEksperiment& w) {
            for (int i = 0; i < 20; ++i) w.SampleNow();
            statusWhileFailing = w.StatusBar1->currentMessage();
            recordedWhileFailing = w.Run().RecordedSamples();
            f.plant.failingReads.clear();
            w.SampleNow();
            statusAfterHealing = w.StatusBar1->currentMessage();
            w.KonecEksperimenta->click();
        }));

        // The first failure was at t = 0; 24 in all, one message box.
        QCOMPARE(f.dialogs.messages, QStringList{"Cannot read ns=1;s=Y1\nBadNodeIdUnknown"});
        QVERIFY(timerDuringMessage);
        QCOMPARE(messagesDuringMessage, 1);
        QCOMPARE(f.window.FailedSamples(), 24);
        QCOMPARE(statusWhileFailing,
                 QString("  Failed samples in this run: 24. Last: Cannot read ns=1;s=Y1 BadNodeIdUnknown"));
        QCOMPARE(recordedWhileFailing, 0);
        QCOMPARE(statusAfterHealing, QString("  "));
        QCOMPARE(f.form.State.Data.SampleCount, 10);  // one good sample, padded
        // Automatic during the run, automatic after it (ManualValue 1).
        std::vector<double> modes;
        for (const auto& w : f.plant.inner.writes)
            if (w.id == "ns=1;s=MA") modes.push_back(w.value);
        QCOMPARE(modes, (std::vector<double>{0.0, 0.0}));

        // A later run shows its own first failure again.
        f.plant.failingReads = {"ns=1;s=U"};
        QVERIFY(f.run(parameters("Again", 5.0), false, [](TEksperiment& w) {
            for (int i = 0; i < 5; ++i) w.SampleNow();
            w.KonecEksperimenta->click();
        }));
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.window.FailedSamples(), 6);

        // A plant that refuses MV1 fails no sample: one message, every sample recorded.
        f.plant.failingReads.clear();
        f.plant.refusedWrites = {"ns=1;s=MV"};
        QString status;
        QVERIFY(f.run(parameters("Refused", 5.0), false, [&](TEksperiment& w) {
            for (int i = 0; i < 11; ++i) w.SampleNow();
            status = w.StatusBar1->currentMessage();
            w.KonecEksperimenta->click();
        }));
        QCOMPARE(f.dialogs.messages.size(), 3);
        QVERIFY(f.dialogs.messages.last().startsWith(
            "Cannot write Items:\nns=1;s=MV: BadNotWritable\nThe experiment goes on"));
        QCOMPARE(f.window.FailedSamples(), 0);
        QCOMPARE(f.form.State.Data.SampleCount, 12);
        QCOMPARE(status, QString::fromStdString(RefusedWritesStatusText(12, "ns=1;s=MV: BadNotWritable")));
    }

    void aLinkLostInTheMiddleOfARunGoesOnInTheSimulation() {
        Fixture f;
        f.plant.inner.connected = true;
        QStringList statuses;
        QString y1Label;
        bool runningAfterLoss = false;
        std::size_t writesAtLoss = 0;
        const auto plantValues = [](TEksperiment& w, double u, double y1, double y2) {
            w.Run().Parameters.UItem->Value = u;
            w.Run().Parameters.Y1Item->Value = y1;
            w.Run().Parameters.Y2Item->Value = y2;
        };

        QVERIFY(f.run(parameters("Lost", 40.0), false, [&](TEksperiment& w) {
            plantValues(w, 39.5, 60.25, 48.5);
            for (int i = 0; i < 4; ++i) w.SampleNow();  // t = 1 .. 4 from the plant (t = 0 had zeros)
            plantValues(w, 40.0, 61.0, 49.0);
            w.SampleNow();  // t = 5
            statuses << w.StatusBar1->currentMessage();
            f.plant.inner.dropConnection();  // the server is gone
            writesAtLoss = f.plant.inner.writes.size();
            w.SampleNow();  // t = 6: the simulation takes over
            statuses << w.StatusBar1->currentMessage();
            y1Label = w.Label_Exp_Y1->text();
            w.ScrollBar1->setValue(50);  // MV1 50 from the next sample on
            for (int i = 0; i < 60; ++i) w.SampleNow();
            statuses << w.StatusBar1->currentMessage();
            f.plant.inner.connected = true;  // a connection coming back does not mix sources
            w.SampleNow();
            statuses << w.StatusBar1->currentMessage();
            f.plant.inner.connected = false;
            runningAfterLoss = w.Run().Running() && w.Run().LinkLost();
            w.KonecEksperimenta->click();
        }));

        QVERIFY(runningAfterLoss);
        QVERIFY(f.dialogs.messages.isEmpty());  // no message box, not even once
        QCOMPARE(f.window.FailedSamples(), 0);
        QCOMPARE(f.window.Run().LinkLostTime(), 6.0);
        QCOMPARE(f.window.Run().PlantSamples(), 6);
        const QString lost = QString::fromStdString(LinkLostStatusText("6.0000"));
        QCOMPARE(statuses, (QStringList{"  ", lost, lost, lost}));
        QVERIFY(lost.contains("lost at t = 6.0000 s") && lost.contains("Simulation since then") &&
                lost.contains("from the plant"));
        // Nothing more was written once the link was gone (the end's mode command neither).
        QCOMPARE(f.plant.inner.writes.size(), writesAtLoss);

        // The plant's samples stay as they were; the simulation goes on from
        // the plant's last values without a jump, and follows MV1 from there.
        const MeasuredData& data = f.form.State.Data;
        QCOMPARE(data.SampleCount, 68);
        QCOMPARE(f.rawRange(3, 2, 5), repeated(39.5, 4));
        QCOMPARE(f.rawRange(5, 2, 5), repeated(60.25, 4));
        QCOMPARE(f.rawRange(6, 2, 5), repeated(48.5, 4));
        QCOMPARE(f.raw(3, 6), 40.0);
        QCOMPARE(f.raw(5, 6), 61.0);
        QCOMPARE(f.raw(6, 6), 49.0);
        QCOMPARE(f.raw(3, 7), 40.0);  // U1 where the plant left it while MV1 stays
        QVERIFY(std::abs(f.raw(5, 7) - 61.0) < 1.0);
        QVERIFY(std::abs(f.raw(6, 7) - 49.0) < 0.5);
        QCOMPARE(y1Label, QString::number(f.raw(5, 7), 'f', 4));
        QCOMPARE(f.raw(1, 68), 50.0);
        QCOMPARE(f.raw(3, 68), 50.0);                  // U1 moved with MV1: 40 + (50 - 40)
        QVERIFY(std::abs(f.raw(5, 68) - 71.0) < 1.0);  // unit gain from the plant's level, settled
        // The record reached the Data page.
        checkSlider(f.page.ScrollBar4, 1, 68, 68);
        QVERIFY(!f.window.isVisible());
    }

    void anAutomaticRunThatLosesItsLinkEndsWithItsSequence() {
        Fixture f;
        f.plant.inner.connected = true;
        ExperimentParameters p = parameters("Auto lost", 10.0);
        p.WaitingTime = 3.0;
        p.StepTime = 4.0;
        p.StepAmplitude = 5.0;
        p.NumberOfSteps = 2;
        p.BothDirections = true;
        int taken = 0;
        QVERIFY(f.run(p, true, [&](TEksperiment& w) {
            w.Run().Parameters.UItem->Value = 10.0;
            for (int i = 0; i < 5; ++i) w.SampleNow();
            f.plant.inner.dropConnection();
            taken = 5 + Fixture::sampleToEnd(w);
        }));
        QCOMPARE(taken, 18);  // as long as a run that kept its link
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.form.State.Data.SampleCount, 19);
        std::vector<double> mv = repeated(10.0, 3);
        for (double level : {15.0, 20.0, 15.0, 10.0})
            for (int i = 0; i < 4; ++i) mv.push_back(level);
        QCOMPARE(f.rawRange(1, 1, 19), mv);
        // U1 from the plant up to t = 5, then the simulation's from the plant's last value.
        QCOMPARE(f.rawRange(3, 2, 6), repeated(10.0, 5));
        for (int row = 7; row <= 19; ++row) QCOMPARE(f.raw(3, row), 10.0 + (f.raw(1, row) - 15.0));
        checkSlider(f.page.ScrollBar3, 1, 9, 2);  // the automatic run's window start
        checkSlider(f.page.ScrollBar4, 12, 19, 19);
    }

    void valuesThatAreNotFiniteOrOfBadQualityKeepTheLastUsableOne() {
        Fixture f;
        f.plant.inner.connected = true;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QStringList statuses, y1Labels;
        QVERIFY(f.run(parameters("Values", 40.0), false, [&](TEksperiment& w) {
            ExperimentParameters& items = w.Run().Parameters;
            const auto sample = [&] {
                w.SampleNow();
                statuses << w.StatusBar1->currentMessage();
                y1Labels << w.Label_Exp_Y1->text();
            };
            items.UItem->Value = 40.0;
            items.Y1Item->Value = 60.0;
            items.Y2Item->Value = 48.0;
            sample();  // row 2
            items.Y1Item->Value = nan;
            items.Y2Item->Value = inf;
            items.UItem->Value = -inf;
            sample();  // row 3
            items.Y1Item->Value = 61.0;
            items.Y2Item->Value = 49.0;
            items.UItem->Value = 41.0;
            f.plant.inner.badQuality = {"ns=1;s=Y1"};
            sample();  // row 4
            f.plant.inner.badQuality.clear();
            items.MVItem->Value = nan;  // MV1 is still written
            sample();                   // row 5
            items.MVItem->Value = 40.0;
            sample();  // row 6
            w.KonecEksperimenta->click();
        }));
        QCOMPARE(statuses,
                 (QStringList{"  ",
                              QString::fromStdString(UnusableSignalsStatusText(
                                  "U1 is not a finite number, Y1 is not a finite number, Y2 is not a finite number")),
                              QString::fromStdString(UnusableSignalsStatusText("Y1 has bad quality")),
                              QString::fromStdString(UnusableSignalsStatusText("MV1 is not a finite number")), "  "}));
        QCOMPARE(y1Labels, (QStringList{"60.0000", "60.0000", "60.0000", "61.0000", "61.0000"}));
        QCOMPARE(f.rawRange(3, 2, 6), (std::vector<double>{40.0, 40.0, 41.0, 41.0, 41.0}));
        QCOMPARE(f.rawRange(5, 2, 6), (std::vector<double>{60.0, 60.0, 60.0, 61.0, 61.0}));
        QCOMPARE(f.rawRange(6, 2, 6), (std::vector<double>{48.0, 48.0, 49.0, 49.0, 49.0}));
        for (const auto& write : f.plant.inner.writes) QVERIFY(std::isfinite(write.value));
        QCOMPARE(std::count_if(f.plant.inner.writes.begin(), f.plant.inner.writes.end(),
                               [](const auto& write) { return write.id == "ns=1;s=MV"; }),
                 5);  // at t = 0 .. 4, while MV1's read did not match
        QCOMPARE(f.dialogs.messages, QStringList{});

        // Starting from a process value that is not a number starts from 10.
        ExperimentParameters fromProcess = parameters("From process", 0.0);
        fromProcess.StartFromProcess = true;
        f.plant.inner.duringQualityCheck = [&] { f.window.Run().Parameters.MVItem->Value = nan; };
        QVERIFY(f.run(fromProcess, false, [&](TEksperiment& w) { w.KonecEksperimenta->click(); }));
        f.plant.inner.duringQualityCheck = nullptr;
        QCOMPARE(f.raw(1, 1), 10.0);
        // A value typed in the box that is not finite is refused.
        QVERIFY(f.run(parameters("Typed", 5.0), false, [&](TEksperiment& w) {
            w.VrednostVhodaEdit->setText("1e999");
            QTest::keyClick(w.VrednostVhodaEdit, Qt::Key_Return);
            w.SampleNow();
            w.KonecEksperimenta->click();
        }));
        QCOMPARE(f.raw(1, 2), 5.0);
    }

    void aSettingsBoxThatIsNotANumberStillEndsTheRun() {
        Fixture f;
        f.page.Edit8->setText("x");
        QVERIFY(f.run(parameters("Bad filter", 20.0), false, [](TEksperiment& w) {
            w.SampleNow();
            w.KonecEksperimenta->click();
        }));
        QVERIFY(!f.window.isVisible());
        QCOMPARE(f.dialogs.messages.last(), QString("'x' is not a valid floating point value"));
        // The record and the window are on the Data page; conditioning waits
        // for "Use filter and constraints".
        QCOMPARE(f.form.State.Data.SampleCount, 10);
        checkSlider(f.page.ScrollBar4, 1, 10, 10);
        QCOMPARE(f.page.Label20->text(), QString("Level"));
    }
};

QTEST_MAIN(ExperimentWindowTest)
#include "tst_Experiment.moc"
