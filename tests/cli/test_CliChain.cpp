// halvetra-cli experiment and chain: an automatic experiment run off screen
// (simulated without waiting, or against the plant in real time) and the
// processing of a record leave exactly the run's data, model, controller and
// report files; "Don't write to OPC" leaves no model or controller; usage
// and file errors.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTextStream>

#include "../integration/PlantProcess.h"
#include "CliRunner.h"

namespace {

const QString Examples = QStringLiteral(HALVETRA_SOURCE_DIR "/examples/");

QStringList FilesIn(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    return names;
}

QStringList Expected(const QString& label, const QStringList& extensions) {
    QStringList names;
    for (const QString& extension : extensions) names << label + "." + extension;
    names.sort();
    return names;
}

// The printed file list, as names inside `folder`.
QStringList Printed(const Result& result, const QString& folder) {
    QStringList names;
    for (const auto& entry : Parse(result.out).value("files").toArray()) {
        const QString path = entry.toString();
        EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(folder).absolutePath()) << path.toStdString();
        names << QFileInfo(path).fileName();
    }
    return names;
}

// The header lines of a measured-data file (sampling time, samples, window).
QStringList HeaderOf(const QString& path, int count = 12) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QStringList lines;
    QTextStream in(&file);
    while (lines.size() < count && !in.atEnd()) lines << in.readLine().trimmed();
    return lines;
}

// A copy of a settings file with some lines (counted from 0) replaced.
QString SettingsCopy(const QString& from, const QString& to, const std::map<int, QString>& changes) {
    QFile in(from);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(in.readAll()).split('\n');
    for (const auto& [index, text] : changes) lines[index] = text;
    QFile out(to);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(lines.join('\n').toUtf8());
    return to;
}

}  // namespace

TEST(CliExperiment, FastSimulatedRunLeavesTheFourFilesOfItsRecord) {
    QTemporaryDir dir;
    const QString out = dir.filePath("run");  // made by the command
    const Result result = RunCli({"experiment", Examples + "simulation-steps.hvx", "--fast", "--out", out});
    ASSERT_EQ(result.status, 0) << result.err;
    const QStringList four = Expected("simulation-steps", {"hvd", "hvm", "hvc", "odt"});
    EXPECT_EQ(FilesIn(out), four);  // no pictures left behind
    EXPECT_EQ(Printed(result, out), QStringList({"simulation-steps.hvd", "simulation-steps.hvm", "simulation-steps.hvc",
                                                 "simulation-steps.odt"}));

    // Ts 1 s, 20 s waiting, two steps of 60 s up and down: 260 samples; the
    // window starts just before the first step and ends at the last sample.
    const QStringList header = HeaderOf(out + "/simulation-steps.hvd");
    EXPECT_EQ(header[4], "1");
    EXPECT_EQ(header[5], "260");
    const int start = header[6].toInt();
    EXPECT_GE(start, 15);
    EXPECT_LT(start, 20);
    EXPECT_EQ(header[7], "260");
    EXPECT_GT(QFileInfo(out + "/simulation-steps.hvm").size(), 0);
    EXPECT_GT(QFileInfo(out + "/simulation-steps.hvc").size(), 0);

    // A folder that cannot take the record (its name is taken by a folder):
    // the record goes to the window's rescue folder, and the error names it.
    QTemporaryDir data(QDir::temp().filePath("halvetra-cli-data-XXXXXX"));
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const QString blocked = dir.filePath("blocked");
    ASSERT_TRUE(QDir().mkpath(blocked + "/simulation-steps.hvd"));
    const Result rescued = RunCli({"experiment", Examples + "simulation-steps.hvx", "--fast", "--out", blocked});
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(rescued.status, 1);
    const QString saved = data.path() + "/Halvetra/unsaved records/simulation-steps.hvd";
    EXPECT_NE(rescued.err.find("the measured data were saved to " + saved.toStdString() + " instead"),
              std::string::npos)
        << rescued.err;
    EXPECT_EQ(HeaderOf(saved)[5], "260");
}

TEST(CliChain, ProcessesARecordWithTheSettingsOfAnAutomaticRun) {
    QTemporaryDir dir;
    const QString out = dir.filePath("chain");
    const Result result =
        RunCli({"chain", Examples + "simulation-steps.hvx", Examples + "cascade-steps.hvd", "--out", out});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(FilesIn(out), Expected("simulation-steps", {"hvd", "hvm", "hvc", "odt"}));
    EXPECT_EQ(Printed(result, out).size(), 4);
    // The record and its window as loaded from the file.
    const QStringList source = HeaderOf(Examples + "cascade-steps.hvd");
    const QStringList written = HeaderOf(out + "/simulation-steps.hvd");
    for (int line = 4; line <= 7; ++line) EXPECT_EQ(written[line], source[line]) << "header line " << line;

    // "Don't write to OPC" (line 50): only the data file and the report.
    const QString noWrite =
        SettingsCopy(Examples + "simulation-steps.hvx", dir.filePath("nowrite.hvx"), {{50, "True"}});
    const QString out2 = dir.filePath("nowrite");
    const Result second = RunCli({"chain", noWrite, Examples + "cascade-steps.hvd", "--out", out2});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(FilesIn(out2), Expected("nowrite", {"hvd", "odt"}));
    EXPECT_EQ(Printed(second, out2), QStringList({"nowrite.hvd", "nowrite.odt"}));
}

TEST(CliChain, UsageAndFileErrors) {
    QTemporaryDir dir;
    Result result = RunCli({"experiment", Examples + "simulation-steps.hvx", "--fast", "--server",
                            "opc.tcp://127.0.0.1:4840", "--out", dir.path()});
    EXPECT_EQ(result.status, 2);
    result = RunCli({"experiment", Examples + "simulation-steps.hvx", "--fast"});  // no --out
    EXPECT_EQ(result.status, 2);
    // The connection options are checked as opc checks them.
    result = RunCli({"experiment", Examples + "simulation-steps.hvx", "--out", dir.path(), "--password", "x"});
    EXPECT_EQ(result.status, 2);
    result = RunCli({"chain", Examples + "simulation-steps.hvx", Examples + "cascade-steps.hvd", "--out", dir.path(),
                     "--security", "strong"});
    EXPECT_EQ(result.status, 2);

    const QString missing = dir.filePath("missing.hvx");
    for (const QStringList& arguments :
         {QStringList{"experiment", missing, "--fast", "--out", dir.path()},
          QStringList{"chain", missing, Examples + "cascade-steps.hvd", "--out", dir.path()}}) {
        result = RunCli(arguments);
        EXPECT_EQ(result.status, 1) << arguments.join(' ').toStdString();
        EXPECT_NE(result.err.find("Cannot open file " + missing.toStdString()), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
    EXPECT_TRUE(FilesIn(dir.path()).isEmpty());
}

// Against a plant that wants a user name over an encrypted channel: the
// connection options of opc, and the run leaves the window's list of servers
// used before alone.
TEST(CliExperiment, RealTimeRunAgainstThePlant) {
    testing_plant::PlantProcess plant(HALVETRA_PLANT_PATH,
                                      {"--speed", "20", "--user", "operator", "--password", "loop-42"});
    QTemporaryDir dir;
    QTemporaryDir config(QDir::temp().filePath("halvetra-cli-config-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // Ts 0.2 s, 2 s waiting, one step of 2 s up and down: 30 samples in about 6 s.
    const QString settings = SettingsCopy(Examples + "plant-steps.hvx", dir.filePath("short.hvx"),
                                          {{41, "0.2"}, {44, "2"}, {46, "2"}, {47, "1"}});
    const QString out = dir.filePath("run");
    const QStringList run = {"experiment", settings, "--server", QString::fromStdString(plant.Url()), "--out", out};
    const Result anonymous = RunCli(run);
    EXPECT_EQ(anonymous.status, 1);
    EXPECT_NE(anonymous.err.find("give a user name and password"), std::string::npos) << anonymous.err;

    const Result result = RunCli(run + QStringList{"--user", "operator", "--password", "loop-42", "--security",
                                                   "encrypt", "--accept-certificate"});
    qunsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(QFileInfo::exists(config.filePath("Halvetra/servers.txt")));
    EXPECT_EQ(FilesIn(out), Expected("short", {"hvd", "hvm", "hvc", "odt"}));
    const QStringList header = HeaderOf(out + "/short.hvd", 14);
    EXPECT_EQ(header[5], "30");
    // Measured by the plant, not simulated: before the step MV1 holds the
    // initial input 40 and the inner measurement sits at the plant's steady state.
    QFile file(out + "/short.hvd");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    const QStringList firstRow = lines[18].trimmed().split('\t');
    ASSERT_EQ(firstRow.size(), 7);
    EXPECT_EQ(firstRow[1].toDouble(), 40.0);
    EXPECT_NEAR(firstRow[5].toDouble(), 60.0, 1.0);
}

// A plant that refuses every write of MV1: the run still ends at its planned
// time; the record, the run's events and a report that says why there is no
// model are written; the command says so with status 3 and its warnings.
TEST(CliExperiment, ARunWhosePlantRefusesMv1EndsOnTimeWithoutAModel) {
    testing_plant::PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--read-only", "Loop1.MV1"});
    QTemporaryDir dir;
    // Ts 0.2 s, 2 s waiting, one step of 2 s up and down: 30 samples in about 6 s.
    const QString settings = SettingsCopy(Examples + "plant-steps.hvx", dir.filePath("short.hvx"),
                                          {{41, "0.2"}, {44, "2"}, {46, "2"}, {47, "1"}});
    const QString out = dir.filePath("run");
    const Result result =
        RunCli({"experiment", settings, "--server", QString::fromStdString(plant.Url()), "--out", out});
    ASSERT_EQ(result.status, 3) << result.err;
    EXPECT_EQ(FilesIn(out), Expected("short", {"hvd", "events.txt", "odt"}));
    EXPECT_EQ(HeaderOf(out + "/short.hvd", 14)[5], "30");
    const QJsonArray warnings = Parse(result.out).value("warnings").toArray();
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_EQ(warnings[0].toString().toStdString(),
              "t = 2 s, sample 11: MV1: 10 writes refused by the plant (ns=1;s=Loop1.MV1: BadNotWritable), samples 11 "
              "to 20; the record holds the commanded MV1, which the plant did not take");
    EXPECT_TRUE(warnings[1].toString().startsWith("No model or controller was made:"));
    EXPECT_NE(result.err.find("Warning: t = 2 s, sample 11: MV1: 10 writes refused"), std::string::npos);
    QFile events(out + "/short.events.txt");
    ASSERT_TRUE(events.open(QIODevice::ReadOnly));
    EXPECT_TRUE(events.readAll().contains("2\t11\tMV1: 10 writes refused by the plant"));
}

// The whole flow on a level: an experiment against the plant whose outer
// process is integrating (a pulse of MV1), "auto" identification that finds
// the level integrating (slope 0.01 %/s per unit of Y1 in plant time, 0.2
// per second of the record at speed 20) and the flow self-regulating, and
// SIMC tuning of the cascade from the model file it writes, robust at a
// sampling time fine enough for the record's time scale.
TEST(CliExperiment, ALevelPlantIsIdentifiedIntegratingAndTunedBySimc) {
    testing_plant::PlantProcess plant(HALVETRA_PLANT_PATH, {"--speed", "20", "--noise", "0", "--outer-integrating"});
    QTemporaryDir dir;
    // Ts 0.1 s, 2 s waiting, one step of 2 s up and down: 60 samples in about 6 s.
    const QString settings = SettingsCopy(Examples + "plant-steps.hvx", dir.filePath("level.hvx"),
                                          {{41, "0.1"}, {44, "2"}, {46, "2"}, {47, "1"}});
    const QString out = dir.filePath("run");
    const Result run = RunCli({"experiment", settings, "--server", QString::fromStdString(plant.Url()), "--out", out});
    ASSERT_EQ(run.status, 0) << run.err;

    const QString model = dir.filePath("level.hvm");
    const Result identified = RunCli({"identify", out + "/level.hvd", "--process", "auto", "--save-model", model});
    ASSERT_EQ(identified.status, 0) << identified.err;
    const QJsonObject json = Parse(identified.out);
    EXPECT_EQ(json["inner"].toObject()["model_type"].toString(), "self-regulating");
    const QJsonObject level = json["outer"].toObject();
    ASSERT_EQ(level["model_type"].toString(), "integrating") << identified.out;
    // Sampled in real time: a loaded machine stretches the record's time a little.
    EXPECT_NEAR(level["gain"].toDouble(), 0.2, 0.04);
    EXPECT_NEAR(level["dead_time"].toDouble(), 0.3, 0.2);  // 5 s / 20, as measured
    EXPECT_NE(level["quality"].toString(), "Bad");

    const Result tuned = RunCli({"tune", "--model", model, "--cascade", "--method", "7", "--sampling-time", "0.01"});
    ASSERT_EQ(tuned.status, 0) << tuned.err;
    const QJsonObject gains = Parse(tuned.out);
    EXPECT_GT(gains["kp_inner"].toDouble(), 0.0);
    EXPECT_GT(gains["KpPI"].toDouble(), 0.0);
    const QJsonObject pi = gains["robustness"].toObject()["PI"].toObject();
    EXPECT_TRUE(pi["stable"].toBool());
    EXPECT_GT(pi["ms"].toDouble(), 1.2);
    EXPECT_LT(pi["ms"].toDouble(), 2.2);
    EXPECT_EQ(RunCli({"tune", "--model", model, "--cascade", "--method", "0"}).status, 1);
}
