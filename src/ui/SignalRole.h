#pragma once
// The roles of the plant items: each is a row of the OPC page's item table,
// and the rest of the program reads the table by these rows. Rows 6 and 13
// carry the headings of the two controllers and no role.
#include <array>

namespace halvetra {

enum class SignalRole : int {
    MV1 = 0,
    MV2 = 1,
    U1 = 2,
    U2 = 3,
    Y1 = 4,
    Y2 = 5,
    InnerP = 7,
    InnerI = 8,
    InnerD = 9,
    InnerMA = 10,
    InnerManual = 11,
    InnerAutomatic = 12,
    OuterP = 14,
    OuterI = 15,
    OuterD = 16,
    OuterMA = 17,
    OuterManual = 18,
    OuterAutomatic = 19,
};

inline constexpr int SignalTableRows = 20;
inline constexpr int InnerControllerHeadingRow = 6;
inline constexpr int OuterControllerHeadingRow = 13;

constexpr int SignalRow(SignalRole role) { return static_cast<int>(role); }

// Every role in row order.
inline constexpr std::array<SignalRole, 18> AllSignalRoles = {
    SignalRole::MV1,     SignalRole::MV2,         SignalRole::U1,
    SignalRole::U2,      SignalRole::Y1,          SignalRole::Y2,
    SignalRole::InnerP,  SignalRole::InnerI,      SignalRole::InnerD,
    SignalRole::InnerMA, SignalRole::InnerManual, SignalRole::InnerAutomatic,
    SignalRole::OuterP,  SignalRole::OuterI,      SignalRole::OuterD,
    SignalRole::OuterMA, SignalRole::OuterManual, SignalRole::OuterAutomatic};

// True for the rows that carry a role (every row but the two headings).
constexpr bool IsSignalRow(int row) {
    return row >= 0 && row < SignalTableRows && row != InnerControllerHeadingRow && row != OuterControllerHeadingRow;
}

// The number of the radio button beside a row (RadioButton1 .. RadioButton18),
// 0 for the heading rows and rows outside the table.
constexpr int RadioButtonNumber(int row) {
    if (!IsSignalRow(row)) return 0;
    return row < InnerControllerHeadingRow ? row + 1 : row < OuterControllerHeadingRow ? row : row - 1;
}

// The row beside RadioButton<number>, -1 for a number that names no button.
constexpr int RadioButtonRow(int number) {
    if (number < 1 || number > 18) return -1;
    return number <= 6 ? number - 1 : number <= 12 ? number : number + 1;
}

}  // namespace halvetra
