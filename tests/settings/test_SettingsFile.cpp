#include "settings/SettingsFile.h"

#include "data/Errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <tuple>

namespace halvetra {

// Failures show settings as the lines they would be saved as.
void PrintTo(const ExperimentSettings& settings, std::ostream* os) {
    const std::vector<std::string> lines = BuildSettingsLines(settings);
    for (std::size_t i = 0; i < lines.size(); ++i) *os << "\n  " << i << ": \"" << lines[i] << '"';
}

namespace {

// A folder of its own for the files a test writes, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "halvetra-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
        folder_ = pattern;
    }
    ~TemporaryFolder() { std::filesystem::remove_all(folder_); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

private:
    std::filesystem::path folder_;
};

// Every value differs from its default and from the others; number texts use sep.
ExperimentSettings DistinctSettings(char sep) {
    const auto num = [sep](const char* whole, const char* fraction) { return std::string(whole) + sep + fraction; };
    ExperimentSettings s;
    s.ComboBox2 = "opc.tcp://127.0.0.1:4840";
    for (int row = 0; row < OpcTableRows; ++row)
        if (row != 6 && row != 13)  // headings, not stored
            s.OPCTabela[row] = {"ns=1;s=Item" + std::to_string(row), "Description " + std::to_string(row)};
    s.RadioGroup4 = 0, s.ComboBox3 = 1, s.RadioGroup5 = 0, s.ComboBox4 = 1;
    s.CasVzorcenjaEdit = num("0", "25"), s.ZacetniVhodEdit = num("12", "5"), s.CasCakanjaEdit = num("30", "75");
    s.VelikostStopniceEdit = num("-4", "5"), s.CasStopniceEdit = num("60", "125"), s.SteviloStopnicEdit = "3";
    s.OhraniZacetniVhod = s.CheckBox_ObeSmeri = s.CheckBox_Zaprtozancni = s.CheckBox_NePisi = s.RadioRocno = true;
    s.Edit_MVMax = "90", s.Edit_MVMin = "10", s.Edit_MVStep = num("0", "5"), s.CajtZacetka = "09:15:30";
    s.CheckBox_ZZPoPoizkusu = false, s.CheckBox_Sekvencer = true;
    for (int k = 0; k < NonLinearityPoints; ++k)
        s.StringGrid_Sekvencer[k] = {"in" + std::to_string(k), "out" + std::to_string(k)};
    AutomaticExperimentSettings& a = s.Automatic;
    a.Edit_Sam_Filt = num("2", "5"), a.Edit_Sam_Max = "95", a.Edit_Sam_Min = "5", a.Edit_Sam_Velocity = "40";
    a.ComboBox_Sam_IzbMetode = 4, a.Edit_Sam_Ts = num("0", "2"), a.ScrollBar_Sam_Robust = 17;
    a.RadioGroup_Sam_Prikaz = 1, a.ComboBox_Sam_TipReg = 3, a.RadioGroup_Sam_PID = 3;
    a.Edit_Sam_SkalP = num("1", "1"), a.Edit_Sam_SkalI = num("1", "2"), a.Edit_Sam_SkalD = num("1", "3");
    a.CheckBox_Sam_Cascade = a.CheckBox_Sam_Nalozi = true;
    a.CheckBox_Sam_PorocObd = a.CheckBox_Sam_PorocMod = a.CheckBox_Sam_PorocReg = false;
    a.Label13 = "/home/user/templates/report.ott";
    return s;
}

// Lines 37 .. 77 in order; before them 37 lines, after them 20 lines.
std::vector<std::string> WithTexts(std::vector<std::string> head, std::vector<std::string> middle,
                                   std::vector<std::string> tail) {
    head.insert(head.end(), middle.begin(), middle.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::vector<std::string> DefaultLines() {
    return WithTexts(std::vector<std::string>(37),
                     {"1",     "0",     "1",     "0",     "1",          "False",    "0",    "0",    "0",   "0", "1",
                      "False", "False", "False", "False", "100",        "0",        "1",    "0",    "100", "0", "1",
                      "0",     "1",     "10",    "100",   "False",      "False",    "0",    "0",    "1",   "1", "1",
                      "2",     "True",  "True",  "True",  "normal.dot", "12:00:00", "True", "False"},
                     std::vector<std::string>(20));
}

TEST(SettingsFileLayout, DefaultFileIs98CrLfLines) {
    const TemporaryFolder dir;
    const std::string path = dir.Path("default.hvx");
    SaveSettingsFile(path, ExperimentSettings{});
    std::ifstream in(path, std::ios::binary);
    std::string expected;
    for (const std::string& line : DefaultLines()) expected += line + "\r\n";
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), expected);
}

TEST(SettingsFileLayout, EveryValueStandsOnItsLine) {
    std::vector<std::string> head = {"opc.tcp://127.0.0.1:4840"};
    for (const char* prefix : {"ns=1;s=Item", "Description "})
        for (int row : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 19})
            head.push_back(prefix + std::to_string(row));
    std::vector<std::string> tail;
    for (int k = 0; k < 10; ++k) tail.insert(tail.end(), {"in" + std::to_string(k), "out" + std::to_string(k)});
    EXPECT_EQ(BuildSettingsLines(DistinctSettings('.')), WithTexts(head, {"0",        "1",
                                                                          "0",        "1",
                                                                          "0.25",     "True",
                                                                          "12.5",     "30.75",
                                                                          "-4.5",     "60.125",
                                                                          "3",        "True",
                                                                          "True",     "True",
                                                                          "True",     "90",
                                                                          "10",       "0.5",
                                                                          "2.5",      "95",
                                                                          "5",        "40",
                                                                          "4",        "0.2",
                                                                          "17",       "95",
                                                                          "True",     "True",
                                                                          "1",        "3",
                                                                          "1.1",      "1.2",
                                                                          "1.3",      "3",
                                                                          "False",    "False",
                                                                          "False",    "/home/user/templates/report.ott",
                                                                          "09:15:30", "False",
                                                                          "True"},
                                                                   tail));
}

class SettingsRoundTrip : public ::testing::TestWithParam<char> {};

TEST_P(SettingsRoundTrip, SaveLoadAndRunParameters) {
    const TemporaryFolder dir;
    const std::string path = dir.Path("run.hvx");
    const ExperimentSettings saved = DistinctSettings(GetParam());
    SaveSettingsFile(path, saved);
    ExperimentSettings loaded;
    const std::vector<std::string> lines = LoadSettingsFile(path, loaded);
    EXPECT_EQ(loaded, saved);
    SaveSettingsFile(path, ExperimentSettings{});
    LoadSettingsFile(path, loaded);
    EXPECT_EQ(loaded, ExperimentSettings{});

    const ExperimentRunParameters run = RunParametersFromLines(lines, GetParam());
    EXPECT_EQ(run.SignalDescriptions[0], "Description 0");
    EXPECT_EQ(run.SignalDescriptions[5], "Description 5");
    EXPECT_EQ(run.MVItem + run.UItem + run.Y1Item + run.Y2Item, "ns=1;s=Item0ns=1;s=Item2ns=1;s=Item4ns=1;s=Item5");
    EXPECT_TRUE(run.SingleMASwitch);
    EXPECT_EQ(run.MAItem, "ns=1;s=Item10");
    EXPECT_EQ(run.ManualValue, 1);
    EXPECT_EQ(run.ManualItem + run.AutomaticItem, "");
    EXPECT_EQ(run.Ts, 0.25);
    EXPECT_EQ(run.SamplingMs, 250);
    EXPECT_EQ(run.InitialInput, 12.5);
    EXPECT_EQ(run.WaitingTime, 30.75);
    EXPECT_EQ(run.StepAmplitude, -4.5);
    EXPECT_EQ(run.StepTime, 60.125);
    EXPECT_EQ(run.NumberOfSteps, 3);
    EXPECT_TRUE(run.StartFromProcess && run.BothDirections && run.ClosedLoopDuring && run.NoWrite);
    EXPECT_FALSE(run.ClosedLoopAfter);
    EXPECT_THROW(RunParametersFromLines(lines, GetParam() == '.' ? ',' : '.'), ConversionError);
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, SettingsRoundTrip, ::testing::Values('.', ','));

TEST(ApplySettings, ThreeBooleanRules) {
    // text, then the value by rule: "1"/"True" (42, 48 .. 51), TextToBool (63, 64, 71 .. 73), "True" only (76, 77)
    const std::tuple<const char*, bool, bool, bool> cases[] = {
        {"True", true, true, true},     {"1", true, true, false},      {"true", false, true, false},
        {"False", false, false, false}, {"TRUE", false, false, false}, {" True", false, false, false}};
    for (const auto& [text, oneOrTrue, textToBool, trueOnly] : cases) {
        std::vector<std::string> lines = DefaultLines();
        for (int i : {42, 48, 49, 50, 51, 63, 64, 71, 72, 73, 76, 77}) lines[i] = text;
        ExperimentSettings s;
        ApplySettings(lines, s);
        const AutomaticExperimentSettings& a = s.Automatic;
        EXPECT_EQ(std::vector<bool>({s.OhraniZacetniVhod, s.CheckBox_ObeSmeri, s.CheckBox_Zaprtozancni,
                                     s.CheckBox_NePisi, s.RadioRocno}),
                  std::vector<bool>(5, oneOrTrue))
            << text;
        EXPECT_EQ(std::vector<bool>({a.CheckBox_Sam_Cascade, a.CheckBox_Sam_Nalozi, a.CheckBox_Sam_PorocObd,
                                     a.CheckBox_Sam_PorocMod, a.CheckBox_Sam_PorocReg}),
                  std::vector<bool>(5, textToBool))
            << text;
        EXPECT_EQ(std::vector<bool>({s.CheckBox_ZZPoPoizkusu, s.CheckBox_Sekvencer}), std::vector<bool>(2, trueOnly))
            << text;
    }
}

TEST(ApplySettings, TextsAsWrittenSecondMaximumWinsHeadingsKept) {
    std::vector<std::string> lines = DefaultLines();
    lines[0] = "a server not in the list";
    lines[41] = " 1,5 ";
    lines[47] = "not a number";  // converted only when an experiment starts
    lines[56] = "80";
    lines[62] = "70";
    lines.push_back("a line after the layout");
    ExperimentSettings s;
    s.OPCTabela[6] = {"heading", "x"};
    ApplySettings(lines, s);
    EXPECT_EQ(s.ComboBox2, "a server not in the list");
    EXPECT_EQ(s.CasVzorcenjaEdit, " 1,5 ");
    EXPECT_EQ(s.SteviloStopnicEdit, "not a number");
    EXPECT_EQ(s.Automatic.Edit_Sam_Max, "70");
    EXPECT_EQ(s.OPCTabela[6][0], "heading");
}

TEST(ApplySettings, FailedReadChangesNothing) {
    const ExperimentSettings before = DistinctSettings(',');
    for (std::size_t length : {0u, 40u, 97u}) {
        std::vector<std::string> lines = DefaultLines();
        lines.resize(length);
        ExperimentSettings s = before;
        try {
            ApplySettings(lines, s);
            ADD_FAILURE() << length << " lines accepted";
        } catch (const ListIndexError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(length) + ")");
        }
        EXPECT_EQ(s, before);
    }
    for (int line : {37, 38, 39, 40, 59, 61, 65, 66, 70}) {
        std::vector<std::string> lines = DefaultLines();
        lines[line] = "1.5";
        ExperimentSettings s = before;
        EXPECT_THROW(ApplySettings(lines, s), ConversionError) << "line " << line;
        EXPECT_EQ(s, before);
    }
}

TEST(RunParameters, StylesFlagsAndSamplingTime) {
    std::vector<std::string> lines = BuildSettingsLines(DistinctSettings('.'));
    for (const char* style : {"1", "True", "", "false"}) {
        lines[37] = style;
        lines[38] = "not read in this style";
        const ExperimentRunParameters run = RunParametersFromLines(lines, '.');
        EXPECT_FALSE(run.SingleMASwitch) << style;
        EXPECT_EQ(run.ManualItem + " " + run.AutomaticItem + run.MAItem, "ns=1;s=Item11 ns=1;s=Item12");
    }
    lines[37] = "False";
    EXPECT_THROW(RunParametersFromLines(lines, '.'), ConversionError);  // now line 38 is read
    lines[38] = "0";
    EXPECT_TRUE(RunParametersFromLines(lines, '.').SingleMASwitch);

    lines[42] = "true";  // "1" or "True" only
    lines[49] = "1";
    lines[76] = "true";    // "True" only
    lines[41] = "0.0625";  // 62.5 ms exactly: a tie goes to the even neighbour
    ExperimentRunParameters run = RunParametersFromLines(lines, '.');
    EXPECT_FALSE(run.StartFromProcess);
    EXPECT_TRUE(run.ClosedLoopDuring);
    EXPECT_FALSE(run.ClosedLoopAfter);
    EXPECT_EQ(run.SamplingMs, 62);
    lines[41] = "0.1875";
    EXPECT_EQ(RunParametersFromLines(lines, '.').SamplingMs, 188);
    lines[41] = "1e10";
    EXPECT_THROW(RunParametersFromLines(lines, '.'), FloatingPointError);
    lines[41] = "1";
    lines[47] = "2.5";
    EXPECT_THROW(RunParametersFromLines(lines, '.'), ConversionError);
    lines[47] = "2";
    lines.resize(76);
    EXPECT_THROW(RunParametersFromLines(lines, '.'), ListIndexError);
}

TEST(SettingsFileNames, ProposedNameLabelFolderPath) {
    EXPECT_EQ(ProposedSettingsFileName("12:00:00", "6.12.2006"), "12_00_00__6_12_2006.hvx");
    EXPECT_EQ(ProposedSettingsFileName("12:00:00", "12/6/2006"), "12_00_00__12_6_2006.hvx");
    EXPECT_EQ(LabelOfSettingsFile("/data/runs/12_00_00__6_12_2006.hvx"), "12_00_00__6_12_2006");
    EXPECT_EQ(LabelOfSettingsFile("/data/runs.v2/loop.test.hvx"), "loop.test");
    EXPECT_EQ(LabelOfSettingsFile("/data/runs.v2/noextension"), "noextension");
    EXPECT_EQ(FolderOfFile("/data/runs/a.hvx"), "/data/runs");
    EXPECT_EQ(FolderOfFile("/a.hvx"), "");
    EXPECT_EQ(FolderOfFile("a.hvx"), ".");
    EXPECT_EQ(SettingsFilePath("/data/runs", "a"), "/data/runs/a.hvx");
}

}  // namespace
}  // namespace halvetra
