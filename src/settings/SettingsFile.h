#pragma once
// The experiment settings file (.hvx): 98 lines, one value per line, CR LF
// line ends, lines counted from 0.
//
//   0        selected OPC server              41       sampling time
//   1 .. 6   item ids of rows 0 .. 5          42       start from initial input  (a)
//   7 .. 12  item ids of rows 7 .. 12         43 .. 47 initial input, waiting time,
//   13 .. 18 item ids of rows 14 .. 19                 step amplitude, step time, steps
//   19 .. 36 descriptions, same rows          48 .. 50 both directions, closed loop
//   37 .. 40 RadioGroup4, ComboBox3,                   during, don't write          (a)
//            RadioGroup5, ComboBox4 (int)     51       "Manual experiment"          (a)
//   52 .. 54 MV slider MAX, MIN, Step         55 .. 74 automatic-experiment window:
//   75       start time                                filter, MAX, MIN, opening,
//   76       closed loop after                (c)      method (int), Ts, robustness
//   77       non-linearity active             (c)      (int), MAX again, cascade (b),
//   78 + 2k, 79 + 2k  point k: input, output           save to controller (b),
//                                                      response (int), form (int),
//                                                      P, I, D, PID (int), report
//                                                      parts (b), template name
//
// Booleans are written "True" / "False"; they are read back by three rules:
// (a) true for "1" or "True", (b) true for "True", "true" or "1" (TextToBool),
// (c) true for "True" only. Integers are decimal; everything else is the
// control's text, copied without conversion.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ExperimentSettings.h"

namespace halvetra {

inline constexpr int SettingsFileLineCount = 98;
inline constexpr const char* SettingsFileExtension = ".hvx";

// The 98 lines of the file for the settings.
std::vector<std::string> BuildSettingsLines(const ExperimentSettings& settings);

// Reads lines 0 .. 97 into the settings, line 62 (the actuator maximum again)
// after line 56, so it is the one kept. Lines after 97 are not read; rows 6
// and 13 of the OPC table keep their values. The lines are applied to a copy
// that replaces the settings only when all 98 have been read: a missing line
// throws ListIndexError with its index and a non-integer where an integer
// belongs throws ConversionError, and either leaves the settings unchanged.
// The lines of the system's data, model or controller file are refused with
// FileError "The file is a data file (.hvd), not an experiment settings file"
// (or a model or controller file) before anything is read.
// The caller puts the result into the controls and runs their change handlers.
void ApplySettings(const std::vector<std::string>& lines, ExperimentSettings& settings);

// Writes the file whole (through a temporary file); FileError when it cannot.
void SaveSettingsFile(const std::string& path, const ExperimentSettings& settings);

// Reads the file and applies it as ApplySettings does; returns the lines read,
// from which the scheduler also takes the run parameters.
// FileError when the file cannot be read, and "File <path> is a data file
// (.hvd), not an experiment settings file" (or a model or controller file)
// for the system's other files; the settings are then unchanged.
std::vector<std::string> LoadSettingsFile(const std::string& path, ExperimentSettings& settings);

// The name proposed in the save dialog: the start time with every ':'
// replaced by '_', then "__", then the date's short text with every '.'
// replaced by '_', then ".hvx"; then every '/' replaced by '_'.
// ("12:00:00", "6.12.2006") gives "12_00_00__6_12_2006.hvx".
std::string ProposedSettingsFileName(std::string_view timeText, std::string_view dateText);

// The label of an experiment from its settings file's full name: the part
// between the last path separator and the last '.' after it (the whole name
// when it has no '.').
std::string LabelOfSettingsFile(std::string_view path);

// The folder of a file's full name without a trailing separator ("" for a
// file in the root folder, "." for a bare name).
std::string FolderOfFile(std::string_view path);

// The full name of a queued experiment's settings file:
// folder + separator + label + ".hvx".
std::string SettingsFilePath(std::string_view folder, std::string_view label);

// What the scheduler takes from the lines of a queued experiment's file to
// start it unattended.
struct ExperimentRunParameters {
    std::array<std::string, 6> SignalDescriptions;  // lines 19 .. 24: MV1, MV2, U1, U2, Y1, Y2
    // Item identifiers, added to the experiment group in this order.
    std::string MVItem;  // line 1 (MV1)
    std::string UItem;   // line 3 (U1)
    std::string Y1Item;  // line 5
    std::string Y2Item;  // line 6
    // Line 37 "0" or "False": one M/A item (line 10) and the value meaning
    // manual (line 38); any other text: Manual and Automatic command items
    // (lines 11, 12). Only the lines of the chosen style are read.
    bool SingleMASwitch = false;
    std::string MAItem;
    int ManualValue = 0;
    std::string ManualItem;
    std::string AutomaticItem;
    double Ts = 1.0;                // line 41, seconds
    int SamplingMs = 1000;          // round(Ts x 1000), ties to even
    bool StartFromProcess = false;  // line 42, "1" or "True"
    double InitialInput = 0.0;      // line 43
    double WaitingTime = 0.0;       // line 44
    double StepAmplitude = 0.0;     // line 45
    double StepTime = 0.0;          // line 46
    int NumberOfSteps = 1;          // line 47
    bool BothDirections = false;    // line 48, "1" or "True"
    bool ClosedLoopDuring = false;  // line 49, "1" or "True"
    bool NoWrite = false;           // line 50, "1" or "True"
    bool ClosedLoopAfter = true;    // line 76, "True" only
};

// Numbers are read with the locale's decimal separator. A missing line throws
// ListIndexError, a text that is not a number ConversionError.
ExperimentRunParameters RunParametersFromLines(const std::vector<std::string>& lines, char decimalSeparator);

}  // namespace halvetra
