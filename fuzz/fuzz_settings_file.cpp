// The experiment settings file reader (.hvx): the 98 lines applied to the
// settings, and the run parameters the scheduler takes from the same lines
// with either decimal separator.
#include "FuzzCheck.h"

#include "data/Errors.h"
#include "data/TextFile.h"
#include "settings/SettingsFile.h"

#include <climits>
#include <string>
#include <vector>

using namespace halvetra;

namespace {

ExperimentSettings MarkedSettings() {
    ExperimentSettings s;
    s.ComboBox2 = "opc.tcp://marked:4840";
    s.OPCTabela[6] = {"heading 6", "inner controller"};
    s.OPCTabela[13] = {"heading 13", "outer controller"};
    s.RadioGroup4 = 7;
    s.Automatic.ScrollBar_Sam_Robust = 3;
    s.CheckBox_Sekvencer = true;
    return s;
}

void CheckRunParameters(const std::vector<std::string>& lines, char separator) {
    ExperimentRunParameters run;
    try {
        run = RunParametersFromLines(lines, separator);
    } catch (const HalvetraError&) {
        return;
    }
    FUZZ_CHECK(fuzz::AllFinite(std::array{run.Ts, run.InitialInput, run.WaitingTime, run.StepAmplitude, run.StepTime}));
    // The sampling period in milliseconds is the sampling time's, rounded.
    FUZZ_CHECK(static_cast<double>(run.SamplingMs) == std::nearbyint(run.Ts * 1000.0));
    FUZZ_CHECK(run.SingleMASwitch == (lines[37] == "0" || lines[37] == "False"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::vector<std::string> lines = SplitTextLines(fuzz::AsText(bytes, size));

    static const ExperimentSettings before = MarkedSettings();
    ExperimentSettings settings = before;
    bool applied = false;
    try {
        ApplySettings(lines, settings);
        applied = true;
    } catch (const HalvetraError&) {
        FUZZ_CHECK(settings == before);  // a file that cannot be read whole changes nothing
    }
    if (applied) {
        FUZZ_CHECK(lines.size() >= static_cast<std::size_t>(SettingsFileLineCount));
        // The headings of the OPC table are not in the file.
        FUZZ_CHECK(settings.OPCTabela[6] == before.OPCTabela[6] && settings.OPCTabela[13] == before.OPCTabela[13]);
        // Writing the settings and applying the lines again gives the same settings.
        ExperimentSettings again = before;
        ApplySettings(BuildSettingsLines(settings), again);
        FUZZ_CHECK(again == settings);
    }

    CheckRunParameters(lines, '.');
    CheckRunParameters(lines, ',');
    return 0;
}
