// The experiment run without its window: plant or simulation, the record, the
// charts' points, the step sequence, the slider and value box, the controller's
// manual/automatic commands and the end of a run.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "data/Errors.h"
#include "experiment/ExperimentRun.h"
#include "opc/PlantAccessError.h"

using namespace halvetra;

namespace {

// Items hold what the test puts into them; writes are logged and, as on a real
// plant, change the item's value; without a connection nothing is written.
class FakePlant final : public PlantAccess {
public:
    struct Write {
        std::string Id;
        double Value;
        bool Integer;
    };
    bool connected = true;
    std::vector<std::unique_ptr<PlantGroup>> groups;
    std::vector<Write> writes;
    std::vector<std::string> added;
    int qualityChecks = 0;
    std::string failingItem;   // writes to it raise
    std::int64_t silence = 0;  // ms the server has left a question unanswered

    std::vector<std::string> ListServers() override { return {}; }
    void Connect(const std::string&, const ConnectionOptions&) override { connected = true; }
    std::string ServerStateText() override { return ""; }
    void Disconnect() override { connected = false; }
    bool IsConnected() const override { return connected; }
    PlantGroup& AddGroup(const std::string& name) override {
        groups.push_back(std::make_unique<PlantGroup>());
        groups.back()->Name = name;
        return *groups.back();
    }
    void SetDeadBand(PlantGroup& g, double percent) override { g.DeadBand = percent; }
    void SetUpdateRate(PlantGroup& g, int ms) override { g.UpdateRate = ms; }
    void ClearItems(PlantGroup& g) override { g.Items.clear(); }
    ItemHandle AddItem(PlantGroup& g, const std::string& id) override {
        g.Items.push_back(std::make_shared<PlantItem>(PlantItem{id, 0.0, 0xC0, {}}));
        added.push_back(id);
        return g.Items.back();
    }
    double ReadValue(const ItemHandle& item) override { return item->Value; }
    bool QualityIsGood(const ItemHandle& item) override { return ++qualityChecks, (item->Quality & 0xC0) == 0xC0; }
    void WriteValue(const ItemHandle& item, double v) override { Record(item, v, false); }
    void WriteValue(const ItemHandle& item, int v) override { Record(item, v, true); }
    void WriteValues(const std::vector<ItemHandle>& items, const std::vector<double>& v) override {
        for (std::size_t i = 0; i < items.size(); ++i) Record(items[i], v[i], false);
    }
    std::vector<BrowseNode> Browse(const std::string&) override { return {}; }
    std::int64_t ServerSilenceMs() override { return silence; }

private:
    void Record(const ItemHandle& item, double value, bool integer) {
        if (!connected) return;
        if (item->Id == failingItem) throw PlantAccessError("Cannot write Items:\n" + item->Id);
        writes.push_back({item->Id, value, integer});
        item->Value = value;
    }
};

ExperimentItemIds Ids(bool singleSwitch = true, int manualValue = 1) {
    return {"MV", "U", "Y1", "Y2", singleSwitch, "MA", manualValue, "Man", "Auto"};
}

// A manual clock, a record, a fake plant (or none) and the run; Ts = 1 s.
struct Bench {
    explicit Bench(bool withPlant = true, char separator = '.')
        : run(
              withPlant ? &plant : nullptr, clock, data, 12345u,
              [this] {
                  ++events;
                  if (onEvents) onEvents();
              },
              separator) {
        if (withPlant) run.PrepareItems(Ids());
    }
    // Samples until the run ends; returns how many were taken.
    int SampleToEnd() {
        int taken = 0;
        while (run.Timer1Timer().Taken) ++taken;
        return taken;
    }
    void Samples(int count) {
        for (int i = 0; i < count; ++i) run.Timer1Timer();
    }
    double Column(int c, int row) const { return data.Column(c)[static_cast<std::size_t>(row - 1)]; }
    double Time(int row) const { return data.SampleTimes[static_cast<std::size_t>(row - 1)]; }
    std::vector<double> MV(int first, int last) const {
        std::vector<double> v;
        for (int row = first; row <= last; ++row) v.push_back(Column(1, row));
        return v;
    }
    // Mean and deviation of rows first .. last of column c.
    std::pair<double, double> Statistics(int c, int first, int last) const {
        double sum = 0.0, squares = 0.0;
        for (int i = first; i <= last; ++i) sum += Column(c, i);
        const double mean = sum / (last - first + 1);
        for (int i = first; i <= last; ++i) squares += (Column(c, i) - mean) * (Column(c, i) - mean);
        return {mean, std::sqrt(squares / (last - first + 1))};
    }

    ManualClock clock{QDateTime(QDate(2024, 3, 1), QTime(12, 0))};
    MeasuredData data;
    FakePlant plant;
    int events = 0;
    std::function<void()> onEvents;
    ExperimentRun run;
};

std::vector<double> Repeated(double value, int times) {
    return std::vector<double>(static_cast<std::size_t>(times), value);
}

void StartAutomatic(Bench& b, double waiting, double step, double amplitude, int steps, bool both) {
    ExperimentParameters& p = b.run.Parameters;
    p.InitialInput = 10.0;
    p.WaitingTime = waiting;
    p.StepTime = step;
    p.StepAmplitude = amplitude;
    p.NumberOfSteps = steps;
    p.BothDirections = both;
    b.run.StartAutomaticRun();
    b.run.FormShow({100.0, 0.0, 1.0});
}

}  // namespace

// --- The plant's group, items and the controller's mode ------------------------

TEST(ExperimentItems, OneGroupAndTheItemsOfEitherSwitchingStyle) {
    Bench b;
    ASSERT_EQ(b.plant.groups.size(), 1u);
    const PlantGroup& g = *b.plant.groups[0];
    EXPECT_EQ(b.run.ExperimentGroup(), &g);
    EXPECT_EQ(g.Name, "Skupina1");
    EXPECT_EQ(g.DeadBand, 0.0);
    EXPECT_EQ(g.UpdateRate, 10);
    EXPECT_EQ(b.plant.added, (std::vector<std::string>{"U", "MV", "Y1", "Y2", "MA"}));
    EXPECT_EQ(b.run.Parameters.MVItem->Id, "MV");
    EXPECT_EQ(b.run.Parameters.Y2Item->Id, "Y2");

    b.run.PrepareItems(Ids(false));
    EXPECT_EQ(g.Items.size(), 6u);  // cleared first
    EXPECT_FALSE(b.run.Parameters.MAItem);
    EXPECT_EQ(b.run.Parameters.ManualItem->Id, "Man");
    EXPECT_EQ(b.run.Parameters.AutomaticItem->Id, "Auto");
    EXPECT_EQ(Bench(false).run.ExperimentGroup(), nullptr);
}

TEST(LoopMode, BothStylesAndNothingWithNoWrite) {
    struct Case {
        bool single;
        int manualValue;
        const char* manualId;
        double manual;
        const char* autoId;
        double automatic;
    };
    for (const Case c :
         {Case{true, 0, "MA", 0, "MA", 1}, Case{true, 1, "MA", 1, "MA", 0}, Case{false, 1, "Man", 1, "Auto", 1}}) {
        Bench b;
        b.run.PrepareItems(Ids(c.single, c.manualValue));
        b.run.SetLoopManual();
        b.run.SetLoopAutomatic();
        ASSERT_EQ(b.plant.writes.size(), 2u);
        EXPECT_EQ(b.plant.writes[0].Id, c.manualId);
        EXPECT_EQ(b.plant.writes[0].Value, c.manual);
        EXPECT_EQ(b.plant.writes[1].Id, c.autoId);
        EXPECT_EQ(b.plant.writes[1].Value, c.automatic);
        EXPECT_TRUE(b.plant.writes[0].Integer && b.plant.writes[1].Integer);

        b.plant.writes.clear();
        b.run.Parameters.NoWrite = true;
        b.run.StartManualRun();
        b.run.FormShow({});
        b.Samples(5);
        b.run.EndExperiment();
        EXPECT_TRUE(b.plant.writes.empty());
    }
}

TEST(LoopMode, CommandedAtTheStartAndAfterTheEndEvenWhenTheLastWriteFails) {
    for (bool closedLoop : {false, true}) {
        Bench b;
        b.run.Parameters.ClosedLoopDuring = closedLoop;
        b.run.Parameters.ClosedLoopAfter = !closedLoop;
        b.run.StartManualRun();
        ASSERT_EQ(b.plant.writes.size(), 1u);
        EXPECT_EQ(b.plant.writes[0].Value, closedLoop ? 0.0 : 1.0);  // manual is 1
        b.run.FormShow({});
        b.run.EndExperiment();
        EXPECT_EQ(b.plant.writes.back().Id, "MA");
        EXPECT_EQ(b.plant.writes.back().Value, closedLoop ? 1.0 : 0.0);
    }
    Bench b;
    b.run.FormShow({});
    b.plant.failingItem = "MA";
    EXPECT_TRUE(b.run.EndExperiment());
    EXPECT_TRUE(b.run.Ended());
    EXPECT_EQ(b.run.EndResult().LoopModeError, "Cannot write Items:\nMA");
    EXPECT_FALSE(b.run.EndExperiment());
}

// --- Waiting for MV1's quality ----------------------------------------------------

TEST(QualityWait, GivesUpAfterThreeSecondsOfTheClockAndChecksAtLeastOnce) {
    Bench b;
    b.run.Parameters.MVItem->Quality = 0x40;  // uncertain is not good
    b.onEvents = [&] { b.clock.advance(100); };
    std::string shown;
    EXPECT_FALSE(b.run.StartManualRun([&](const std::string& m) { shown = m; }));
    EXPECT_EQ(b.clock.ticks(), 3000);
    EXPECT_EQ(b.events, 30);
    EXPECT_EQ(shown, "Connection with OPC signals hasn not been established. Process simulation is activated.");
    EXPECT_EQ(b.plant.writes.size(), 1u);  // the run goes on all the same
    EXPECT_TRUE(b.run.View().SliderEnabled && b.run.View().ValueBoxEnabled && b.run.View().TimerEnabled);

    // Quality arriving while events are processed; a clock jumping past the limit.
    b.onEvents = [&] {
        b.clock.advance(10000);
        b.run.Parameters.MVItem->Quality = 0xC0;
    };
    b.events = 0;
    shown.clear();
    EXPECT_TRUE(b.run.StartManualRun([&](const std::string& m) { shown = m; }));
    EXPECT_EQ(b.events, 1);
    EXPECT_EQ(shown, "");
    // Without plant access there is nothing to wait for.
    Bench none(false);
    EXPECT_FALSE(none.run.StartAutomaticRun());
    EXPECT_EQ(none.events, 0);
}

// --- The slider ------------------------------------------------------------------

TEST(Slider, RangeScaleOffsetAndPositionValues) {
    struct Case {
        SliderSettings s;
        int maximum;
        double scale;
    };
    // Rounding ties to even; step 0 falls back to MAX - MIN; MAX = MIN gives
    // scale 0; negative counts give an empty range; huge ones are capped.
    for (const Case c : {Case{{100, 0, 1}, 100, 1.0}, Case{{60, 20, 0.5}, 80, 0.5}, Case{{1, 0, 0.4}, 2, 0.5},
                         Case{{2.5, 0, 0}, 2, 1.25}, Case{{5, 5, 1}, 0, 0.0}, Case{{100, 0, -1}, 0, 100.0},
                         Case{{100, 0, 1e-12}, SliderMaximumLimit, 100.0 / SliderMaximumLimit}}) {
        Bench b;
        b.run.SetUpSlider(c.s);
        EXPECT_EQ(b.run.View().SliderMaximum, c.maximum) << c.s.Step;
        EXPECT_EQ(b.run.SliderScale(), c.scale) << c.s.Step;
        EXPECT_EQ(b.run.SliderOffset(), c.s.Minimum);
        EXPECT_EQ(b.run.SliderValue(0), c.maximum * c.scale + c.s.Minimum);  // the top is the largest
        EXPECT_EQ(b.run.SliderValue(c.maximum), c.s.Minimum);
    }
    Bench b;
    b.run.SetUpSlider({100, 0, 1});
    b.run.ShowInSlider(29.6);
    EXPECT_EQ(b.run.View().SliderPosition, 70);
    b.run.ShowInSlider(150.0);  // the maximum grows
    EXPECT_EQ(b.run.View().SliderMaximum, 150);
    EXPECT_EQ(b.run.View().SliderPosition, 0);
    b.run.ShowInSlider(-5.0);  // below the range: the bottom
    EXPECT_EQ(b.run.View().SliderPosition, 150);
}

TEST(Slider, ExactStartValueThenMovesAndEnterDuringTheRun) {
    Bench b(false, ',');
    b.run.Parameters.InitialInput = 10.4;
    b.run.ScrollBar1Change(10);  // ElapsedTime 0: ignored
    EXPECT_EQ(b.run.InputValue(), 0.0);
    b.run.FormShow({100.0, 0.0, 1.0});
    EXPECT_EQ(b.run.View().SliderPosition, 90);
    EXPECT_EQ(b.run.InputValue(), 10.4);
    EXPECT_EQ(b.run.View().ValueText, "10,4");

    b.run.EnterValue("10,3");  // same position: the typed value stays
    EXPECT_EQ(b.run.InputValue(), 10.3);
    b.run.EnterValue("12,5");  // a new position: the grid value, ties to even
    EXPECT_EQ(b.run.View().SliderPosition, 88);
    EXPECT_EQ(b.run.InputValue(), 12.0);
    EXPECT_EQ(b.run.View().ValueText, "12");
    b.run.EnterValue("-5");  // below the range: slider at the bottom, value as typed
    EXPECT_EQ(b.run.View().SliderPosition, 100);
    EXPECT_EQ(b.run.InputValue(), -5.0);
    EXPECT_THROW(b.run.EnterValue("1.5"), ConversionError);
    EXPECT_EQ(b.run.InputValue(), -5.0);
    b.run.Timer1Timer();
    EXPECT_EQ(b.Column(1, 2), -5.0);

    b.run.SetUpSlider({1.0, 0.0, 0.3});
    b.run.ScrollBar1Change(2);
    EXPECT_DOUBLE_EQ(b.run.InputValue(), 1.0 / 3.0);
    EXPECT_EQ(b.run.View().ValueText, "0,33333333");  // 8 significant digits
}

// --- Samples and the record --------------------------------------------------------

TEST(Sample, FromThePlant) {
    Bench b;
    ExperimentParameters& p = b.run.Parameters;
    p.SamplingMs = 500;
    p.InitialInput = 10.0;
    p.MVItem->Value = 10.0;
    p.UItem->Value = 9.5;
    p.Y1Item->Value = 12.345678;
    p.Y2Item->Value = -3.25;
    p.ExperimentLabel = "E1";
    b.run.FormShow({});
    EXPECT_TRUE(b.plant.writes.empty());  // MV1 already holds the value
    const ExperimentView& v = b.run.View();
    EXPECT_EQ(v.StatusText, "  ");
    EXPECT_EQ(v.LabelMV + "|" + v.LabelU1 + "|" + v.LabelY1 + "|" + v.LabelY2 + "|" + v.LabelTime,
              "10.0000|9.5000|12.3457|-3.2500|0.0000");
    EXPECT_EQ(v.Caption, "Eksperiment E1");
    EXPECT_EQ(v.TimerInterval, 500);
    EXPECT_EQ(b.data.ColumnCount, 6);
    const double row1[] = {10.0, 10.0, 9.5, 9.5, 12.345678, -3.25};
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(b.Column(c, 1), row1[c - 1]) << c;

    b.run.EnterValue("11");
    b.Samples(2);
    ASSERT_EQ(b.plant.writes.size(), 1u);  // once, as a double
    EXPECT_EQ(b.plant.writes[0].Value, 11.0);
    EXPECT_FALSE(b.plant.writes[0].Integer);
    EXPECT_EQ(b.Time(3), 1.0);
    EXPECT_EQ(v.LabelTime, "1.0000");

    b.plant.failingItem = "MV";  // a refused write still takes its sample; the next write goes through
    b.run.EnterValue("12");
    EXPECT_FALSE(b.run.Timer1Timer().FirstWriteRefusal.empty());
    EXPECT_EQ(b.run.RecordedSamples(), 4);
    b.plant.failingItem.clear();
    b.run.Timer1Timer();
    EXPECT_EQ(b.plant.writes.back().Value, 12.0);
    EXPECT_EQ(b.Time(4), 1.5);
    EXPECT_EQ(b.Column(2, 4), 12.0);
}

TEST(Sample, ARunEndedAfterOneSampleHasTenRows) {
    Bench b(false, ',');
    b.run.Parameters.SamplingMs = 100;
    b.run.Parameters.InitialInput = 17.0;
    b.run.FormShow({});
    EXPECT_EQ(b.run.View().StatusText, "  Opozorilo: povezava s strežnikom ni vzpostavljena! Simulacija v teku...");
    EXPECT_EQ(b.run.View().LabelU1, "7,0000");
    EXPECT_TRUE(b.run.EndExperiment());
    EXPECT_FALSE(b.run.View().TimerEnabled);
    EXPECT_EQ(b.data.SampleCount, 10);
    EXPECT_EQ(b.data.SamplingTime, 0.1);
    EXPECT_EQ(b.run.EndResult().SampleCount, 10);
    for (int row = 2; row <= 10; ++row) {
        EXPECT_DOUBLE_EQ(b.Time(row), (row - 1) * 0.1);
        for (int c = 1; c <= 6; ++c) EXPECT_EQ(b.Column(c, row), b.Column(c, 1)) << row << ' ' << c;
    }
    EXPECT_FALSE(b.run.EndExperiment());  // once only
    EXPECT_FALSE(b.run.Timer1Timer().Taken);
    EXPECT_EQ(b.data.SampleCount, 10);
}

TEST(Sample, NoWriteWithoutConnectionAndTheLimitOf4999Samples) {
    Bench b(false);
    b.run.Parameters.NoWrite = true;
    b.run.Parameters.SamplingMs = 50;
    b.run.Parameters.InitialInput = 55.0;
    b.run.StartManualRun();
    b.run.FormShow({});
    EXPECT_EQ(b.SampleToEnd(), MaxExperimentSamples - 1);
    EXPECT_EQ(b.run.RecordedSamples(), 4999);
    EXPECT_EQ(b.data.SampleCount, 4999);
    EXPECT_EQ(b.Time(4999), 249.9);
    EXPECT_FALSE(b.run.EndResult().ApplyDataWindowStart);  // a manual run
    EXPECT_EQ(b.MV(1, 4999), Repeated(55.0, 4999));
    EXPECT_EQ(b.Statistics(3, 1, 4999), std::make_pair(0.0, 0.0));  // U1
    const auto [y1, d1] = b.Statistics(5, 1, 4999);
    const auto [y2, d2] = b.Statistics(6, 1, 4999);
    EXPECT_NEAR(y1, 20.0, 0.02);
    EXPECT_NEAR(d1, 0.2, 0.01);
    EXPECT_NEAR(y2, 30.0, 0.01);
    EXPECT_NEAR(d2, 0.1, 0.005);
}

TEST(Sample, StartFromProcessAndUnitGainSettling) {
    Bench connected;
    connected.run.Parameters.StartFromProcess = true;
    connected.run.Parameters.MVItem->Value = 42.5;
    connected.run.FormShow({});
    EXPECT_EQ(connected.run.InputValue(), 42.5);

    Bench b(false);
    b.run.Parameters.StartFromProcess = true;
    b.run.Parameters.InitialInput = 99.0;
    b.run.FormShow({});
    EXPECT_EQ(b.Column(1, 1), 10.0);
    EXPECT_EQ(b.Column(3, 1), 0.0);
    b.Samples(9);
    b.run.EnterValue("14");
    b.Samples(390);
    EXPECT_EQ(b.Column(3, 400), 4.0);
    EXPECT_NEAR(b.run.Simulation().State1(), 4.0, 1e-9);
    EXPECT_NEAR(b.run.Simulation().State2(), 4.0, 1e-6);
    EXPECT_NEAR(b.Statistics(5, 201, 400).first, 24.0, 0.05);
    EXPECT_NEAR(b.Statistics(6, 201, 400).first, 34.0, 0.03);
    // The next run starts from fresh states.
    b.run.EndExperiment();
    b.run.FormShow({});
    EXPECT_NEAR(b.Column(5, 1), 20.0, 1.5);
    EXPECT_EQ(b.run.Simulation().State2(), 0.0);
    // A run from another initial MV1 starts at rest there: no settling
    // before the first step.
    b.run.EndExperiment();
    b.run.Parameters.StartFromProcess = false;
    b.run.Parameters.InitialInput = 40.0;
    b.run.FormShow({});
    b.Samples(49);
    EXPECT_NEAR(b.Statistics(5, 1, 50).first, 50.0, 0.1);
    EXPECT_NEAR(b.Statistics(6, 1, 50).first, 60.0, 0.05);
    EXPECT_NEAR(b.run.Simulation().State2(), 30.0, 1e-9);
}

TEST(Sample, TheChartsDropTheFirstPointAndKeepTheLastTwoHundredSeconds) {
    Bench b(false);
    std::deque<double> series;
    auto apply = [&](const SampleOutcome& o) {
        for (int i = 0; i < o.Chart.DropOldest; ++i) series.pop_front();
        series.push_back(o.Chart.Add.Time);
        return o.Chart.DropOldest;
    };
    b.run.Parameters.InitialInput = 12.0;
    const SampleOutcome first = b.run.FormShow({});
    EXPECT_EQ(apply(first), 0);
    EXPECT_EQ(first.Chart.Add.MV, 12.0);
    EXPECT_EQ(first.Chart.Add.U1, 2.0);
    EXPECT_EQ(first.Chart.Add.Y2, b.Column(6, 1));
    EXPECT_EQ(apply(b.run.Timer1Timer()), 1);
    EXPECT_EQ(series, std::deque<double>{1.0});
    for (int t = 2; t <= 300; ++t) {
        EXPECT_EQ(apply(b.run.Timer1Timer()), t > 200 ? 1 : 0) << t;
        EXPECT_EQ(series.front(), t > 200 ? t - 199 : 1) << t;
    }
    EXPECT_EQ(series.size(), 200u);
}

// --- The step sequence ------------------------------------------------------------

TEST(StepSequence, TwoStepsInBothDirectionsGoUpAndBackToTheStart) {
    Bench b;
    StartAutomatic(b, 5.0, 10.0, 2.0, 2, true);
    EXPECT_TRUE(b.run.View().SwitchButtonVisible);
    EXPECT_FALSE(b.run.View().SliderEnabled);
    EXPECT_EQ(b.run.View().ProgressStep, "Waiting before step 1 of 4");
    b.Samples(6);
    // The window shows the step, the times and MV1 in the value box.
    EXPECT_EQ(b.run.View().ProgressStep, "Step 1 of 4");
    EXPECT_EQ(b.run.View().ProgressTime, "Elapsed 0:06, remaining 0:38");
    EXPECT_EQ(b.run.View().ProgressPercent, 15);
    EXPECT_EQ(b.run.View().ValueText, "12");
    b.SampleToEnd();
    EXPECT_EQ(b.run.View().ProgressStep, "Step 4 of 4");
    EXPECT_EQ(b.run.View().ProgressPercent, 100);
    EXPECT_EQ(b.run.View().ValueText, "10");
    // WaitingTime + 4 StepTime = 45 samples; the end one StepTime after the last step.
    EXPECT_EQ(b.run.RecordedSamples(), 45);
    EXPECT_EQ(b.MV(1, 5), Repeated(10.0, 5));
    EXPECT_EQ(b.MV(6, 15), Repeated(12.0, 10));
    EXPECT_EQ(b.MV(16, 25), Repeated(14.0, 10));
    EXPECT_EQ(b.MV(26, 35), Repeated(12.0, 10));
    EXPECT_EQ(b.MV(36, 45), Repeated(10.0, 10));
    std::vector<double> written;
    for (const auto& w : b.plant.writes)
        if (w.Id == "MV") written.push_back(w.Value);
    EXPECT_EQ(written, (std::vector<double>{10.0, 12.0, 14.0, 12.0, 10.0}));
    EXPECT_TRUE(b.run.EndResult().ApplyDataWindowStart);
    EXPECT_EQ(b.run.EndResult().DataWindowStart, 3);  // round(0.9 * 5) = 4, less 1
}

TEST(StepSequence, OneDirectionNoWriteDecimalTimesAndTheDataWindowStart) {
    Bench down(false);
    StartAutomatic(down, 2.0, 3.0, -1.5, 3, false);
    down.SampleToEnd();
    EXPECT_EQ(down.MV(1, 11), (std::vector<double>{10, 10, 8.5, 8.5, 8.5, 7, 7, 7, 5.5, 5.5, 5.5}));
    EXPECT_EQ(down.run.RecordedSamples(), 11);

    Bench noWrite;  // WaitingTime + one StepTime, MV1 untouched
    noWrite.run.Parameters.NoWrite = true;
    StartAutomatic(noWrite, 3.0, 4.0, 5.0, 3, true);
    noWrite.SampleToEnd();
    EXPECT_EQ(noWrite.run.RecordedSamples(), 7);
    EXPECT_EQ(noWrite.run.PlannedSamples(), 7);
    EXPECT_EQ(noWrite.MV(1, 10), Repeated(10.0, 10));
    EXPECT_TRUE(noWrite.plant.writes.empty());

    Bench decimal(false);  // 0.3 s and 0.7 s at Ts = 0.1 s are 3 and 7 samples exactly
    decimal.run.Parameters.SamplingMs = 100;
    StartAutomatic(decimal, 0.3, 0.7, 1.0, 1, false);
    decimal.SampleToEnd();
    EXPECT_EQ(decimal.MV(1, 10), (std::vector<double>{10, 10, 10, 11, 11, 11, 11, 11, 11, 11}));
    EXPECT_EQ(decimal.run.RecordedSamples(), 10);
    EXPECT_EQ(decimal.run.PlannedSamples(), 10);
    EXPECT_EQ(decimal.run.EndResult().DataWindowStart, 2);

    Bench early(false);  // ended long before the first step: within 1 .. N - 2
    early.run.Parameters.SamplingMs = 500;
    StartAutomatic(early, 20.0, 10.0, 1.0, 1, false);
    early.Samples(11);
    early.run.EndExperiment();
    EXPECT_EQ(early.run.EndResult().DataWindowStart, 10);

    Bench atOnce(false);  // complete with its first sample: the timer stays off
    StartAutomatic(atOnce, 0.0, 1.0, 1.0, 0, false);
    EXPECT_TRUE(atOnce.run.Ended());
    EXPECT_FALSE(atOnce.run.View().TimerEnabled);
    EXPECT_EQ(atOnce.run.EndResult().DataWindowStart, 1);
}

TEST(StepSequence, SwitchToManualFreezesTheSequenceWithoutMovingMV) {
    Bench b(false);
    StartAutomatic(b, 5.0, 10.0, 2.5, 3, false);
    b.Samples(7);
    ASSERT_EQ(b.run.InputValue(), 12.5);
    const double stepTimer = b.run.StepTimer();
    b.run.SwitchToManual();
    EXPECT_TRUE(b.run.ManualExperiment());
    EXPECT_TRUE(b.run.View().SliderEnabled && b.run.View().ValueBoxEnabled);
    EXPECT_FALSE(b.run.View().SwitchButtonEnabled);
    EXPECT_EQ(b.run.View().ValueText, "12.5");
    EXPECT_EQ(b.run.View().SliderPosition, 88);  // 12 on the grid,
    EXPECT_EQ(b.run.InputValue(), 12.5);         // but MV1 stays

    b.Samples(100);
    EXPECT_EQ(b.run.StepCounter(), 1);
    EXPECT_EQ(b.run.StepTimer(), stepTimer);
    EXPECT_EQ(b.MV(9, 108), Repeated(12.5, 100));
    EXPECT_EQ(b.run.View().ProgressStep, "Step 1 of 3, switched to manual");
    EXPECT_EQ(b.run.View().ProgressTime, "Elapsed 1:47");
    EXPECT_EQ(b.run.View().ProgressPercent, -1);
    b.run.ScrollBar1Change(80);
    b.SampleToEnd();  // until the sample limit
    EXPECT_EQ(b.run.RecordedSamples(), MaxExperimentSamples);
    EXPECT_EQ(b.Column(1, MaxExperimentSamples), 20.0);
    EXPECT_EQ(b.run.StepCounter(), 1);
    EXPECT_FALSE(b.run.EndResult().ApplyDataWindowStart);
}

// --- Random numbers and the simulated process -----------------------------------

TEST(GaussianRandom, ZeroMeanUnitDeviationIndependentDrawsAndRepeatableSeeds) {
    GaussianRandom random(20240301u);
    const int n = 400000;
    double sum = 0.0, squares = 0.0, lagged = 0.0, previous = 0.0;
    int withinOne = 0;
    for (int i = 0; i < n; ++i) {
        const double z = random.Standard();
        sum += z;
        squares += z * z;
        lagged += z * previous;  // the two numbers of a pair are independent
        previous = z;
        withinOne += std::abs(z) < 1.0;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.008);
    EXPECT_NEAR(squares / n, 1.0, 0.01);
    EXPECT_NEAR(lagged / n, 0.0, 0.008);
    EXPECT_NEAR(static_cast<double>(withinOne) / n, 0.6827, 0.003);

    GaussianRandom a(99u), c(99u), d(100u);
    std::vector<double> first;
    for (int i = 0; i < 9; ++i) first.push_back(a.Normal(5.0, 0.2));
    a.Seed(99u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(c.Normal(5.0, 0.2), first[i]);
        EXPECT_EQ(5.0 + 0.2 * a.Standard(), first[i]);
    }
    EXPECT_NE(d.Normal(5.0, 0.2), first[0]);
}

TEST(ProcessSimulation, TwoUnitGainStagesWithOneSampleOfDelayEach) {
    ProcessSimulation sim(3u);
    ProcessSimulation::Output o = sim.Step(20.0, false);
    EXPECT_EQ(o.U1, 10.0);
    EXPECT_NEAR(o.Y1, 20.0, 1.2);  // from states 0
    EXPECT_DOUBLE_EQ(sim.State1(), 1.0);
    o = sim.Step(20.0, false);
    EXPECT_NEAR(o.Y1, 21.0, 1.2);
    EXPECT_NEAR(o.Y2, 30.0, 0.6);
    EXPECT_DOUBLE_EQ(sim.State2(), 0.05);
    o = sim.Step(20.0, true);  // nothing written: no input
    EXPECT_EQ(o.U1, 0.0);
    EXPECT_DOUBLE_EQ(sim.State1(), 1.71);
    EXPECT_DOUBLE_EQ(sim.State2(), 0.95 * 0.05 + 0.05 * 1.9);
}

// --- The plant link: refused writes and a server that stops answering -------------

// A plant that refuses every write of MV1: each sample is recorded all the
// same, the run ends at its planned time, the first refusal is reported once,
// and the samples whose MV1 the plant did not take are marked.
TEST(PlantLink, RefusedWritesOfMv1NeverStopTheRunAndMarkTheirSamples) {
    Bench b;
    b.plant.failingItem = "MV";
    b.run.Parameters.MVItem->Value = 10.0;  // the start value: nothing to write before the step
    b.run.Parameters.SamplingMs = 1000;
    StartAutomatic(b, 5.0, 10.0, 2.0, 1, false);
    int taken = 1, reported = 0;
    for (SampleOutcome o = b.run.Timer1Timer(); o.Taken; o = b.run.Timer1Timer()) {
        ++taken;
        if (!o.FirstWriteRefusal.empty()) ++reported;
    }
    EXPECT_EQ(taken, 15);  // waiting 5 s + one step of 10 s
    EXPECT_TRUE(b.run.Ended());
    EXPECT_EQ(reported, 1);
    EXPECT_EQ(b.run.RefusedWrites(), 10);
    EXPECT_EQ(b.run.View().StatusText, RefusedWritesStatusText(10, "MV"));
    ASSERT_EQ(b.run.Events().Events().size(), 1u);
    const RunEvent& e = b.run.Events().Events()[0];
    EXPECT_EQ(e.Kind, RunEventKind::WritesRefused);
    EXPECT_EQ(std::make_tuple(e.FirstSample, e.LastSample, e.Count, e.Time), std::make_tuple(6, 15, 10, 5.0));
    EXPECT_FALSE(b.run.Events().NotFromPlant(5));
    EXPECT_TRUE(b.run.Events().NotFromPlant(6));
    EXPECT_EQ(b.MV(5, 7), (std::vector<double>{10.0, 12.0, 12.0}));  // the commanded MV1
    // The identification keeps away from them: 5 plant samples of 14 are too few.
    const PlantSampleWindow w = PlantOnlyWindow(b.run.Events(), 1, 14);
    EXPECT_FALSE(w.Usable);
}

// A server that stops answering: noticed once it has been silent for the
// limit; the samples taken after its last answer and all later ones are not
// the plant's; no controller-mode command goes to it at the end.
TEST(PlantLink, AServerThatStopsAnsweringIsGivenUpAndItsLastSamplesMarked) {
    Bench b;
    b.run.Parameters.SamplingMs = 500;
    ASSERT_EQ(SilenceLimitMs(500), 800);
    b.run.StartManualRun();
    b.run.FormShow({});
    const auto sample = [&](std::int64_t silence) {
        b.clock.advance(500);
        b.plant.silence = silence;
        b.run.Timer1Timer();
    };
    sample(0);    // sample 2
    sample(0);    // 3
    sample(300);  // 4: 300 ms after the last answer, not noticed yet
    sample(700);  // 5
    EXPECT_FALSE(b.run.LinkLost());
    const std::size_t writesBefore = b.plant.writes.size();
    sample(1200);  // 6: silent for the limit
    EXPECT_TRUE(b.run.LinkLost());
    sample(1700);
    b.run.EndExperiment();
    EXPECT_EQ(b.plant.writes.size(), writesBefore);
    std::vector<std::tuple<RunEventKind, int, int>> seen;
    for (const RunEvent& e : b.run.Events().Events()) seen.emplace_back(e.Kind, e.FirstSample, e.LastSample);
    EXPECT_EQ(seen, (std::vector<std::tuple<RunEventKind, int, int>>{{RunEventKind::ServerSilent, 4, 5},
                                                                     {RunEventKind::LinkLost, 6, 7},
                                                                     {RunEventKind::LoopModeFailed, 7, 7}}));
    EXPECT_FALSE(b.run.Events().NotFromPlant(3));
    EXPECT_EQ(b.run.Events().CountNotFromPlant(1, 10), 4);
    EXPECT_EQ(PlantOnlyWindow(b.run.Events(), 1, 7).Reason,
              "No model or controller was made: 4 of the samples 1 to 7 are not from the plant (from sample 4 on), "
              "and the plant's own samples before them are too few to identify a model.");
}

// The identification window of a record with samples that are not the
// plant's: kept, limited to the plant's samples before them, or refused.
TEST(PlantLink, TheIdentificationWindowKeepsToThePlantsOwnSamples) {
    RunEvents events;
    for (int k = 61; k <= 100; ++k) events.Note(RunEventKind::LinkLost, "", k, k - 1.0, "", true);
    struct Case {
        int start, end;
        bool clean, usable;
        int limitedEnd;
    };
    for (const Case& c : {Case{1, 60, true, true, 60}, Case{10, 100, false, true, 60}, Case{50, 100, false, false, 100},
                          Case{55, 70, false, false, 70}}) {
        const PlantSampleWindow w = PlantOnlyWindow(events, c.start, c.end);
        EXPECT_EQ(std::make_tuple(w.Clean, w.Usable, w.Start, w.End),
                  std::make_tuple(c.clean, c.usable, c.start, c.limitedEnd))
            << c.start << ".." << c.end;
    }
    EXPECT_EQ(PlantOnlyWindow(events, 10, 100).Reason,
              "The identification window was limited to samples 10 to 60, the plant's own samples; samples from 61 "
              "on are not from the plant.");
    EXPECT_EQ(RunEventsFileLines(events, "E1"),
              (std::vector<std::string>{
                  "# Events of the run E1: time in s, first sample (counted from 1), what happened",
                  "60\t61\tlink to the OPC server lost: samples 61 to 100 are from the built-in simulation, not "
                  "from the plant"}));
}
