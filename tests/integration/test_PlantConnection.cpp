// The plant access against the simulated plant: connecting, the address
// space of the loop, values through the event loop, writes read back, the
// controller's manual and automatic items, a plant that dies or hangs, and
// secure connections with a user name.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <functional>

#include "PlantProcess.h"
#include "opc/OpcUaPlantAccess.h"
#include "opc/PlantAccessError.h"

using namespace halvetra;
using testing_plant::EnsureApplication;
using testing_plant::ErrorOf;
using testing_plant::PlantProcess;
using testing_plant::WaitFor;

namespace {

std::string Node(const char* name) { return std::string("ns=1;s=Loop1.") + name; }

const BrowseNode* Find(const std::vector<BrowseNode>& nodes, const std::string& id) {
    const auto it = std::find_if(nodes.begin(), nodes.end(), [&](const BrowseNode& n) { return n.Id == id; });
    return it == nodes.end() ? nullptr : &*it;
}

class PlantConnection : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(config_.isValid());
        access_ = std::make_unique<OpcUaPlantAccess>(config_.path());
        access_->Disconnected = [this] { ++disconnects_; };
    }
    void TearDown() override { access_.reset(); }

    QTemporaryDir config_;
    std::unique_ptr<OpcUaPlantAccess> access_;
    int disconnects_ = 0;
};

}  // namespace

TEST_F(PlantConnection, ConnectsAndBrowsesTheLoop) {
    PlantProcess plant(HALVETRA_PLANT_PATH);
    access_->Connect(plant.Url(), {});
    ASSERT_TRUE(access_->IsConnected());
    EXPECT_EQ(access_->ServerStateText(), "running");

    const auto objects = access_->Browse("");
    const BrowseNode* loop = Find(objects, "ns=1;s=Loop1");
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->NodeClass, "Object");
    EXPECT_TRUE(loop->HasChildren);

    const auto signals_ = access_->Browse("ns=1;s=Loop1");
    for (const char* name : {"MV1", "MV2"}) {
        const BrowseNode* node = Find(signals_, Node(name));
        ASSERT_NE(node, nullptr) << name;
        EXPECT_EQ(node->NodeClass, "Variable");
        EXPECT_TRUE(node->Readable && node->Writable) << name;
    }
    for (const char* name : {"U1", "U2", "Y1", "Y2"}) {
        const BrowseNode* node = Find(signals_, Node(name));
        ASSERT_NE(node, nullptr) << name;
        EXPECT_TRUE(node->Readable) << name;
        EXPECT_FALSE(node->Writable) << name;
    }
    for (const char* controller : {"Inner", "Outer"}) {
        const auto items = access_->Browse(Node(controller));
        for (const char* term : {"P", "I", "D", "Setpoint", "MA", "Manual", "Automatic"}) {
            const BrowseNode* node = Find(items, Node(controller) + "." + term);
            ASSERT_NE(node, nullptr) << controller << "." << term;
            EXPECT_TRUE(node->Writable) << controller << "." << term;
        }
    }
    access_->Disconnect();
    EXPECT_EQ(disconnects_, 1);
}

TEST_F(PlantConnection, GroupValuesArriveWhileTheEventLoopRuns) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--noise", "0.5"});
    // As the experiment window does it: the group exists before the connection.
    PlantGroup& group = access_->AddGroup("Skupina1");
    access_->SetDeadBand(group, 0);
    access_->SetUpdateRate(group, 10);
    std::vector<ItemHandle> items;
    for (const char* name : {"MV1", "U1", "Y1", "Y2"}) items.push_back(access_->AddItem(group, Node(name)));
    access_->Connect(plant.Url(), {});
    ASSERT_TRUE(WaitFor(
        [&] { return std::all_of(items.begin(), items.end(), [&](auto& i) { return access_->QualityIsGood(i); }); },
        3000));
    // The noisy measurement keeps changing.
    const double first = access_->ReadValue(items[2]);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(items[2]) != first; }, 3000));
    for (const auto& item : items) EXPECT_EQ(item->LastError, "") << item->Id;
}

TEST_F(PlantConnection, WritesReachThePlantInItsOwnTypesAndRefusalsNameTheItem) {
    PlantProcess plant(HALVETRA_PLANT_PATH);
    access_->Connect(plant.Url(), {});
    PlantGroup& group = access_->AddGroup("SkupReg");
    access_->SetUpdateRate(group, 20);
    const ItemHandle ma = access_->AddItem(group, Node("Inner.MA"));
    const ItemHandle mv = access_->AddItem(group, Node("MV1"));
    const ItemHandle p = access_->AddItem(group, Node("Inner.P"));
    ASSERT_TRUE(WaitFor([&] { return access_->QualityIsGood(mv) && access_->QualityIsGood(ma); }, 3000));

    access_->WriteValue(ma, 0.0);  // a Double to the Int32 M/A item: manual
    access_->WriteValue(mv, 37.25);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(mv) == 37.25 && access_->ReadValue(ma) == 0.0; }, 3000));
    const auto readings = access_->ReadNodes({Node("MV1"), Node("Inner.MA")});
    EXPECT_EQ(readings[0].Value, 37.25);
    EXPECT_EQ(readings[0].Quality, 0xC0);
    EXPECT_EQ(readings[1].Value, 0.0);

    access_->WriteValue(p, 0);  // an integer to the Double P term
    EXPECT_EQ(access_->ReadNodes({Node("Inner.P")})[0].Value, 0.0);
    access_->WriteValue(p, 1.75);
    EXPECT_EQ(access_->ReadNodes({Node("Inner.P")})[0].Value, 1.75);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(p) == 1.75; }, 3000));

    // The command items switch the controller (1 commands the mode).
    access_->WriteValue(access_->AddItem(group, Node("Inner.Automatic")), 1);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(ma) == 1.0; }, 3000));
    access_->WriteValue(access_->AddItem(group, Node("Inner.Manual")), 1);
    EXPECT_TRUE(WaitFor([&] { return access_->ReadValue(ma) == 0.0; }, 3000));

    // Refusals name the item.
    EXPECT_EQ(ErrorOf([&] { access_->AddItem(group, Node("Nothing")); }),
              "OPC Command:\nns=1;s=Loop1.Nothing: BadNodeIdUnknown");
    const ItemHandle u1 = access_->AddItem(group, Node("U1"));
    EXPECT_EQ(ErrorOf([&] { access_->WriteValue(u1, 3.0); }), "Cannot write Items:\nns=1;s=Loop1.U1: BadNotWritable");
}

TEST_F(PlantConnection, AKilledPlantFiresTheDisconnectedEvent) {
    PlantProcess plant(HALVETRA_PLANT_PATH);
    PlantGroup& group = access_->AddGroup("Skupina1");
    access_->SetUpdateRate(group, 20);
    const ItemHandle y1 = access_->AddItem(group, Node("Y1"));
    access_->Connect(plant.Url(), {});
    ASSERT_TRUE(WaitFor([&] { return access_->QualityIsGood(y1); }, 3000));
    plant.Kill();
    EXPECT_TRUE(WaitFor([&] { return disconnects_ == 1; }, 5000));
    EXPECT_FALSE(access_->IsConnected());
    EXPECT_FALSE(access_->QualityIsGood(y1));
    EXPECT_EQ(access_->ServerStateText(), "");
    EXPECT_NO_THROW(access_->WriteValue(y1, 1.0));  // nothing is written without a connection
    EXPECT_EQ(disconnects_, 1);
}

TEST_F(PlantConnection, AHungPlantIsGivenUp) {
    PlantProcess plant(HALVETRA_PLANT_PATH);
    ConnectionOptions options;
    options.TimeoutMs = 800;
    access_->Connect(plant.Url(), options);
    plant.Freeze();
    QElapsedTimer timer;
    timer.start();
    // A check read every 2 s, unanswered after the timeout.
    EXPECT_TRUE(WaitFor([&] { return disconnects_ == 1; }, 6000));
    EXPECT_FALSE(access_->IsConnected());
    EXPECT_LT(timer.elapsed(), 4000);
}

TEST_F(PlantConnection, AnUnreachablePortIsRefusedWithinTheTimeout) {
    const std::string url = "opc.tcp://127.0.0.1:" + std::to_string(testing_plant::FreeLoopbackPort());
    ConnectionOptions options;
    options.TimeoutMs = 1500;
    QElapsedTimer timer;
    timer.start();
    const std::string error = ErrorOf([&] { access_->Connect(url, options); });
    EXPECT_LE(timer.elapsed(), 1500);
    EXPECT_EQ(error.rfind("Cannot connect to " + url + ": no OPC UA server answers at this address", 0), 0u) << error;
    EXPECT_FALSE(access_->IsConnected());
}

TEST_F(PlantConnection, SecureConnectionsWithAUserName) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--user", "operator", "--password", "loop-42"});
    int asked = 0;
    access_->TrustServerCertificate = [&](const ServerCertificate& certificate) {
        ++asked;
        EXPECT_EQ(certificate.ServerUrl, plant.Url());
        EXPECT_FALSE(certificate.Der.empty());
        return CertificateTrust::AcceptOnce;
    };
    ConnectionOptions options;
    options.User = "operator";
    options.Password = "loop-42";
    for (auto mode : {ConnectionOptions::Security::SignAndEncrypt, ConnectionOptions::Security::Sign,
                      ConnectionOptions::Security::None}) {
        options.Mode = mode;
        access_->Connect(plant.Url(), options);
        ASSERT_TRUE(access_->IsConnected());
        EXPECT_EQ(access_->ServerStateText(), "running");
        access_->WriteNode(Node("Inner.I"), 0.5);
        EXPECT_EQ(access_->ReadNodes({Node("Inner.I")})[0].Value, 0.5);
    }
    EXPECT_EQ(asked, 2);  // once per secured connection: trusted for that one only
}

TEST_F(PlantConnection, WrongPasswordAndAnonymousUserAreRefusedClearly) {
    PlantProcess plant(HALVETRA_PLANT_PATH, {"--user", "operator", "--password", "loop-42"});
    access_->TrustServerCertificate = [](const ServerCertificate&) { return CertificateTrust::AcceptOnce; };
    ConnectionOptions options;
    options.Mode = ConnectionOptions::Security::SignAndEncrypt;
    options.User = "operator";
    options.Password = "wrong";
    std::string error = ErrorOf([&] { access_->Connect(plant.Url(), options); });
    EXPECT_EQ(error.rfind("Cannot connect to " + plant.Url() + ": the server refused the user name or password (", 0),
              0u)
        << error;
    options = {};
    error = ErrorOf([&] { access_->Connect(plant.Url(), options); });
    EXPECT_EQ(error.rfind("Cannot connect to " + plant.Url() + ": the server does not accept anonymous users", 0), 0u)
        << error;
    EXPECT_FALSE(access_->IsConnected());
    EXPECT_EQ(disconnects_, 0);
}
