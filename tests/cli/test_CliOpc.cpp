// halvetra-cli opc: servers, browse, read and write against the simulated
// plant, with user names and secured channels, and the failures.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include "../integration/PlantProcess.h"
#include "CliRunner.h"

using testing_plant::PlantProcess;

namespace {

QString PlantPath() {
#ifdef HALVETRA_PLANT_PATH
    return HALVETRA_PLANT_PATH;
#else
    // Both programs are built into the same folder.
    return QFileInfo(HALVETRA_CLI_PATH).dir().filePath("halvetra-plant");
#endif
}

QString Node(const char* name) { return QString("ns=1;s=Loop1.") + name; }

class CliOpc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo::exists(PlantPath())) << "halvetra-plant is not built: " << PlantPath().toStdString();
        // The command keeps certificates and the servers used before here.
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        // ... and its write log here.
        ASSERT_TRUE(data_.isValid());
        qputenv("XDG_DATA_HOME", data_.path().toUtf8());
    }

    // The write log's lines after its header, each without its time.
    QStringList WriteLogLines() const {
        QFile file(QDir(data_.path()).filePath("Halvetra/writes.log"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty() && lines.front().startsWith('#')) lines.removeFirst();
        for (QString& line : lines) line = line.section('\t', 1);
        return lines;
    }

    QTemporaryDir config_;
    QTemporaryDir data_;
};

QJsonObject FindNode(const QJsonArray& nodes, const QString& id) {
    for (const auto& node : nodes)
        if (node.toObject()["node"].toString() == id) return node.toObject();
    return {};
}

}  // namespace

TEST_F(CliOpc, BrowsesTheObjectsFolderAndTheLoop) {
    PlantProcess plant(PlantPath());
    const QString url = QString::fromStdString(plant.Url());
    const Result objects = RunCli({"opc", "browse", url});
    ASSERT_EQ(objects.status, 0) << objects.err;
    const QJsonObject loop = FindNode(Parse(objects.out)["nodes"].toArray(), "ns=1;s=Loop1");
    EXPECT_EQ(loop.keys(), QStringList({"class", "name", "node", "readable", "writable"}));
    EXPECT_EQ(loop["name"].toString(), "Loop1");
    EXPECT_EQ(loop["class"].toString(), "Object");
    EXPECT_FALSE(loop["readable"].toBool());

    const Result signals_ = RunCli({"opc", "browse", url, "ns=1;s=Loop1"});
    ASSERT_EQ(signals_.status, 0) << signals_.err;
    const QJsonArray nodes = Parse(signals_.out)["nodes"].toArray();
    const QJsonObject mv1 = FindNode(nodes, Node("MV1"));
    EXPECT_EQ(mv1["class"].toString(), "Variable");
    EXPECT_TRUE(mv1["readable"].toBool());
    EXPECT_TRUE(mv1["writable"].toBool());
    const QJsonObject y1 = FindNode(nodes, Node("Y1"));
    EXPECT_TRUE(y1["readable"].toBool());
    EXPECT_FALSE(y1["writable"].toBool());
}

TEST_F(CliOpc, WritesInTheNodesTypeAndReadsBack) {
    PlantProcess plant(PlantPath());
    const QString url = QString::fromStdString(plant.Url());
    Result written = RunCli({"opc", "write", url, Node("Inner.MA"), "0"});  // manual: MV1 stays as written
    ASSERT_EQ(written.status, 0) << written.err;
    written = RunCli({"opc", "write", url, Node("MV1"), "12.5"});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out, "{\"written\":true}\n");
    ASSERT_EQ(RunCli({"opc", "write", url, Node("Inner.P"), "3"}).status, 0);

    const Result read = RunCli({"opc", "read", url, Node("MV1"), Node("Inner.MA"), Node("Inner.P")});
    ASSERT_EQ(read.status, 0) << read.err;
    const QJsonArray values = Parse(read.out)["values"].toArray();
    ASSERT_EQ(values.size(), 3);
    EXPECT_EQ(values[0].toObject().keys(), QStringList({"node", "quality", "value"}));
    EXPECT_EQ(values[0].toObject()["node"].toString(), Node("MV1"));
    EXPECT_EQ(values[0].toObject()["value"].toDouble(), 12.5);
    EXPECT_EQ(values[0].toObject()["quality"].toInt(), 192);
    EXPECT_EQ(values[1].toObject()["value"].toDouble(), 0.0);
    EXPECT_EQ(values[2].toObject()["value"].toDouble(), 3.0);

    // A Boolean or Int32 command item takes true as well as 1.
    EXPECT_EQ(RunCli({"opc", "write", url, Node("Inner.Automatic"), "true"}).status, 0);

    // Every write is a line of the write log, with the value before it.
    const QStringList logged = WriteLogLines();
    ASSERT_EQ(logged.size(), 4);
    EXPECT_EQ(logged[1], url + "\tanonymous\t" + Node("MV1") + "\t40\t12.5\tok");
}

TEST_F(CliOpc, ListsTheDiscoveredServersAndThoseUsedBefore) {
    PlantProcess plant(PlantPath());
    const QString url = QString::fromStdString(plant.Url());
    const Result found = RunCli({"opc", "servers", "--discovery", url});
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(Parse(found.out)["servers"].toArray(), QJsonArray({url}));

    // A discovery server that does not answer is named on standard error and
    // gives status 3; the servers used before are listed all the same.
    const QString nobody = "opc.tcp://127.0.0.1:" + QString::number(testing_plant::FreeLoopbackPort());
    Result none = RunCli({"opc", "servers", "--discovery", nobody});
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.err.rfind("The discovery server " + nobody.toStdString() + " did not answer", 0), 0u) << none.err;
    EXPECT_EQ(none.out, "{\"servers\":[]}\n");

    // Command-line connections join the window's list only with --remember.
    ASSERT_EQ(RunCli({"opc", "read", url, Node("Y1")}).status, 0);
    none = RunCli({"opc", "servers", "--discovery", nobody});
    EXPECT_EQ(none.out, "{\"servers\":[]}\n");
    ASSERT_EQ(RunCli({"opc", "read", url, Node("Y1"), "--remember"}).status, 0);
    none = RunCli({"opc", "servers", "--discovery", nobody});
    EXPECT_EQ(Parse(none.out)["servers"].toArray(), QJsonArray({url}));
}

TEST_F(CliOpc, SecuredReadsWithAUserName) {
    PlantProcess plant(PlantPath(), {"--user", "operator", "--password", "loop-42"});
    const QString url = QString::fromStdString(plant.Url());
    const QStringList user = {"--user", "operator", "--password", "loop-42"};
    const Result read =
        RunCli(QStringList{"opc", "read", url, Node("Y1"), "--security", "encrypt", "--accept-certificate"} + user);
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(Parse(read.out)["values"].toArray()[0].toObject()["quality"].toInt(), 192);
    // Without the option an unknown server certificate is refused.
    const Result refused = RunCli(QStringList{"opc", "read", url, Node("Y1"), "--security", "encrypt"} + user);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("the server's certificate is not trusted (SHA-1 "), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");

    const Result wrong = RunCli({"opc", "read", url, Node("Y1"), "--user", "operator", "--password", "nope"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("the server refused the user name or password"), std::string::npos) << wrong.err;
}

TEST_F(CliOpc, FailuresGoToStandardErrorWithStatus1) {
    PlantProcess plant(PlantPath());
    const QString url = QString::fromStdString(plant.Url());
    Result r = RunCli({"opc", "write", url, Node("U1"), "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot write Items:\nns=1;s=Loop1.U1: BadNotWritable\n");
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(WriteLogLines().size(), 1);
    EXPECT_TRUE(WriteLogLines()[0].endsWith("\t1\tBadNotWritable")) << WriteLogLines()[0].toStdString();

    r = RunCli({"opc", "read", url, Node("Y1"), Node("Nothing")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "OPC Command:\nns=1;s=Loop1.Nothing: BadNodeIdUnknown\n");
    EXPECT_EQ(r.out, "");

    r = RunCli({"opc", "write", url, Node("MV1"), "1,5"});
    EXPECT_EQ(r.err, "'1,5' is not a valid floating point value\n");

    const QString nobody = "opc.tcp://127.0.0.1:" + QString::number(testing_plant::FreeLoopbackPort());
    r = RunCli({"opc", "read", nobody, Node("Y1"), "--timeout", "2000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot connect to " + nobody.toStdString() +
                         ": no OPC UA server answers at this address (BadConnectionRejected)\n");
}

TEST_F(CliOpc, UsageErrorsGiveStatus2) {
    for (const QStringList& arguments :
         {QStringList{"opc"}, QStringList{"opc", "scan"}, QStringList{"opc", "read", "opc.tcp://127.0.0.1:1"},
          QStringList{"opc", "browse", "opc.tcp://127.0.0.1:1", "--security", "strong"},
          QStringList{"opc", "browse", "opc.tcp://127.0.0.1:1", "--password", "x"}}) {
        const Result r = RunCli(arguments);
        EXPECT_EQ(r.status, 2) << arguments.join(' ').toStdString();
        EXPECT_NE(r.err.find("Usage: halvetra-cli opc"), std::string::npos);
    }
}
