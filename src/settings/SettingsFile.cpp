// The experiment settings file: one table of the 98 lines drives both the
// writer and the reader, so the two cannot drift apart.
#include "settings/SettingsFile.h"

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"
#include "data/TextFile.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <utility>

namespace halvetra {

namespace {

// How a line is written and read back.
enum class Kind {
    Text,        // the control's text, unchanged
    Integer,     // decimal integer; anything else is a conversion error
    OneOrTrue,   // boolean: true for "1" or "True"
    TextToBool,  // boolean: true for "True", "true" or "1"
    TrueOnly,    // boolean: true for "True" only
};

struct Field {
    Kind kind;
    std::function<std::string&(ExperimentSettings&)> text;
    std::function<int&(ExperimentSettings&)> integer;
    std::function<bool&(ExperimentSettings&)> flag;
};

Field TextField(std::function<std::string&(ExperimentSettings&)> get) { return {Kind::Text, std::move(get), {}, {}}; }
Field IntegerField(std::function<int&(ExperimentSettings&)> get) { return {Kind::Integer, {}, std::move(get), {}}; }
Field FlagField(Kind kind, std::function<bool&(ExperimentSettings&)> get) { return {kind, {}, {}, std::move(get)}; }

// OPC table rows in file order: the process signals, the inner controller's
// items, the outer controller's items (rows 6 and 13 are headings).
constexpr std::array<int, 18> StoredOpcRows = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 19};

std::vector<Field> BuildLayout() {
    using S = ExperimentSettings;
    std::vector<Field> layout;
    layout.reserve(SettingsFileLineCount);

    layout.push_back(TextField([](S& s) -> std::string& { return s.ComboBox2; }));  // 0
    for (int column = 0; column < OpcTableColumns; ++column)                        // 1 .. 36
        for (int row : StoredOpcRows)
            layout.push_back(TextField([row, column](S& s) -> std::string& { return s.OPCTabela[row][column]; }));
    layout.push_back(IntegerField([](S& s) -> int& { return s.RadioGroup4; }));                           // 37
    layout.push_back(IntegerField([](S& s) -> int& { return s.ComboBox3; }));                             // 38
    layout.push_back(IntegerField([](S& s) -> int& { return s.RadioGroup5; }));                           // 39
    layout.push_back(IntegerField([](S& s) -> int& { return s.ComboBox4; }));                             // 40
    layout.push_back(TextField([](S& s) -> std::string& { return s.CasVzorcenjaEdit; }));                 // 41
    layout.push_back(FlagField(Kind::OneOrTrue, [](S& s) -> bool& { return s.OhraniZacetniVhod; }));      // 42
    layout.push_back(TextField([](S& s) -> std::string& { return s.ZacetniVhodEdit; }));                  // 43
    layout.push_back(TextField([](S& s) -> std::string& { return s.CasCakanjaEdit; }));                   // 44
    layout.push_back(TextField([](S& s) -> std::string& { return s.VelikostStopniceEdit; }));             // 45
    layout.push_back(TextField([](S& s) -> std::string& { return s.CasStopniceEdit; }));                  // 46
    layout.push_back(TextField([](S& s) -> std::string& { return s.SteviloStopnicEdit; }));               // 47
    layout.push_back(FlagField(Kind::OneOrTrue, [](S& s) -> bool& { return s.CheckBox_ObeSmeri; }));      // 48
    layout.push_back(FlagField(Kind::OneOrTrue, [](S& s) -> bool& { return s.CheckBox_Zaprtozancni; }));  // 49
    layout.push_back(FlagField(Kind::OneOrTrue, [](S& s) -> bool& { return s.CheckBox_NePisi; }));        // 50
    layout.push_back(FlagField(Kind::OneOrTrue, [](S& s) -> bool& { return s.RadioRocno; }));             // 51
    layout.push_back(TextField([](S& s) -> std::string& { return s.Edit_MVMax; }));                       // 52
    layout.push_back(TextField([](S& s) -> std::string& { return s.Edit_MVMin; }));                       // 53
    layout.push_back(TextField([](S& s) -> std::string& { return s.Edit_MVStep; }));                      // 54
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_Filt; }));          // 55
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_Max; }));           // 56
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_Min; }));           // 57
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_Velocity; }));      // 58
    layout.push_back(IntegerField([](S& s) -> int& { return s.Automatic.ComboBox_Sam_IzbMetode; }));      // 59
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_Ts; }));            // 60
    layout.push_back(IntegerField([](S& s) -> int& { return s.Automatic.ScrollBar_Sam_Robust; }));        // 61
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_Max; }));           // 62
    layout.push_back(
        FlagField(Kind::TextToBool, [](S& s) -> bool& { return s.Automatic.CheckBox_Sam_Cascade; }));              // 63
    layout.push_back(FlagField(Kind::TextToBool, [](S& s) -> bool& { return s.Automatic.CheckBox_Sam_Nalozi; }));  // 64
    layout.push_back(IntegerField([](S& s) -> int& { return s.Automatic.RadioGroup_Sam_Prikaz; }));                // 65
    layout.push_back(IntegerField([](S& s) -> int& { return s.Automatic.ComboBox_Sam_TipReg; }));                  // 66
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_SkalP; }));                  // 67
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_SkalI; }));                  // 68
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Edit_Sam_SkalD; }));                  // 69
    layout.push_back(IntegerField([](S& s) -> int& { return s.Automatic.RadioGroup_Sam_PID; }));                   // 70
    layout.push_back(
        FlagField(Kind::TextToBool, [](S& s) -> bool& { return s.Automatic.CheckBox_Sam_PorocObd; }));  // 71
    layout.push_back(
        FlagField(Kind::TextToBool, [](S& s) -> bool& { return s.Automatic.CheckBox_Sam_PorocMod; }));  // 72
    layout.push_back(
        FlagField(Kind::TextToBool, [](S& s) -> bool& { return s.Automatic.CheckBox_Sam_PorocReg; }));   // 73
    layout.push_back(TextField([](S& s) -> std::string& { return s.Automatic.Label13; }));               // 74
    layout.push_back(TextField([](S& s) -> std::string& { return s.CajtZacetka; }));                     // 75
    layout.push_back(FlagField(Kind::TrueOnly, [](S& s) -> bool& { return s.CheckBox_ZZPoPoizkusu; }));  // 76
    layout.push_back(FlagField(Kind::TrueOnly, [](S& s) -> bool& { return s.CheckBox_Sekvencer; }));     // 77
    for (int point = 0; point < NonLinearityPoints; ++point)                                             // 78 .. 97
        for (int column = 0; column < 2; ++column)
            layout.push_back(
                TextField([point, column](S& s) -> std::string& { return s.StringGrid_Sekvencer[point][column]; }));
    return layout;
}

const std::vector<Field>& Layout() {
    static const std::vector<Field> layout = [] {
        std::vector<Field> built = BuildLayout();
        if (built.size() != static_cast<std::size_t>(SettingsFileLineCount))
            throw std::logic_error("settings file layout has " + std::to_string(built.size()) + " lines");
        return built;
    }();
    return layout;
}

bool ReadFlag(Kind kind, const std::string& text) {
    switch (kind) {
    case Kind::OneOrTrue: return text == "1" || text == "True";
    case Kind::TextToBool: return TextToBool(text);
    case Kind::TrueOnly: return text == "True";
    default: return false;
    }
}

// What a file is when its first line is that of the system's data, model or
// controller file; null for anything else.
const char* OtherFileKind(const std::vector<std::string>& lines) {
    if (lines.empty()) return nullptr;
    if (lines[0] == "HALVETRA Mesurements") return "a data file (.hvd)";
    if (lines[0] == "HALVETRA Model") return "a model file (.hvm)";
    if (lines[0] == "HALVETRA Controller") return "a controller file (.hvc)";
    return nullptr;
}

bool IsSeparator(char c) { return c == '/' || c == static_cast<char>(std::filesystem::path::preferred_separator); }

}  // namespace

std::vector<std::string> BuildSettingsLines(const ExperimentSettings& settings) {
    // The accessors hand out references; they read from a private copy.
    ExperimentSettings source = settings;
    std::vector<std::string> lines;
    lines.reserve(SettingsFileLineCount);
    for (const Field& field : Layout()) {
        switch (field.kind) {
        case Kind::Text: lines.push_back(field.text(source)); break;
        case Kind::Integer: lines.push_back(std::to_string(field.integer(source))); break;
        default: lines.push_back(BoolToText(field.flag(source))); break;
        }
    }
    return lines;
}

void ApplySettings(const std::vector<std::string>& lines, ExperimentSettings& settings) {
    if (const char* kind = OtherFileKind(lines))
        throw FileError(std::string("The file is ") + kind + ", not an experiment settings file");
    ExperimentSettings loaded = settings;
    const std::vector<Field>& layout = Layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const Field& field = layout[i];
        const std::string& line = LineAt(lines, i);
        switch (field.kind) {
        case Kind::Text: field.text(loaded) = line; break;
        case Kind::Integer: field.integer(loaded) = TextToInt(line); break;
        default: field.flag(loaded) = ReadFlag(field.kind, line); break;
        }
    }
    settings = std::move(loaded);
}

void SaveSettingsFile(const std::string& path, const ExperimentSettings& settings) {
    WriteTextFile(path, BuildSettingsLines(settings));
}

std::vector<std::string> LoadSettingsFile(const std::string& path, ExperimentSettings& settings) {
    std::vector<std::string> lines = ReadTextLines(path);
    // Line 0 holds a server address, never the first line of one of the
    // system's other files: such a file is named for what it is instead of
    // failing somewhere in its numbers.
    if (const char* kind = OtherFileKind(lines))
        throw FileError("File " + path + " is " + kind + ", not an experiment settings file");
    ApplySettings(lines, settings);
    return lines;
}

std::string ProposedSettingsFileName(std::string_view timeText, std::string_view dateText) {
    std::string name;
    for (char c : timeText) name += c == ':' ? '_' : c;
    name += "__";
    for (char c : dateText) name += c == '.' ? '_' : c;
    name += SettingsFileExtension;
    for (char& c : name)
        if (c == '/') c = '_';
    return name;
}

std::string LabelOfSettingsFile(std::string_view path) {
    std::size_t begin = 0;
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1])) {
            begin = i;
            break;
        }
    const std::string_view name = path.substr(begin);
    const std::size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string FolderOfFile(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1])) return std::string(path.substr(0, i - 1));
    return ".";
}

std::string SettingsFilePath(std::string_view folder, std::string_view label) {
    std::string path(folder);
    path += static_cast<char>(std::filesystem::path::preferred_separator);
    path += label;
    path += SettingsFileExtension;
    return path;
}

ExperimentRunParameters RunParametersFromLines(const std::vector<std::string>& lines, char decimalSeparator) {
    const auto number = [&](std::size_t index) { return TextToFloat(LineAt(lines, index), decimalSeparator); };
    const auto oneOrTrue = [&](std::size_t index) { return ReadFlag(Kind::OneOrTrue, LineAt(lines, index)); };

    ExperimentRunParameters run;
    for (std::size_t k = 0; k < run.SignalDescriptions.size(); ++k) run.SignalDescriptions[k] = LineAt(lines, 19 + k);
    run.MVItem = LineAt(lines, 1);
    run.UItem = LineAt(lines, 3);
    run.Y1Item = LineAt(lines, 5);
    run.Y2Item = LineAt(lines, 6);

    const std::string& style = LineAt(lines, 37);
    run.SingleMASwitch = style == "0" || style == "False";
    if (run.SingleMASwitch) {
        run.MAItem = LineAt(lines, 10);
        run.ManualValue = TextToInt(LineAt(lines, 38));
    } else {
        run.ManualItem = LineAt(lines, 11);
        run.AutomaticItem = LineAt(lines, 12);
    }

    run.Ts = number(41);
    const double milliseconds = std::nearbyint(run.Ts * 1000.0);
    if (!(milliseconds >= std::numeric_limits<int>::min() && milliseconds <= std::numeric_limits<int>::max()))
        throw FloatingPointError("Invalid floating point operation");
    run.SamplingMs = static_cast<int>(milliseconds);

    run.StartFromProcess = oneOrTrue(42);
    run.InitialInput = number(43);
    run.WaitingTime = number(44);
    run.StepAmplitude = number(45);
    run.StepTime = number(46);
    run.NumberOfSteps = TextToInt(LineAt(lines, 47));
    run.BothDirections = oneOrTrue(48);
    run.ClosedLoopDuring = oneOrTrue(49);
    run.NoWrite = oneOrTrue(50);
    run.ClosedLoopAfter = LineAt(lines, 76) == "True";
    return run;
}

}  // namespace halvetra
