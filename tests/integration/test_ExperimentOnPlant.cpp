// An automatic experiment against halvetra-plant: the run writes MV1 through
// the real client, commands the controller's mode, and records U1, Y1 and Y2
// as the server reports them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "PlantProcess.h"
#include "data/MeasuredData.h"
#include "experiment/Clock.h"
#include "experiment/ExperimentRun.h"
#include "opc/OpcUaPlantAccess.h"

using namespace halvetra;
using testing_plant::Pump;

TEST(ExperimentOnPlant, AnAutomaticRunStepsMv1AndRecordsTheServersSignals) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    testing_plant::PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--noise", "0"});
    OpcUaPlantAccess access(QString::fromStdString(std::string(::testing::TempDir()) + "halvetra-experiment-pki"));
    access.Connect(plant.Url(), ConnectionOptions{});
    ASSERT_TRUE(access.IsConnected());

    SystemClock clock;
    MeasuredData data;
    ExperimentRun run(&access, clock, data, 1, [] { QCoreApplication::processEvents(); });
    ExperimentItemIds ids;
    ids.MV = "ns=1;s=Loop1.MV1";
    ids.U = "ns=1;s=Loop1.U1";
    ids.Y1 = "ns=1;s=Loop1.Y1";
    ids.Y2 = "ns=1;s=Loop1.Y2";
    ids.SingleMASwitch = false;
    ids.Manual = "ns=1;s=Loop1.Inner.Manual";
    ids.Automatic = "ns=1;s=Loop1.Inner.Automatic";
    run.PrepareItems(ids);

    ExperimentParameters& p = run.Parameters;
    p.ExperimentLabel = "plant";
    p.SamplingMs = 100;
    p.InitialInput = 40.0;
    p.WaitingTime = 0.5;
    p.StepTime = 0.5;
    p.StepAmplitude = 10.0;
    p.NumberOfSteps = 1;
    p.BothDirections = true;
    p.ClosedLoopDuring = false;
    p.ClosedLoopAfter = false;
    ASSERT_TRUE(run.StartAutomaticRun());  // MV1 reports good quality

    run.FormShow(SliderSettings{});
    std::vector<double> mvWritten;
    for (int tick = 0; tick < 40; ++tick) {
        Pump(60);  // the plant runs 20 times faster than real time
        const SampleOutcome outcome = run.Timer1Timer();
        if (!outcome.Taken) break;
        mvWritten.push_back(outcome.Chart.Add.MV);
        if (outcome.Ended) break;
    }
    ASSERT_TRUE(run.EndExperiment() || data.SampleCount > 0);

    // Start 40, one step up by 10, back down, then the end.
    ASSERT_GE(data.SampleCount, 10);
    EXPECT_EQ(data.Column(1)[0], 40.0);
    double highest = 0.0;
    for (int i = 0; i < data.SampleCount; ++i) highest = std::max(highest, data.Column(1)[static_cast<std::size_t>(i)]);
    EXPECT_EQ(highest, 50.0);
    EXPECT_EQ(data.Column(1)[static_cast<std::size_t>(data.SampleCount - 1)], 40.0);

    // The server's signals were recorded: the plant starts at rest (MV 40 %,
    // Y1 60, Y2 48) and its actuator follows MV1.
    EXPECT_NEAR(data.Column(5)[0], 60.0, 1.0);
    EXPECT_NEAR(data.Column(6)[0], 48.0, 1.0);
    bool inputMoved = false;
    for (int i = 0; i < data.SampleCount; ++i)
        if (data.Column(3)[static_cast<std::size_t>(i)] > 40.5) inputMoved = true;
    EXPECT_TRUE(inputMoved);

    // MV1 on the server holds the last value the run wrote.
    const auto readings = access.ReadNodes({"ns=1;s=Loop1.MV1"});
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_NEAR(readings[0].Value, 40.0, 1e-9);
    access.Disconnect();
}
