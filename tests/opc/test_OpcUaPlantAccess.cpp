// The plant access against an OPC UA server in the test process: connecting
// within the timeout, the disconnected event, groups and their values through
// the event loop, conversions on write, browsing, and secure connections with
// the trust of server certificates.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "TestServer.h"
#include "opc/OpcUaCertificates.h"
#include "opc/OpcUaPlantAccess.h"
#include "opc/PlantAccessError.h"

using namespace halvetra;
using namespace testing_opc;

namespace {

class PlantAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(config_.isValid());
        access_ = std::make_unique<OpcUaPlantAccess>(config_.path());
        access_->Disconnected = [this] { ++disconnects_; };
    }

    void ConnectTo(TestServer& server, ConnectionOptions options = {}) {
        access_->Connect(server.Url(), options);
        ASSERT_TRUE(access_->IsConnected());
    }

    QTemporaryDir config_;
    std::unique_ptr<OpcUaPlantAccess> access_;
    int disconnects_ = 0;
};

}  // namespace

// ---------------------------------------------------------------- connection

TEST_F(PlantAccessTest, AClosedPortIsRefusedAtOnceWithAClearMessage) {
    const std::string url = "opc.tcp://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    QElapsedTimer timer;
    timer.start();
    const std::string error = ErrorOf([&] { access_->Connect(url, {}); });
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(error, "Cannot connect to " + url + ": no OPC UA server answers at this address (BadConnectionRejected)");
    EXPECT_EQ(ErrorOf([&] { access_->Connect("", {}); }), "Cannot connect: no OPC server selected");
    EXPECT_FALSE(access_->IsConnected());
    EXPECT_EQ(disconnects_, 0);
}

TEST_F(PlantAccessTest, AServerThatNeverAnswersIsGivenUpAfterTheTimeoutWhileEventsGoOn) {
    SilentListener silent;
    ConnectionOptions options;
    options.TimeoutMs = 400;
    int ticks = 0;  // the window's own timers keep running meanwhile
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    QElapsedTimer timer;
    timer.start();
    const std::string error = ErrorOf([&] { access_->Connect(silent.Url(), options); });
    const qint64 elapsed = timer.elapsed();
    EXPECT_GE(ticks, 5);
    EXPECT_GE(elapsed, 390);
    EXPECT_LT(elapsed, 1400);
    EXPECT_EQ(error, "Cannot connect to " + silent.Url() + ": the server did not answer within 400 ms (BadTimeout)");
    EXPECT_FALSE(access_->IsConnected());
}

TEST_F(PlantAccessTest, ConnectsAndDisconnectFiresTheEventOnlyForAnActiveConnection) {
    TestServer server;
    EXPECT_EQ(access_->ServerStateText(), "");
    access_->Disconnect();
    EXPECT_EQ(disconnects_, 0);
    ConnectTo(server);
    EXPECT_EQ(access_->ServerStateText(), "running");
    access_->Disconnect();
    EXPECT_FALSE(access_->IsConnected());
    EXPECT_EQ(disconnects_, 1);
    access_->Disconnect();
    EXPECT_EQ(disconnects_, 1);
    EXPECT_EQ(access_->ServerStateText(), "");
}

TEST_F(PlantAccessTest, ConnectingAgainClosesTheFormerConnectionFirst) {
    TestServer first;
    TestServer second;
    ConnectTo(first);
    ConnectTo(second);
    EXPECT_EQ(disconnects_, 1);
    // A failed attempt also ends the connection that was there.
    EXPECT_THROW(access_->Connect("opc.tcp://127.0.0.1:" + std::to_string(FreeLoopbackPort()), {}), PlantAccessError);
    EXPECT_EQ(disconnects_, 2);
    EXPECT_FALSE(access_->IsConnected());
}

// ---------------------------------------------------------------- server list

TEST_F(PlantAccessTest, ServerListHoldsTheDiscoveredServersAndThoseUsedBefore) {
    TestServer server;
    access_->setDiscoveryUrl("opc.tcp://127.0.0.1:" + std::to_string(FreeLoopbackPort()));
    EXPECT_TRUE(access_->ListServers().empty());  // nobody answers: no error, nothing found

    ConnectTo(server);
    access_->Disconnect();
    EXPECT_EQ(access_->ListServers(), std::vector<std::string>{server.Url()});

    // The servers used before outlive the object; discovered ones come first.
    TestServer other;
    OpcUaPlantAccess later(config_.path());
    later.setDiscoveryUrl(other.Url());
    EXPECT_EQ(later.ListServers(), (std::vector<std::string>{other.Url(), server.Url()}));
}

// ---------------------------------------------------------------- groups

TEST_F(PlantAccessTest, GroupNamesAreUnique) {
    PlantGroup& group = access_->AddGroup("SkupReg");
    EXPECT_EQ(group.Name, "SkupReg");
    EXPECT_EQ(group.UpdateRate, 1000);
    EXPECT_EQ(group.DeadBand, 0.0);
    EXPECT_TRUE(group.Active);
    EXPECT_EQ(ErrorOf([&] { access_->AddGroup("SkupReg"); }), "Group SkupReg already exists");
    EXPECT_NO_THROW(access_->AddGroup("Skupina1"));
}

TEST_F(PlantAccessTest, ItemsOfAGroupAddedBeforeConnectingReceiveTheirValues) {
    TestServer server;
    PlantGroup& group = access_->AddGroup("Skupina1");
    access_->SetUpdateRate(group, 20);
    const ItemHandle value = access_->AddItem(group, "ns=1;s=T.Double");
    const ItemHandle flag = access_->AddItem(group, "ns=1;s=T.Bool");
    const ItemHandle missing = access_->AddItem(group, "ns=1;s=T.Missing");  // not checked while disconnected
    EXPECT_FALSE(access_->QualityIsGood(value));                             // nothing from the server yet
    ConnectTo(server);  // the connection stands; the refused item keeps the server's text
    EXPECT_EQ(missing->LastError, "BadNodeIdUnknown");
    ASSERT_TRUE(WaitFor([&] { return access_->QualityIsGood(value) && access_->QualityIsGood(flag); }, 3000));
    EXPECT_EQ(access_->ReadValue(value), 1.5);
    EXPECT_EQ(access_->ReadValue(flag), 0.0);
    EXPECT_FALSE(access_->QualityIsGood(missing));

    server.SetDouble("T.Double", -4.25);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(value) == -4.25; }, 3000));

    // After the connection ends the last values stay, with a bad quality.
    access_->Disconnect();
    EXPECT_FALSE(access_->QualityIsGood(value));
    EXPECT_EQ(access_->ReadValue(value), -4.25);
}

TEST_F(PlantAccessTest, ItemsTheServerRejectsRaiseOpcCommand) {
    TestServer server;
    PlantGroup& group = access_->AddGroup("SkupReg");
    ConnectTo(server);
    EXPECT_EQ(ErrorOf([&] { access_->AddItem(group, "ns=1;s=T.Missing"); }),
              "OPC Command:\nns=1;s=T.Missing: BadNodeIdUnknown");
    EXPECT_EQ(ErrorOf([&] { access_->AddItem(group, "Loop1.Y1"); }), "OPC Command:\nLoop1.Y1: BadNodeIdInvalid");
    // An object has no value to monitor.
    EXPECT_EQ(ErrorOf([&] { access_->AddItem(group, "ns=1;s=T"); }).rfind("OPC Command:\nns=1;s=T: Bad", 0), 0u);
    EXPECT_TRUE(group.Items.empty());
    // An accepted one reaches the server at once.
    access_->SetUpdateRate(group, 20);
    const ItemHandle item = access_->AddItem(group, "ns=1;s=T.Int32");
    EXPECT_EQ(group.Items.size(), 1u);
    ASSERT_TRUE(WaitFor([&] { return access_->QualityIsGood(item); }, 3000));
    EXPECT_EQ(access_->ReadValue(item), 7.0);
}

TEST_F(PlantAccessTest, ClearedItemsLeaveTheGroupAndTheServer) {
    TestServer server;
    PlantGroup& group = access_->AddGroup("SkupReg");
    access_->SetUpdateRate(group, 20);
    ConnectTo(server);
    const ItemHandle old = access_->AddItem(group, "ns=1;s=T.Double");
    ASSERT_TRUE(WaitFor([&] { return access_->QualityIsGood(old); }, 3000));
    access_->ClearItems(group);
    EXPECT_TRUE(group.Items.empty());
    server.SetDouble("T.Double", 99.0);
    const ItemHandle fresh = access_->AddItem(group, "ns=1;s=T.Double");
    ASSERT_TRUE(WaitFor([&] { return access_->ReadValue(fresh) == 99.0; }, 3000));
    ProcessEventsFor(100);
    EXPECT_EQ(access_->ReadValue(old), 1.5);  // no longer updated
    EXPECT_EQ(group.Items.size(), 1u);
}

TEST_F(PlantAccessTest, APercentDeadBandHoldsBackSmallChanges) {
    TestServer server;
    PlantGroup& group = access_->AddGroup("Skupina1");
    access_->SetUpdateRate(group, 20);
    access_->SetDeadBand(group, 10.0);  // 10 % of the range 0 .. 100
    const ItemHandle item = access_->AddItem(group, "ns=1;s=T.Ranged");
    ConnectTo(server);
    ASSERT_TRUE(WaitFor([&] { return access_->QualityIsGood(item); }, 3000));
    EXPECT_EQ(access_->ReadValue(item), 50.0);
    server.SetDouble("T.Ranged", 55.0);
    ProcessEventsFor(300);
    EXPECT_EQ(access_->ReadValue(item), 50.0);
    server.SetDouble("T.Ranged", 65.0);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(item) == 65.0; }, 3000));

    // A node without a range reports every change; the dead band stays in 0 .. 100.
    const ItemHandle plain = access_->AddItem(group, "ns=1;s=T.Double");
    server.SetDouble("T.Double", 1.51);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(plain) == 1.51; }, 3000));
    access_->SetDeadBand(group, 150.0);
    EXPECT_EQ(group.DeadBand, 100.0);
    access_->SetDeadBand(group, -3.0);
    EXPECT_EQ(group.DeadBand, 0.0);
}

// ---------------------------------------------------------------- writes

TEST_F(PlantAccessTest, WritesAreConvertedToTheNodesOwnType) {
    TestServer server;
    PlantGroup& group = access_->AddGroup("SkupReg");
    ConnectTo(server);
    const ItemHandle real = access_->AddItem(group, "ns=1;s=T.Double");
    const ItemHandle whole = access_->AddItem(group, "ns=1;s=T.Int32");
    const ItemHandle flag = access_->AddItem(group, "ns=1;s=T.Bool");
    const ItemHandle single = access_->AddItem(group, "ns=1;s=T.Float");
    const ItemHandle number = access_->AddItem(group, "ns=1;s=T.Number");

    access_->WriteValue(real, 0);  // the integer 0 of an empty edit
    EXPECT_EQ(server.GetAs<UA_Double>("T.Double", &UA_TYPES[UA_TYPES_DOUBLE]), 0.0);
    access_->WriteValue(real, 2.75);
    EXPECT_EQ(server.GetAs<UA_Double>("T.Double", &UA_TYPES[UA_TYPES_DOUBLE]), 2.75);
    access_->WriteValue(whole, 2.5);
    EXPECT_EQ(server.GetAs<UA_Int32>("T.Int32", &UA_TYPES[UA_TYPES_INT32]), 2);
    access_->WriteValue(whole, -8);
    EXPECT_EQ(server.GetAs<UA_Int32>("T.Int32", &UA_TYPES[UA_TYPES_INT32]), -8);
    access_->WriteValue(flag, 1);
    EXPECT_TRUE(server.GetAs<UA_Boolean>("T.Bool", &UA_TYPES[UA_TYPES_BOOLEAN]));
    access_->WriteValue(single, 0.1);
    EXPECT_EQ(server.GetAs<UA_Float>("T.Float", &UA_TYPES[UA_TYPES_FLOAT]), 0.1f);
    // An abstract data type: the type of the node's value.
    access_->WriteValue(number, 6);
    EXPECT_EQ(server.GetAs<UA_Double>("T.Number", &UA_TYPES[UA_TYPES_DOUBLE]), 6.0);
}

TEST_F(PlantAccessTest, AFailedWriteRaisesCannotWriteItems) {
    TestServer server;
    PlantGroup& group = access_->AddGroup("SkupReg");
    ConnectTo(server);
    const ItemHandle readOnly = access_->AddItem(group, "ns=1;s=T.ReadOnly");
    const ItemHandle small = access_->AddItem(group, "ns=1;s=T.UInt16");
    const ItemHandle text = access_->AddItem(group, "ns=1;s=T.Text");
    EXPECT_EQ(ErrorOf([&] { access_->WriteValue(readOnly, 1.0); }),
              "Cannot write Items:\nns=1;s=T.ReadOnly: BadNotWritable");
    EXPECT_EQ(ErrorOf([&] { access_->WriteValue(small, 70000); }),
              "Cannot write Items:\nns=1;s=T.UInt16: BadOutOfRange");
    EXPECT_EQ(server.GetAs<UA_UInt16>("T.UInt16", &UA_TYPES[UA_TYPES_UINT16]), 3);
    EXPECT_EQ(ErrorOf([&] { access_->WriteValue(text, 1.0); }), "Cannot write Items:\nns=1;s=T.Text: BadTypeMismatch");
    EXPECT_EQ(server.GetAs<UA_Double>("T.ReadOnly", &UA_TYPES[UA_TYPES_DOUBLE]), 42.0);

    // Without a connection nothing is written, and only an item that carries
    // an earlier error raises it.
    access_->Disconnect();
    EXPECT_EQ(ErrorOf([&] { access_->WriteValue(readOnly, 1.0); }),
              "Cannot write Items:\nns=1;s=T.ReadOnly: BadNotWritable");
    const ItemHandle fine = access_->AddItem(group, "ns=1;s=T.Double");
    EXPECT_NO_THROW(access_->WriteValue(fine, 5.0));
    ConnectTo(server);
    EXPECT_EQ(server.GetAs<UA_Double>("T.Double", &UA_TYPES[UA_TYPES_DOUBLE]), 1.5);
}

TEST_F(PlantAccessTest, DirectReadsAndWritesOfNodes) {
    TestServer server;
    EXPECT_THROW(access_->ReadNodes({"ns=1;s=T.Double"}), PlantAccessError);
    ConnectTo(server);
    access_->WriteNode("ns=1;s=T.Int32", 41.6);
    const auto readings = access_->ReadNodes({"ns=1;s=T.Int32", "ns=1;s=T.Bool", "ns=1;s=T.Missing", "bad"});
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_EQ(readings[0].Value, 42.0);
    EXPECT_EQ(readings[0].Quality, 0xC0);
    EXPECT_EQ(readings[0].Error, "");
    EXPECT_EQ(readings[1].Value, 0.0);
    EXPECT_EQ(readings[2].Error, "BadNodeIdUnknown");
    EXPECT_EQ(readings[3].Error, "BadNodeIdInvalid");
    EXPECT_EQ(ErrorOf([&] { access_->WriteNode("ns=1;s=T.Missing", 1); }),
              "Cannot write Items:\nns=1;s=T.Missing: BadNodeIdUnknown");
}

// ---------------------------------------------------------------- browsing

TEST_F(PlantAccessTest, BrowsesFromTheObjectsFolder) {
    TestServer server;
    EXPECT_THROW(access_->Browse(""), PlantAccessError);
    ConnectTo(server);
    const auto objects = access_->Browse("");
    auto find = [](const std::vector<BrowseNode>& nodes, const std::string& id) -> const BrowseNode* {
        for (const auto& node : nodes)
            if (node.Id == id) return &node;
        return nullptr;
    };
    const BrowseNode* t = find(objects, "ns=1;s=T");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Name, "T");
    EXPECT_EQ(t->NodeClass, "Object");
    EXPECT_TRUE(t->HasChildren);

    const auto children = access_->Browse("ns=1;s=T");
    const BrowseNode* value = find(children, "ns=1;s=T.Double");
    const BrowseNode* readOnly = find(children, "ns=1;s=T.ReadOnly");
    const BrowseNode* ranged = find(children, "ns=1;s=T.Ranged");
    ASSERT_TRUE(value && readOnly && ranged);
    EXPECT_EQ(value->Name, "Double");
    EXPECT_EQ(value->NodeClass, "Variable");
    EXPECT_TRUE(value->Readable);
    EXPECT_TRUE(value->Writable);
    EXPECT_FALSE(value->HasChildren);
    EXPECT_TRUE(readOnly->Readable);
    EXPECT_FALSE(readOnly->Writable);
    EXPECT_TRUE(ranged->HasChildren);  // its EURange property

    EXPECT_EQ(ErrorOf([&] { access_->Browse("ns=1;s=Nowhere"); }), "Cannot browse ns=1;s=Nowhere: BadNodeIdUnknown");
}

// ---------------------------------------------------------------- security

namespace {

ConnectionOptions Secured(ConnectionOptions::Security mode) {
    ConnectionOptions options;
    options.Mode = mode;
    return options;
}

}  // namespace

TEST_F(PlantAccessTest, SecureConnectionAsksAboutTheServersCertificateAndKeepsItsOwn) {
    TestServer server(true);
    std::vector<ServerCertificate> asked;
    CertificateTrust answer = CertificateTrust::AcceptOnce;
    access_->TrustServerCertificate = [&](const ServerCertificate& certificate) {
        asked.push_back(certificate);
        return answer;
    };
    const auto options = Secured(ConnectionOptions::Security::SignAndEncrypt);

    ConnectTo(server, options);
    ASSERT_EQ(asked.size(), 1u);
    const QByteArray der(reinterpret_cast<const char*>(asked[0].Der.data()), static_cast<int>(asked[0].Der.size()));
    const auto& expected = TestServerCertificate().certificate;
    EXPECT_EQ(der, QByteArray(reinterpret_cast<const char*>(expected.data), static_cast<int>(expected.length)));
    EXPECT_EQ(asked[0].ServerUrl, server.Url());
    EXPECT_NE(asked[0].Subject.find("CN=Test Server"), std::string::npos);
    EXPECT_EQ(asked[0].Thumbprint, opcua::Thumbprint(der));
    EXPECT_EQ(asked[0].Thumbprint.size(), 59u);  // 20 hex pairs and 19 colons
    EXPECT_EQ(access_->ServerStateText(), "running");
    access_->WriteNode("ns=1;s=T.Double", 8.5);
    EXPECT_EQ(server.GetAs<UA_Double>("T.Double", &UA_TYPES[UA_TYPES_DOUBLE]), 8.5);
    // The own certificate was made now, its key readable by the user only.
    QFile certificate(config_.filePath("pki/own/cert.der"));
    ASSERT_TRUE(certificate.open(QIODevice::ReadOnly));
    const QByteArray own = certificate.readAll();
    certificate.close();
    EXPECT_EQ(QFile(config_.filePath("pki/private/key.der")).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());

    // Trusted for that connection only: asked again, now for good.
    answer = CertificateTrust::AcceptAlways;
    ConnectTo(server, options);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(QDir(config_.filePath("pki/trusted")).entryList({"*.der"}, QDir::Files).size(), 1);
    ConnectTo(server, Secured(ConnectionOptions::Security::Sign));
    EXPECT_EQ(asked.size(), 2u);
    ASSERT_TRUE(certificate.open(QIODevice::ReadOnly));
    EXPECT_EQ(certificate.readAll(), own);  // kept, not made again
}

TEST_F(PlantAccessTest, AnUntrustedServerIsRefused) {
    TestServer server(true);
    const auto options = Secured(ConnectionOptions::Security::SignAndEncrypt);
    const std::string withoutHook = ErrorOf([&] { access_->Connect(server.Url(), options); });
    EXPECT_EQ(
        withoutHook.rfind("Cannot connect to " + server.Url() + ": the server's certificate is not trusted (SHA-1 ", 0),
        0u)
        << withoutHook;
    access_->TrustServerCertificate = [](const ServerCertificate&) { return CertificateTrust::Reject; };
    EXPECT_EQ(ErrorOf([&] { access_->Connect(server.Url(), options); }), withoutHook);
    EXPECT_FALSE(access_->IsConnected());
    EXPECT_FALSE(QDir(config_.filePath("pki/trusted")).exists());
}
