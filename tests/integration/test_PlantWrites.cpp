// Writes of the user's commands against halvetra-plant: the experiment's
// manual/automatic commands, "Load to controller" and "Restore previous
// parameters" change the plant's controller and each item written is a line
// of the write log.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "PlantProcess.h"
#include "data/MeasuredData.h"
#include "experiment/Clock.h"
#include "experiment/ControllerLoad.h"
#include "experiment/ExperimentRun.h"
#include "experiment/WriteLog.h"
#include "opc/OpcUaPlantAccess.h"

using namespace halvetra;
using testing_plant::EnsureApplication;
using testing_plant::PlantProcess;
using testing_plant::Pump;

namespace {

std::string Node(const char* name) { return std::string("ns=1;s=Loop1.") + name; }

}  // namespace

TEST(PlantWrites, RestoreBringsBackTheControllerAndTheLogHoldsEveryWrite) {
    EnsureApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--noise", "0"});
    OpcUaPlantAccess access(folder.filePath("config"));
    access.Connect(plant.Url(), {});
    WriteLog log(folder.filePath("data/writes.log").toStdString());
    const auto read = [&access](std::vector<std::string> ids) {
        std::vector<double> values;
        for (const NodeReading& reading : access.ReadNodes(ids)) values.push_back(reading.Value);
        return values;
    };
    const std::vector<std::string> ids = {Node("Inner.P"), Node("Inner.I"), Node("Inner.D"), Node("Inner.MA")};

    // A manual run that leaves the loop in automatic: two mode commands.
    SystemClock clock;
    MeasuredData data;
    ExperimentRun run(&access, clock, data, 7u, [] { QCoreApplication::processEvents(); });
    run.SetWriteLog(&log);
    ExperimentItemIds items;
    items.MV = Node("MV1");
    items.U = Node("U1");
    items.Y1 = Node("Y1");
    items.Y2 = Node("Y2");
    items.MA = Node("Inner.MA");
    items.ManualValue = 0;
    run.PrepareItems(items);
    run.Parameters.SamplingMs = 100;
    run.Parameters.InitialInput = 40.0;
    run.Parameters.ClosedLoopAfter = true;
    ASSERT_TRUE(run.StartManualRun());
    Pump(200);
    run.FormShow(SliderSettings{});
    ASSERT_TRUE(run.EndExperiment());
    EXPECT_EQ(run.EndResult().LoopModeError, "");
    const std::vector<double> before = read(ids);
    EXPECT_EQ(before[3], 1.0);

    const auto events = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
    PlantGroup& group = access.AddGroup("SkupReg");
    std::array<ItemHandle, 3> handles;
    ControllerSnapshot previous;
    ControllerWriteOptions options;
    options.ModeItemId = ids[3];
    options.Previous = &previous;
    options.Log = &log;
    LoadToController(access, group, {ids[0], ids[1], ids[2]}, {"2.5", "0.4", ""}, '.', handles, clock, events,
                     QualityWaitMs, options);
    EXPECT_EQ(read(ids), (std::vector<double>{2.5, 0.4, 0.0, 1.0}));
    EXPECT_EQ(previous.Ids, ids);
    EXPECT_EQ(previous.Values, before);

    // Someone switches the loop to manual meanwhile; the restore puts everything back.
    access.WriteNode(ids[3], 0.0);
    RestoreController(access, group, previous, handles, clock, events, QualityWaitMs, &log);
    EXPECT_EQ(read(ids), before);

    QFile file(folder.filePath("data/writes.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 2 + 3 + 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0] + '\n', QString::fromLatin1(WriteLog::Header));
    const auto fields = [&lines](int line) { return lines[line].split('\t').mid(1); };  // without the time
    const QString url = QString::fromStdString(plant.Url());
    const QString p = QString::fromStdString(ids[0]), ma = QString::fromStdString(ids[3]);
    // The mode commands: the M/A item's old value is there when it had reported one.
    EXPECT_EQ(fields(1).mid(0, 3), (QStringList{url, "anonymous", ma}));
    EXPECT_EQ(fields(1).mid(4), (QStringList{"0", "ok"}));
    EXPECT_EQ(fields(2).mid(4), (QStringList{"1", "ok"}));
    // Load (P, I, D) and restore (P, I, D, M/A): old and new values exactly.
    EXPECT_EQ(fields(3).mid(0, 3), (QStringList{url, "anonymous", p}));
    EXPECT_EQ(fields(3)[3].toDouble(), before[0]);
    EXPECT_EQ(fields(3).mid(4), (QStringList{"2.5", "ok"}));
    EXPECT_EQ(fields(5)[2], QString::fromStdString(ids[2]));
    EXPECT_EQ(fields(5)[3].toDouble(), before[2]);
    EXPECT_EQ(fields(5).mid(4), (QStringList{"0", "ok"}));
    EXPECT_EQ(fields(6).mid(2, 2), (QStringList{p, "2.5"}));
    EXPECT_EQ(fields(6)[4].toDouble(), before[0]);
    EXPECT_EQ(fields(9).mid(2), (QStringList{ma, "0", "1", "ok"}));
    for (const QString& line : lines.mid(1))
        EXPECT_TRUE(QDateTime::fromString(line.section('\t', 0, 0), Qt::ISODateWithMs).isValid()) << line.toStdString();
}
