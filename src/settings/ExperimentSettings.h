#pragma once
// Everything an experiment settings file (.hvx) holds, as the controls of the
// OPC page, the Experiment page and the automatic-experiment settings window
// hold it: edit texts exactly as typed, indices of radio groups and combo
// boxes, positions of sliders, check boxes as booleans. Each member is named
// after the control it mirrors; its initial value is the control's value at
// start-up, so a default-constructed ExperimentSettings is what a fresh
// program would save.
#include <array>
#include <string>

namespace halvetra {

inline constexpr int OpcTableRows = 20;
inline constexpr int OpcTableColumns = 2;
inline constexpr int NonLinearityPoints = 10;

// The settings window of the automatic experiment (TForm_SamodNastav): what an
// unattended run applies to the Data, Model, Controller and Report pages.
struct AutomaticExperimentSettings {
    std::string Edit_Sam_Filt = "0";      // filter time constant [s]
    std::string Edit_Sam_Max = "100";     // actuator upper limit
    std::string Edit_Sam_Min = "0";       // actuator lower limit
    std::string Edit_Sam_Velocity = "1";  // full-stroke opening time [s]
    int ComboBox_Sam_IzbMetode = 0;       // tuning method, 0 = "MOMI method - tracking"
    std::string Edit_Sam_Ts = "1";        // closed-loop sampling time [s]
    int ScrollBar_Sam_Robust = 10;        // robustness-speed position, 0 .. 20
    int RadioGroup_Sam_Prikaz = 0;        // 0 reference tracking, 1 disturbance rejection
    int ComboBox_Sam_TipReg = 0;          // controller form, 0 = general parallel (Kp, Ki, Kd)
    std::string Edit_Sam_SkalP = "1";     // additional scaling of P
    std::string Edit_Sam_SkalI = "1";     // ... of I
    std::string Edit_Sam_SkalD = "1";     // ... of D
    int RadioGroup_Sam_PID = 2;           // 0 P, 1 I, 2 PI, 3 PID
    bool CheckBox_Sam_Cascade = false;    // cascade controller
    bool CheckBox_Sam_Nalozi = false;     // "Save parameters to controller": stored only
    bool CheckBox_Sam_PorocObd = true;    // report: measured data
    bool CheckBox_Sam_PorocMod = true;    // report: process model
    bool CheckBox_Sam_PorocReg = true;    // report: controller
    std::string Label13 = "normal.dot";   // report template file name

    bool operator==(const AutomaticExperimentSettings&) const = default;
};

struct ExperimentSettings {
    // --- OPC page ---
    std::string ComboBox2;  // text of the selected OPC server; empty when none
    // OPCTabela[row][column]: column 0 the item identifier, column 1 the
    // description. Rows 0 .. 5 MV1, MV2, U1, U2, Y1, Y2; 7 .. 12 the inner
    // controller's P, I, D, M/A, Manual, Automatic; 14 .. 19 the same for the
    // outer controller. Rows 6 and 13 are headings and are not stored.
    std::array<std::array<std::string, OpcTableColumns>, OpcTableRows> OPCTabela{};
    int RadioGroup4 = 1;  // inner M/A switching: 0 one M/A item, 1 Manual + Automatic items
    int ComboBox3 = 0;    // inner: index of the value meaning manual ("0", "1")
    int RadioGroup5 = 1;  // outer M/A switching
    int ComboBox4 = 0;    // outer manual value

    // --- Experiment page ---
    std::string CasVzorcenjaEdit = "1";      // sampling time [s]
    bool OhraniZacetniVhod = false;          // start from the initial process input
    std::string ZacetniVhodEdit = "0";       // initial input
    std::string CasCakanjaEdit = "0";        // waiting time [s]
    std::string VelikostStopniceEdit = "0";  // step amplitude
    std::string CasStopniceEdit = "0";       // time of one step [s]
    std::string SteviloStopnicEdit = "1";    // number of steps
    bool CheckBox_ObeSmeri = false;          // steps in both directions
    bool CheckBox_Zaprtozancni = false;      // closed loop during the experiment
    bool CheckBox_NePisi = false;            // don't write to OPC
    bool RadioRocno = false;                 // "Manual experiment" (else "Automatic experiment")
    std::string Edit_MVMax = "100";          // MV slider of the manual experiment
    std::string Edit_MVMin = "0";
    std::string Edit_MVStep = "1";
    std::string CajtZacetka = "12:00:00";  // start time of an automatic experiment
    bool CheckBox_ZZPoPoizkusu = true;     // closed loop after the experiment
    bool CheckBox_Sekvencer = false;       // non-linearity between the loops active
    // StringGrid_Sekvencer[point][column]: column 0 "Input", column 1 "Output".
    std::array<std::array<std::string, 2>, NonLinearityPoints> StringGrid_Sekvencer{};

    // --- the automatic-experiment settings window ---
    AutomaticExperimentSettings Automatic;

    bool operator==(const ExperimentSettings&) const = default;
};

}  // namespace halvetra
