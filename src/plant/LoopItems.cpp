#include "plant/LoopItems.h"

namespace halvetra::plant {

namespace {

constexpr std::array<FolderInfo, 3> kFolders{{
    {"Loop1", nullptr, "Loop1", "Simulated cascade loop"},
    {"Loop1.Inner", "Loop1", "Inner", "Inner controller (on Y1, sets MV1)"},
    {"Loop1.Outer", "Loop1", "Outer", "Outer controller (on Y2, sets the inner set point)"},
}};

constexpr std::array<ItemInfo, kItemCount> kItems{{
    {ItemId::MV1, "Loop1.MV1", "Loop1", "MV1", "Manipulated signal 1, %", ItemKind::Double, true},
    {ItemId::MV2, "Loop1.MV2", "Loop1", "MV2", "Manipulated signal 2 (spare actuator), %", ItemKind::Double, true},
    {ItemId::U1, "Loop1.U1", "Loop1", "U1", "Process input 1: actuator position, %", ItemKind::Double, false},
    {ItemId::U2, "Loop1.U2", "Loop1", "U2", "Process input 2: spare actuator position, %", ItemKind::Double, false},
    {ItemId::Y1, "Loop1.Y1", "Loop1", "Y1", "Measurement 1: inner process output", ItemKind::Double, false},
    {ItemId::Y2, "Loop1.Y2", "Loop1", "Y2", "Measurement 2: outer process output", ItemKind::Double, false},
    {ItemId::InnerP, "Loop1.Inner.P", "Loop1.Inner", "P", "Proportional gain Kp", ItemKind::Double, true},
    {ItemId::InnerI, "Loop1.Inner.I", "Loop1.Inner", "I", "Integral gain Ki, 1/s", ItemKind::Double, true},
    {ItemId::InnerD, "Loop1.Inner.D", "Loop1.Inner", "D", "Derivative gain Kd, s", ItemKind::Double, true},
    {ItemId::InnerSetpoint, "Loop1.Inner.Setpoint", "Loop1.Inner", "Setpoint", "Set point for Y1", ItemKind::Double,
     true},
    {ItemId::InnerMA, "Loop1.Inner.MA", "Loop1.Inner", "MA", "Mode: 0 manual, 1 automatic", ItemKind::Int32, true},
    {ItemId::InnerManual, "Loop1.Inner.Manual", "Loop1.Inner", "Manual",
     "Write true to switch to manual; true while in manual", ItemKind::Boolean, true},
    {ItemId::InnerAutomatic, "Loop1.Inner.Automatic", "Loop1.Inner", "Automatic",
     "Write true to switch to automatic; true while in automatic", ItemKind::Boolean, true},
    {ItemId::OuterP, "Loop1.Outer.P", "Loop1.Outer", "P", "Proportional gain Kp", ItemKind::Double, true},
    {ItemId::OuterI, "Loop1.Outer.I", "Loop1.Outer", "I", "Integral gain Ki, 1/s", ItemKind::Double, true},
    {ItemId::OuterD, "Loop1.Outer.D", "Loop1.Outer", "D", "Derivative gain Kd, s", ItemKind::Double, true},
    {ItemId::OuterSetpoint, "Loop1.Outer.Setpoint", "Loop1.Outer", "Setpoint", "Set point for Y2", ItemKind::Double,
     true},
    {ItemId::OuterMA, "Loop1.Outer.MA", "Loop1.Outer", "MA", "Mode: 0 manual, 1 automatic", ItemKind::Int32, true},
    {ItemId::OuterManual, "Loop1.Outer.Manual", "Loop1.Outer", "Manual",
     "Write true to switch to manual; true while in manual", ItemKind::Boolean, true},
    {ItemId::OuterAutomatic, "Loop1.Outer.Automatic", "Loop1.Outer", "Automatic",
     "Write true to switch to automatic; true while in automatic", ItemKind::Boolean, true},
}};

bool isInner(ItemId id) {
    switch (id) {
    case ItemId::InnerP:
    case ItemId::InnerI:
    case ItemId::InnerD:
    case ItemId::InnerSetpoint:
    case ItemId::InnerMA:
    case ItemId::InnerManual:
    case ItemId::InnerAutomatic: return true;
    default: return false;
    }
}

ControllerId controllerOf(ItemId id) { return isInner(id) ? ControllerId::Inner : ControllerId::Outer; }

}  // namespace

const std::array<FolderInfo, 3>& loopFolders() { return kFolders; }
const std::array<ItemInfo, kItemCount>& loopItems() { return kItems; }
const ItemInfo& itemInfo(ItemId id) { return kItems[static_cast<std::size_t>(id)]; }

ItemValue readItem(const CascadeLoop& loop, ItemId id) {
    const ControllerId c = controllerOf(id);
    switch (id) {
    case ItemId::MV1: return loop.manipulatedValue();
    case ItemId::MV2: return loop.secondManipulatedValue();
    case ItemId::U1: return loop.processInput();
    case ItemId::U2: return loop.secondProcessInput();
    case ItemId::Y1: return loop.innerMeasurement();
    case ItemId::Y2: return loop.outerMeasurement();
    case ItemId::InnerP:
    case ItemId::OuterP: return loop.gains(c).kp;
    case ItemId::InnerI:
    case ItemId::OuterI: return loop.gains(c).ki;
    case ItemId::InnerD:
    case ItemId::OuterD: return loop.gains(c).kd;
    case ItemId::InnerSetpoint:
    case ItemId::OuterSetpoint: return loop.setpoint(c);
    case ItemId::InnerMA:
    case ItemId::OuterMA: return std::int32_t{loop.isAutomatic(c) ? 1 : 0};
    case ItemId::InnerManual:
    case ItemId::OuterManual: return !loop.isAutomatic(c);
    case ItemId::InnerAutomatic:
    case ItemId::OuterAutomatic: return loop.isAutomatic(c);
    }
    return 0.0;
}

bool writeItem(CascadeLoop& loop, ItemId id, const ItemValue& value) {
    const ControllerId c = controllerOf(id);
    switch (itemInfo(id).kind) {
    case ItemKind::Double: {
        const double* v = std::get_if<double>(&value);
        if (!v) return false;
        switch (id) {
        case ItemId::MV1: return loop.setManipulatedValue(*v);
        case ItemId::MV2: return loop.setSecondManipulatedValue(*v);
        case ItemId::InnerP:
        case ItemId::OuterP: return loop.setProportional(c, *v);
        case ItemId::InnerI:
        case ItemId::OuterI: return loop.setIntegral(c, *v);
        case ItemId::InnerD:
        case ItemId::OuterD: return loop.setDerivative(c, *v);
        case ItemId::InnerSetpoint:
        case ItemId::OuterSetpoint: return loop.setSetpoint(c, *v);
        default: return false;  // measurements and actuator positions
        }
    }
    case ItemKind::Int32: {
        const std::int32_t* v = std::get_if<std::int32_t>(&value);
        if (!v || (*v != 0 && *v != 1)) return false;
        loop.setAutomatic(c, *v == 1);
        return true;
    }
    case ItemKind::Boolean: {
        const bool* v = std::get_if<bool>(&value);
        if (!v || !*v) return false;
        loop.setAutomatic(c, id == ItemId::InnerAutomatic || id == ItemId::OuterAutomatic);
        return true;
    }
    }
    return false;
}

}  // namespace halvetra::plant
