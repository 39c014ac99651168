// Failures of the plant link against halvetra-plant: a plant killed or frozen
// in the middle of an experiment, a plant that does not answer a connect, and
// "Load to controller" with writes the server refuses or without a link.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>
#include <iostream>
#include <tuple>
#include <vector>

#include "PlantProcess.h"
#include "data/MeasuredData.h"
#include "data/NumberText.h"
#include "experiment/Clock.h"
#include "experiment/ControllerLoad.h"
#include "experiment/ExperimentRun.h"
#include "opc/OpcUaPlantAccess.h"
#include "opc/PlantAccessError.h"

using namespace halvetra;
using testing_plant::EnsureApplication;
using testing_plant::ErrorOf;
using testing_plant::PlantProcess;
using testing_plant::Pump;

namespace {

std::string Node(const char* name) { return std::string("ns=1;s=Loop1.") + name; }

class PlantFailures : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(config_.isValid());
        access_ = std::make_unique<OpcUaPlantAccess>(config_.path());
    }
    void TearDown() override {
        run_.reset();
        access_.reset();
    }

    // A manual run on the plant's loop, MV1 held at 40 (the plant's rest).
    void StartRun() {
        run_ = std::make_unique<ExperimentRun>(access_.get(), clock_, data_, 7u,
                                               [] { QCoreApplication::processEvents(); });
        ExperimentItemIds ids;
        ids.MV = Node("MV1");
        ids.U = Node("U1");
        ids.Y1 = Node("Y1");
        ids.Y2 = Node("Y2");
        ids.MA = Node("Inner.MA");
        ids.ManualValue = 0;
        run_->PrepareItems(ids);
        run_->Parameters.SamplingMs = 100;
        run_->Parameters.InitialInput = 40.0;
        run_->Parameters.ClosedLoopAfter = false;
        ASSERT_TRUE(run_->StartManualRun());
        Pump(200);  // the first values of U1, Y1, Y2
        run_->FormShow(SliderSettings{});
    }

    // One sample after `ms` of real time; failed samples are counted, as the
    // window does, and never end the run.
    void Sample(int ms = 50) {
        Pump(ms);
        QElapsedTimer timer;
        timer.start();
        try {
            run_->Timer1Timer();
        } catch (const std::exception&) {
            ++failed_;
        }
        longestSampleMs_ = std::max<qint64>(longestSampleMs_, timer.elapsed());
    }

    std::vector<double> Row(int row) const {
        std::vector<double> v;
        for (int c = 1; c <= 6; ++c) v.push_back(data_.Column(c)[static_cast<std::size_t>(row)]);
        return v;
    }

    QTemporaryDir config_;
    std::unique_ptr<OpcUaPlantAccess> access_;
    SystemClock clock_;
    MeasuredData data_;
    std::unique_ptr<ExperimentRun> run_;
    int failed_ = 0;
    qint64 longestSampleMs_ = 0;
};

}  // namespace

TEST_F(PlantFailures, APlantKilledMidRunLeavesItsSamplesAndTheRunGoesOnInSimulation) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--noise", "0"});
    access_->Connect(plant.Url(), {});
    StartRun();
    for (int i = 0; i < 8; ++i) Sample();
    ASSERT_EQ(run_->PlantSamples(), 9);
    std::vector<std::vector<double>> before;
    for (int row = 0; row < 9; ++row) before.push_back(Row(row));
    // The plant's rest: U1 40, Y1 60, Y2 48.
    EXPECT_NEAR(before[8][2], 40.0, 0.5);
    EXPECT_NEAR(before[8][4], 60.0, 1.0);
    EXPECT_NEAR(before[8][5], 48.0, 1.0);

    plant.Kill();
    for (int i = 0; i < 40 && !run_->LinkLost(); ++i) Sample();
    ASSERT_TRUE(run_->LinkLost());
    for (int i = 0; i < 10; ++i) Sample();
    EXPECT_TRUE(run_->Running());
    EXPECT_EQ(failed_, 0);
    EXPECT_EQ(run_->View().StatusText, LinkLostStatusText(FormatFixed(run_->LinkLostTime(), 10, 4, '.')));
    const int plantRows = run_->PlantSamples();
    EXPECT_EQ(run_->LinkLostTime(), plantRows * 0.1);

    ASSERT_TRUE(run_->EndExperiment());
    EXPECT_EQ(data_.SampleCount, run_->RecordedSamples());
    for (int row = 0; row < 9; ++row) EXPECT_EQ(Row(row), before[static_cast<std::size_t>(row)]) << row;
    // The simulation took over from the plant's last values: no jump.
    const std::vector<double> last = Row(plantRows - 1);
    const std::vector<double> first = Row(plantRows);
    EXPECT_EQ(first[2], last[2]);
    EXPECT_NEAR(first[4], last[4], 1.0);
    EXPECT_NEAR(first[5], last[5], 0.5);
    EXPECT_EQ(run_->EndResult().LoopModeError, "");
    // The events say from which sample on the record is the simulation's.
    const RunEvents& events = run_->Events();
    ASSERT_FALSE(events.Empty());
    const RunEvent& lost = events.Events().back().Kind == RunEventKind::LoopModeFailed
                               ? events.Events()[events.Events().size() - 2]
                               : events.Events().back();
    EXPECT_EQ(lost.Kind, RunEventKind::LinkLost);
    EXPECT_EQ(lost.LastSample, run_->RecordedSamples());
    EXPECT_EQ(events.CountNotFromPlant(1, 9), 0);
    EXPECT_TRUE(events.NotFromPlant(plantRows + 1));
}

TEST_F(PlantFailures, AFrozenPlantMidRunIsGivenUpAndNoSampleHangs) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--noise", "0"});
    ConnectionOptions options;
    options.TimeoutMs = 800;
    access_->Connect(plant.Url(), options);
    StartRun();
    for (int i = 0; i < 4; ++i) Sample();
    const int beforeFreeze = run_->RecordedSamples();
    plant.Freeze();
    QElapsedTimer timer;
    timer.start();
    // Samples from the cache while the plant hangs, then a step of MV1 that
    // makes every sample write.
    for (int i = 0; i < 3; ++i) Sample(100);
    run_->EnterValue("45");
    while (!run_->LinkLost() && timer.elapsed() < 10000) Sample(100);
    ASSERT_TRUE(run_->LinkLost());
    // Noticed within max(2 s, 2 sampling periods): the client's question goes
    // unanswered, and a write waits at most its own second.
    std::cout << "[ measured ] frozen server noticed after " << timer.elapsed() << " ms\n";
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_LT(longestSampleMs_, 800 + 500);  // a write waits at most the timeout
    // The samples taken while it hung are marked, the ones before are the plant's.
    const RunEvents& events = run_->Events();
    ASSERT_GE(events.Events().size(), 2u);
    EXPECT_EQ(events.Events()[0].Kind, RunEventKind::ServerSilent);
    EXPECT_GT(events.Events()[0].FirstSample, beforeFreeze);
    EXPECT_EQ(events.CountNotFromPlant(1, beforeFreeze), 0);
    EXPECT_EQ(events.Events()[1].Kind, RunEventKind::LinkLost);
    for (int i = 0; i < 5; ++i) Sample();
    EXPECT_TRUE(run_->Running());
    EXPECT_EQ(run_->View().StatusText.rfind("  Warning: OPC server link lost at t = ", 0), 0u);
    ASSERT_TRUE(run_->EndExperiment());
    EXPECT_GE(data_.SampleCount, 10);
}

TEST_F(PlantFailures, AFrozenPlantIsRefusedAtConnectWithinTheTimeout) {
    PlantProcess plant(HALVETRA_PLANT_PATH);
    plant.Freeze();  // the port accepts, nobody speaks
    ConnectionOptions options;
    options.TimeoutMs = 700;
    QElapsedTimer timer;
    timer.start();
    const std::string error = ErrorOf([&] { access_->Connect(plant.Url(), options); });
    EXPECT_LT(timer.elapsed(), 700 + 500);
    EXPECT_EQ(error, "Cannot connect to " + plant.Url() + ": the server did not answer within 700 ms (BadTimeout)");
    EXPECT_FALSE(access_->IsConnected());
}

TEST_F(PlantFailures, AWriteOfSeveralItemsIsOneRequestAndARefusalWritesNone) {
    PlantProcess plant(HALVETRA_PLANT_PATH);
    access_->Connect(plant.Url(), {});
    PlantGroup& group = access_->AddGroup("SkupReg");
    const ItemHandle p = access_->AddItem(group, Node("Inner.P"));
    const ItemHandle i = access_->AddItem(group, Node("Inner.I"));
    const ItemHandle d = access_->AddItem(group, Node("Inner.D"));
    const ItemHandle ma = access_->AddItem(group, Node("Inner.MA"));  // Int32
    const ItemHandle u1 = access_->AddItem(group, Node("U1"));        // read-only
    const auto terms = [&] {
        std::vector<double> v;
        for (const auto& r : access_->ReadNodes({Node("Inner.P"), Node("Inner.I"), Node("Inner.D")}))
            v.push_back(r.Value);
        return v;
    };

    access_->WriteValues({p, i, d}, {1.25, 0.5, 0.125});
    EXPECT_EQ(terms(), (std::vector<double>{1.25, 0.5, 0.125}));

    // A read-only node, a value its type cannot hold, a value that is not finite:
    // the request is refused as a whole, naming each refused item.
    EXPECT_EQ(ErrorOf([&] {
                  access_->WriteValues({p, i, u1}, {9.0, 9.0, 1.0});
              }),
              "Cannot write Items:\nns=1;s=Loop1.U1: BadNotWritable");
    EXPECT_EQ(ErrorOf([&] {
                  access_->WriteValues({p, ma, u1}, {9.0, 1e10, 1.0});
              }),
              "Cannot write Items:\nns=1;s=Loop1.Inner.MA: BadOutOfRange");
    EXPECT_EQ(ErrorOf([&] {
                  access_->WriteValues({p, i, d}, {9.0, std::nan(""), 9.0});
              }),
              "Cannot write Items:\nns=1;s=Loop1.Inner.I: the value is not a finite number");
    EXPECT_EQ(terms(), (std::vector<double>{1.25, 0.5, 0.125}));
    EXPECT_EQ(u1->LastError, "BadNotWritable");

    // "Load to controller" through the real client: all three, or nothing.
    SystemClock clock;
    const auto events = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
    std::array<ItemHandle, 3> items;
    LoadToController(*access_, group, {Node("Inner.P"), Node("Inner.I"), Node("Inner.D")}, {"2.5", "", "0.75"}, '.',
                     items, clock, events);
    EXPECT_EQ(terms(), (std::vector<double>{2.5, 0.0, 0.75}));
    EXPECT_EQ(ErrorOf([&] {
                  LoadToController(*access_, group, {Node("Inner.P"), Node("Inner.I"), Node("U1")}, {"3", "3", "3"},
                                   '.', items, clock, events);
              }),
              "Cannot write Items:\nns=1;s=Loop1.U1: BadNotWritable");
    EXPECT_EQ(terms(), (std::vector<double>{2.5, 0.0, 0.75}));

    plant.Kill();
    Pump(300);
    ASSERT_FALSE(access_->IsConnected());
    EXPECT_EQ(ErrorOf([&] {
                  LoadToController(*access_, group, {Node("Inner.P"), Node("Inner.I"), Node("Inner.D")},
                                   {"3", "3", "3"}, '.', items, clock, events);
              }),
              "The controller items could not be reached: there is no connection to the OPC server. Nothing was "
              "written.");
    EXPECT_EQ(ErrorOf([&] {
                  access_->WriteValues({p, i}, {1.0, 1.0});
              }),
              "Cannot write Items:\nns=1;s=Loop1.Inner.P: BadNotConnected\nns=1;s=Loop1.Inner.I: BadNotConnected");
}

// A sensor that fails in the middle of a run (the plant reports Y1 with Bad
// quality from 1.5 s on): the run goes on, the status bar names Y1, and the
// record holds Y1's last good value from then on.
TEST_F(PlantFailures, AnItemTurningBadQualityMidRunKeepsItsLastGoodValue) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--noise", "0", "--bad-quality", "Loop1.Y1@1.5"});
    access_->Connect(plant.Url(), {});
    StartRun();
    for (int i = 0; i < 4; ++i) Sample();
    EXPECT_EQ(run_->View().StatusText, ConnectedStatusText);
    const int goodRows = run_->RecordedSamples();
    Pump(1500);
    for (int i = 0; i < 6; ++i) Sample();
    EXPECT_TRUE(run_->Running());
    EXPECT_EQ(failed_, 0);
    EXPECT_FALSE(run_->LinkLost());
    EXPECT_EQ(run_->View().StatusText, UnusableSignalsStatusText("Y1 has bad quality"));
    ASSERT_TRUE(run_->EndExperiment());
    const double lastGood = Row(goodRows - 1)[4];
    EXPECT_NEAR(lastGood, 60.0, 1.0);
    for (int row = goodRows; row < run_->RecordedSamples(); ++row) EXPECT_EQ(Row(row)[4], lastGood) << row;
    ASSERT_EQ(run_->Events().Events().size(), 1u);
    const RunEvent& bad = run_->Events().Events()[0];
    EXPECT_EQ(std::make_tuple(bad.Kind, bad.Subject, bad.Detail, bad.LastSample),
              std::make_tuple(RunEventKind::SignalUnusable, std::string("Y1"), std::string("bad quality"),
                              run_->RecordedSamples()));
    EXPECT_TRUE(run_->Events().NotFromPlant(bad.FirstSample));
}

// "Load to controller" with a controller term of Bad quality: nothing is written.
TEST_F(PlantFailures, LoadToControllerWithATermOfBadQualityWritesNothing) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--bad-quality", "Loop1.Inner.I@0"});
    access_->Connect(plant.Url(), {});
    PlantGroup& group = access_->AddGroup("SkupReg");
    const auto terms = [&] {
        std::vector<double> v;
        for (const auto& r : access_->ReadNodes({Node("Inner.P"), Node("Inner.D")})) v.push_back(r.Value);
        return v;
    };
    Pump(300);
    const std::vector<double> before = terms();
    SystemClock clock;
    const auto events = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
    std::array<ItemHandle, 3> items;
    QElapsedTimer timer;
    timer.start();
    const std::string error = ErrorOf([&] {
        LoadToController(*access_, group, {Node("Inner.P"), Node("Inner.I"), Node("Inner.D")}, {"7", "7", "7"}, '.',
                         items, clock, events);
    });
    EXPECT_LT(timer.elapsed(), 3000 + 1500);
    EXPECT_EQ(error.rfind("The controller items could not be reached: the I term item", 0), 0u) << error;
    EXPECT_NE(error.find("Nothing was written."), std::string::npos) << error;
    EXPECT_EQ(terms(), before);
}
