// The plant's items: the table the server builds its nodes from, and how
// reads and client writes map onto the loop.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "plant/LoopItems.h"

using namespace halvetra::plant;

namespace {

CascadeLoop quietLoop() {
    CascadeLoopSettings s;
    s.noiseSigma = 0.0;
    return CascadeLoop(s);
}

}  // namespace

TEST(LoopItems, TableIsIndexedByIdAndNamesFollowTheFolders) {
    std::set<std::string> ids;
    for (std::size_t i = 0; i < kItemCount; ++i) {
        const ItemInfo& item = loopItems()[i];
        EXPECT_EQ(static_cast<std::size_t>(item.id), i);
        EXPECT_EQ(&itemInfo(item.id), &item);
        EXPECT_EQ(std::string(item.nodeId), std::string(item.folderId) + "." + item.name);
        EXPECT_TRUE(ids.insert(item.nodeId).second) << item.nodeId;
        bool folderKnown = false;
        for (const FolderInfo& folder : loopFolders())
            folderKnown = folderKnown || std::strcmp(folder.nodeId, item.folderId) == 0;
        EXPECT_TRUE(folderKnown) << item.nodeId;
    }
    EXPECT_STREQ(itemInfo(ItemId::MV1).nodeId, "Loop1.MV1");
    EXPECT_STREQ(itemInfo(ItemId::Y2).nodeId, "Loop1.Y2");
    EXPECT_STREQ(itemInfo(ItemId::InnerP).nodeId, "Loop1.Inner.P");
    EXPECT_STREQ(itemInfo(ItemId::OuterSetpoint).nodeId, "Loop1.Outer.Setpoint");
    EXPECT_STREQ(itemInfo(ItemId::OuterAutomatic).nodeId, "Loop1.Outer.Automatic");
    EXPECT_EQ(loopFolders()[0].parentId, nullptr);
    EXPECT_STREQ(loopFolders()[0].nodeId, "Loop1");
}

TEST(LoopItems, OnlyActuatorPositionsAndMeasurementsAreReadOnly) {
    for (const ItemInfo& item : loopItems()) {
        const bool readOnly =
            item.id == ItemId::U1 || item.id == ItemId::U2 || item.id == ItemId::Y1 || item.id == ItemId::Y2;
        EXPECT_EQ(item.writable, !readOnly) << item.nodeId;
        ItemKind expected = ItemKind::Double;
        if (item.id == ItemId::InnerMA || item.id == ItemId::OuterMA) expected = ItemKind::Int32;
        if (item.id == ItemId::InnerManual || item.id == ItemId::InnerAutomatic || item.id == ItemId::OuterManual ||
            item.id == ItemId::OuterAutomatic)
            expected = ItemKind::Boolean;
        EXPECT_EQ(item.kind, expected) << item.nodeId;
        const ItemValue value = readItem(quietLoop(), item.id);
        EXPECT_EQ(value.index(), static_cast<std::size_t>(expected)) << item.nodeId;
    }
}

TEST(LoopItems, ReadsShowTheLoop) {
    CascadeLoop loop = quietLoop();
    loop.setManipulatedValue(47.5);
    loop.setSecondManipulatedValue(12.0);
    loop.step();
    EXPECT_EQ(readItem(loop, ItemId::MV1), ItemValue(47.5));
    EXPECT_EQ(readItem(loop, ItemId::U1), ItemValue(40.25));
    EXPECT_EQ(readItem(loop, ItemId::MV2), ItemValue(12.0));
    EXPECT_EQ(readItem(loop, ItemId::U2), ItemValue(0.25));
    EXPECT_EQ(readItem(loop, ItemId::Y1), ItemValue(60.0));
    EXPECT_EQ(readItem(loop, ItemId::Y2), ItemValue(48.0));
    EXPECT_EQ(readItem(loop, ItemId::InnerI), ItemValue(0.1));
    EXPECT_EQ(readItem(loop, ItemId::OuterI), ItemValue(0.04));
    EXPECT_EQ(readItem(loop, ItemId::OuterSetpoint), ItemValue(48.0));
    EXPECT_EQ(readItem(loop, ItemId::InnerMA), ItemValue(std::int32_t{0}));
    EXPECT_EQ(readItem(loop, ItemId::InnerManual), ItemValue(true));
    EXPECT_EQ(readItem(loop, ItemId::InnerAutomatic), ItemValue(false));
}

TEST(LoopItems, ModeItemsInBothStylesSwitchOnlyTheirController) {
    CascadeLoop loop = quietLoop();
    EXPECT_TRUE(writeItem(loop, ItemId::InnerMA, std::int32_t{1}));
    EXPECT_TRUE(loop.isAutomatic(ControllerId::Inner));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Outer));
    EXPECT_EQ(readItem(loop, ItemId::InnerManual), ItemValue(false));
    EXPECT_EQ(readItem(loop, ItemId::InnerAutomatic), ItemValue(true));

    EXPECT_TRUE(writeItem(loop, ItemId::InnerManual, true));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Inner));
    EXPECT_EQ(readItem(loop, ItemId::InnerMA), ItemValue(std::int32_t{0}));

    EXPECT_TRUE(writeItem(loop, ItemId::OuterAutomatic, true));
    EXPECT_TRUE(loop.isAutomatic(ControllerId::Outer));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Inner));
    EXPECT_EQ(readItem(loop, ItemId::OuterMA), ItemValue(std::int32_t{1}));
    EXPECT_TRUE(writeItem(loop, ItemId::OuterMA, std::int32_t{0}));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Outer));

    // Commands are idempotent: automatic written twice stays automatic.
    EXPECT_TRUE(writeItem(loop, ItemId::InnerAutomatic, true));
    EXPECT_TRUE(writeItem(loop, ItemId::InnerAutomatic, true));
    EXPECT_TRUE(loop.isAutomatic(ControllerId::Inner));
}

TEST(LoopItems, WritesTheLoopDoesNotTakeAreRefused) {
    CascadeLoop loop = quietLoop();
    // A command item written false commands nothing.
    EXPECT_FALSE(writeItem(loop, ItemId::InnerAutomatic, false));
    EXPECT_FALSE(writeItem(loop, ItemId::InnerManual, false));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Inner));
    // M/A knows 0 and 1 only.
    EXPECT_FALSE(writeItem(loop, ItemId::InnerMA, std::int32_t{2}));
    EXPECT_FALSE(writeItem(loop, ItemId::InnerMA, std::int32_t{-1}));
    EXPECT_FALSE(loop.isAutomatic(ControllerId::Inner));
    // Kinds must match.
    EXPECT_FALSE(writeItem(loop, ItemId::InnerMA, 1.0));
    EXPECT_FALSE(writeItem(loop, ItemId::InnerAutomatic, std::int32_t{1}));
    EXPECT_FALSE(writeItem(loop, ItemId::MV1, std::int32_t{50}));
    EXPECT_FALSE(writeItem(loop, ItemId::InnerP, true));
    // Measurements and positions are the simulation's.
    EXPECT_FALSE(writeItem(loop, ItemId::Y1, 1.0));
    EXPECT_FALSE(writeItem(loop, ItemId::U1, 1.0));
    EXPECT_EQ(readItem(loop, ItemId::Y1), ItemValue(60.0));
    EXPECT_EQ(readItem(loop, ItemId::InnerP), ItemValue(1.0));
    EXPECT_EQ(readItem(loop, ItemId::MV1), ItemValue(40.0));
    // MV1 belongs to the controller in automatic.
    EXPECT_TRUE(writeItem(loop, ItemId::InnerMA, std::int32_t{1}));
    EXPECT_FALSE(writeItem(loop, ItemId::MV1, 70.0));
    EXPECT_EQ(readItem(loop, ItemId::MV1), ItemValue(40.0));
}

TEST(LoopItems, TermsAndSetpointsReachTheRightController) {
    CascadeLoop loop = quietLoop();
    EXPECT_TRUE(writeItem(loop, ItemId::InnerP, 2.5));
    EXPECT_TRUE(writeItem(loop, ItemId::InnerI, 0.3));
    EXPECT_TRUE(writeItem(loop, ItemId::InnerD, 0.7));
    EXPECT_TRUE(writeItem(loop, ItemId::OuterP, 0.6));
    EXPECT_TRUE(writeItem(loop, ItemId::OuterSetpoint, 50.0));
    EXPECT_TRUE(writeItem(loop, ItemId::InnerSetpoint, 65.0));
    EXPECT_TRUE(writeItem(loop, ItemId::MV2, 33.0));
    const PidGains inner = loop.gains(ControllerId::Inner);
    EXPECT_EQ(inner.kp, 2.5);
    EXPECT_EQ(inner.ki, 0.3);
    EXPECT_EQ(inner.kd, 0.7);
    EXPECT_EQ(loop.gains(ControllerId::Outer).kp, 0.6);
    EXPECT_EQ(loop.gains(ControllerId::Outer).ki, 0.04);
    EXPECT_EQ(loop.setpoint(ControllerId::Outer), 50.0);
    EXPECT_EQ(loop.setpoint(ControllerId::Inner), 65.0);
    EXPECT_EQ(readItem(loop, ItemId::InnerD), ItemValue(0.7));
    EXPECT_EQ(readItem(loop, ItemId::MV2), ItemValue(33.0));
}
