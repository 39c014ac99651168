// Bad files and failing writes for every file kind the system reads and
// writes: data (.hvd and delimited text), model, controller and experiment
// settings. A load that fails names the fault and changes nothing; a save that
// fails (a folder that cannot take the file, a disk that fills part way) names
// the file, keeps the earlier file byte for byte and leaves no temporary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <tuple>

#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "settings/SettingsFile.h"
#include "model/TModel.h"

#include "../data/FullDisk.h"

namespace fs = std::filesystem;
using namespace halvetra;
using Lines = std::vector<std::string>;

namespace {

// ---- Files of each kind ------------------------------------------------------------------------

fs::path MakeFolder() {
    std::string pattern = (fs::temp_directory_path() / "halvetra-failures-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    return pattern;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

Lines Entries(const fs::path& folder) {
    Lines names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

MeasuredData Record(int samples, double offset) {
    MeasuredData data;
    data.SamplingTime = 0.5;
    data.SampleCount = samples;
    data.ColumnCount = 6;
    for (int c = 1; c <= 6; ++c) {
        data.SignalDescriptions[static_cast<std::size_t>(c - 1)] = "signal " + std::to_string(c);
        for (int i = 0; i < samples; ++i) data.Column(c)[static_cast<std::size_t>(i)] = offset + c * 10 + i * 0.25;
    }
    for (int i = 0; i < samples; ++i) data.SampleTimes[static_cast<std::size_t>(i)] = i * 0.5;
    return data;
}

// The state a load writes into, filled with values no file of the tests holds.
struct State {
    MeasuredData Data = Record(8, 1000);
    TModel Model;
    double ModelSamplingTime = 77;
    IdentificationWindow Window;
    ModelParameters Inner{91, 92, 93, 94, 95, 96, 97};
    ModelParameters Outer{81, 82, 83, 84, 85, 86, 87};
    ExperimentSettings Settings;

    State() {
        Model.Inner = Inner;
        Model.Outer = Outer;
        Window.WindowLength = 3;
        std::fill(Window.WindowU.begin(), Window.WindowU.end(), 5.5);
        Settings.ComboBox2 = "opc.tcp://before:4840";
        Settings.RadioGroup4 = 1;
        Settings.Automatic.Label13 = "before.ott";
    }
};

bool SameData(const MeasuredData& a, const MeasuredData& b) {
    return a.SamplingTime == b.SamplingTime && a.SampleCount == b.SampleCount && a.ColumnCount == b.ColumnCount &&
           a.SignalDescriptions == b.SignalDescriptions && a.RawColumns == b.RawColumns &&
           a.SampleTimes == b.SampleTimes;
}

bool SameWindow(const IdentificationWindow& a, const IdentificationWindow& b) {
    return a.WindowLength == b.WindowLength && a.WindowTime == b.WindowTime && a.WindowU == b.WindowU &&
           a.WindowY == b.WindowY && a.InnerReference == b.InnerReference && a.OuterReference == b.OuterReference &&
           a.InnerResponse == b.InnerResponse && a.OuterResponse == b.OuterResponse;
}

// One file kind: how a good file is written, how the system loads one into
// the state, and whether the part of the state it loads into is unchanged.
struct FileKind {
    std::string Name;
    std::function<void(const std::string&)> Save;
    std::function<void(const std::string&, State&)> Load;
    std::function<bool(const State&, const State&)> Unchanged;
};

Lines DelimitedLines(int rows) {
    Lines lines = {"4.5.2026;exported", "ignored", "MV;U;Y;", "ignored", "ignored"};
    for (int i = 0; i < rows; ++i) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "08:%02d:%02d", i / 60, i % 60);
        lines.push_back(std::string(stamp) + ";" + std::to_string(i) + ";" + std::to_string(2 * i) + ";1,5;");
    }
    return lines;
}

const std::vector<FileKind>& Kinds() {
    static const std::vector<FileKind> kinds = {
        {"hvd",
         [](const std::string& path) {
             const MeasuredData data = Record(40, 0);
             TObdelava().SaveDataFile(path, "4.5.2026", "08:00:00", 0.5, 40, 1, 40, {1, 2, 3, 4, 5, 6}, 0, 100, 0, 10,
                                      {"a", "b", "c", "d", "e", "f"}, data, '.');
         },
         [](const std::string& path, State& s) { TObdelava().LoadDataFile(path, s.Data, '.'); },
         [](const State& a, const State& b) { return SameData(a.Data, b.Data); }},
        {"delimited", [](const std::string& path) { WriteTextFile(path, DelimitedLines(40)); },
         [](const std::string& path, State& s) { TObdelava().LoadDataFile(path, s.Data, '.'); },
         [](const State& a, const State& b) { return SameData(a.Data, b.Data); }},
        {"model",
         [](const std::string& path) {
             IdentificationWindow window;
             for (int i = 0; i < 40; ++i) window.WindowY[static_cast<std::size_t>(i)] = i;
             TModel().SaveModelFile(path, 40, {2, 10, 1, 0.5, 0.1, 0.2, 0.3, 0.04},
                                    {1.5, 20, 3, 0.5, 0.1, 0.2, 0.3, 0.02}, window, '.');
         },
         [](const std::string& path, State& s) { s.Model.LoadModelFile(path, s.ModelSamplingTime, s.Window, '.'); },
         [](const State& a, const State& b) {
             return a.Model.Inner == b.Model.Inner && a.Model.Outer == b.Model.Outer &&
                    a.ModelSamplingTime == b.ModelSamplingTime && SameWindow(a.Window, b.Window);
         }},
        {"controller",
         [](const std::string& path) {
             ControllerSettings settings;
             settings.Cascade = true;
             TRegulator::SaveControllerFile(path, {2, 10, 1, 0.1, 0.2, 0.3, 0.04}, {1.5, 20, 3, 0.1, 0.2, 0.3, 0.02},
                                            settings, '.');
         },
         [](const std::string& path, State& s) { TRegulator::LoadControllerFile(path, s.Inner, s.Outer, '.'); },
         [](const State& a, const State& b) { return a.Inner == b.Inner && a.Outer == b.Outer; }},
        {"settings",
         [](const std::string& path) {
             ExperimentSettings settings;
             settings.ComboBox2 = "opc.tcp://plant:4840";
             SaveSettingsFile(path, settings);
         },
         [](const std::string& path, State& s) { LoadSettingsFile(path, s.Settings); },
         [](const State& a, const State& b) { return a.Settings == b.Settings; }},
    };
    return kinds;
}

void PrintTo(const FileKind& kind, std::ostream* out) { *out << kind.Name; }

class FileKindTest : public ::testing::TestWithParam<FileKind> {
protected:
    void SetUp() override { folder_ = MakeFolder(); }
    void TearDown() override { fs::remove_all(folder_); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // Loads the file into a fresh state; returns the error text ("" when it
    // loaded) and checks that a failed load changed nothing.
    std::string LoadFails(const std::string& path) {
        const FileKind& kind = GetParam();
        State state;
        const State before;
        try {
            kind.Load(path, state);
        } catch (const HalvetraError& error) {
            EXPECT_TRUE(kind.Unchanged(state, before)) << kind.Name << ": a failed load changed the state";
            return error.what();
        }
        return "";
    }

    fs::path folder_;
};

std::string KindName(const ::testing::TestParamInfo<FileKind>& info) { return info.param.Name; }

// ---- Reading -----------------------------------------------------------------------------------

TEST_P(FileKindTest, AFileThatCannotBeOpenedChangesNothing) {
    const std::string missing = Path("missing.file");
    EXPECT_EQ(LoadFails(missing), "Cannot open file " + missing);
    EXPECT_EQ(LoadFails(folder_.string()), "Cannot open file " + folder_.string());  // a folder
}

// A file cut at a line boundary misses the lines after the cut: the first
// line the reader needs and does not find is named; nothing changes. Only the
// delimited text has no count of its rows: cut after line 8 it is simply shorter.
TEST_P(FileKindTest, AFileCutShortIsRefusedAtItsFirstMissingLine) {
    const FileKind& kind = GetParam();
    const std::string good = Path("good");
    kind.Save(good);
    const Lines lines = ReadTextLines(good);
    ASSERT_GE(lines.size(), 38u);
    for (std::size_t keep : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{21}, lines.size() - 1}) {
        const std::string cut = Path("cut" + std::to_string(keep));
        WriteTextFile(cut, Lines(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(keep)));
        const std::string error = LoadFails(cut);
        if (kind.Name == "delimited" && keep >= 8)
            EXPECT_EQ(error, "") << keep;
        else if (keep <= 1)  // the reader asks for its first value line
            EXPECT_EQ(error.rfind("List index out of bounds (", 0), 0u) << keep << ": " << error;
        else
            EXPECT_EQ(error, "List index out of bounds (" + std::to_string(keep) + ")") << kind.Name << " " << keep;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FileKindTest, ::testing::ValuesIn(Kinds()), KindName);

// A cut inside the last line leaves every line present: the row is short, and
// a short row is read as the readers read any short row, without an error.
TEST(TruncatedFiles, ACutInsideTheLastRowIsReadAsAShortRow) {
    const fs::path folder = MakeFolder();
    const std::string path = (folder / "cut.hvd").string();
    Kinds()[0].Save(path);
    std::string bytes = Bytes(path);
    const auto lastRow = bytes.rfind("\r\n", bytes.size() - 3) + 2;
    const auto secondTab = bytes.find('\t', bytes.find('\t', lastRow) + 1);
    WriteBytes(path, bytes.substr(0, secondTab + 3));  // "t<TAB>col1<TAB>29", column 2's 29.75 cut short

    MeasuredData data;
    const DataFileHeader header = TObdelava().LoadDataFile(path, data, '.');
    EXPECT_EQ(data.SampleCount, 40);
    EXPECT_EQ(header.unreadableFields, 0);
    const MeasuredData good = Record(40, 0);
    for (int c = 1; c <= 6; ++c)
        for (int i = 0; i < 39; ++i)
            ASSERT_EQ(data.Column(c)[static_cast<std::size_t>(i)], good.Column(c)[static_cast<std::size_t>(i)]);
    // The cut value and the missing fields after it all take the cut text "29".
    EXPECT_EQ(data.Column(1)[39], good.Column(1)[39]);
    for (int c = 2; c <= 6; ++c) EXPECT_EQ(data.Column(c)[39], 29.0) << c;
    fs::remove_all(folder);
}

// The settings file's last line is a text of the non-linearity table: cut
// inside it, the file loads with the text as far as it goes.
TEST(TruncatedFiles, ACutInsideTheLastLineOfASettingsFileKeepsTheCutText) {
    const fs::path folder = MakeFolder();
    const std::string path = (folder / "cut.hvx").string();
    ExperimentSettings saved;
    saved.StringGrid_Sekvencer[NonLinearityPoints - 1][1] = "12.5";
    SaveSettingsFile(path, saved);
    const std::string bytes = Bytes(path);
    WriteBytes(path, bytes.substr(0, bytes.size() - 3));  // "12." without "5" and the line end

    ExperimentSettings loaded;
    LoadSettingsFile(path, loaded);
    EXPECT_EQ(loaded.StringGrid_Sekvencer[NonLinearityPoints - 1][1], "12.");
    saved.StringGrid_Sekvencer[NonLinearityPoints - 1][1] = "12.";
    EXPECT_EQ(loaded, saved);
    fs::remove_all(folder);
}

// ---- Values that are not numbers ---------------------------------------------------------------

struct BadLine {
    std::string Name;
    std::size_t Kind;  // index into Kinds()
    std::size_t Line;  // from 0
    std::string Text;
    std::string Message;
};

void PrintTo(const BadLine& bad, std::ostream* out) { *out << bad.Name; }

class BadLineTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadLineTest, AHeaderOrSettingThatDoesNotConvertChangesNothing) {
    const BadLine& bad = GetParam();
    const FileKind& kind = Kinds()[bad.Kind];
    const fs::path folder = MakeFolder();
    const std::string path = (folder / "file").string();
    kind.Save(path);
    Lines lines = ReadTextLines(path);
    lines.at(bad.Line) = bad.Text;
    WriteTextFile(path, lines);

    State state;
    const State before;
    try {
        kind.Load(path, state);
        ADD_FAILURE() << "loaded";
    } catch (const ConversionError& error) {
        EXPECT_EQ(std::string(error.what()), bad.Message);
    }
    EXPECT_TRUE(kind.Unchanged(state, before));
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, BadLineTest,
    ::testing::Values(BadLine{"HvdSamplingTime", 0, 4, "0,5", "'0,5' is not a valid floating point value"},
                      BadLine{"HvdSampleCount", 0, 5, "forty", "'forty' is not a valid integer value"},
                      BadLine{"ModelGain", 2, 3, "two", "'two' is not a valid floating point value"},
                      BadLine{"ModelRowCount", 2, 35, "40.0", "'40.0' is not a valid integer value"},
                      BadLine{"ControllerGain", 3, 3, "", "'' is not a valid floating point value"},
                      BadLine{"ControllerMethod", 3, 21, "PI", "'PI' is not a valid integer value"},
                      BadLine{"SettingsSwitchStyle", 4, 37, "True", "'True' is not a valid integer value"},
                      BadLine{"SettingsMethod", 4, 59, "1.5", "'1.5' is not a valid integer value"},
                      BadLine{"SettingsPidForm", 4, 70, "2x", "'2x' is not a valid integer value"}),
    [](const ::testing::TestParamInfo<BadLine>& info) { return info.param.Name; });

// ---- A file of another kind opened as settings -------------------------------------------------

TEST(SettingsFileOfAnotherKind, IsRefusedAndChangesNothing) {
    const fs::path folder = MakeFolder();
    const auto path = [&](const char* name) { return (folder / name).string(); };
    Kinds()[0].Save(path("data.hvd"));
    Kinds()[1].Save(path("export.txt"));
    Kinds()[2].Save(path("model.hvm"));
    Kinds()[3].Save(path("controller.hvc"));
    WriteTextFile(path("numbers.txt"), Lines(120, "12"));

    const std::pair<std::string, std::string> cases[] = {
        {path("data.hvd"), "File " + path("data.hvd") + " is a data file (.hvd), not an experiment settings file"},
        {path("model.hvm"), "File " + path("model.hvm") + " is a model file (.hvm), not an experiment settings file"},
        {path("controller.hvc"),
         "File " + path("controller.hvc") + " is a controller file (.hvc), not an experiment settings file"},
        // Text of no known kind fails where a setting does not convert.
        {path("export.txt"), "'08:00:32;32;64;1,5;' is not a valid integer value"},
    };
    for (const auto& [file, message] : cases) {
        State state;
        const State before;
        try {
            LoadSettingsFile(file, state.Settings);
            ADD_FAILURE() << file << " loaded";
        } catch (const HalvetraError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
        EXPECT_EQ(state.Settings, before.Settings) << file;
    }
    // A file of nothing but integers is taken for settings: there is nothing to tell them apart.
    State state;
    EXPECT_NO_THROW(LoadSettingsFile(path("numbers.txt"), state.Settings));
    EXPECT_EQ(state.Settings.ComboBox2, "12");
    fs::remove_all(folder);
}

// ---- A file of another kind opened as a model or a controller file ----------------------------

// The model and controller readers check no header: another kind of file
// fails at its first value that does not convert, and changes nothing. A
// controller file has numbers wherever a model file has them, so it loads as
// a model without complaint.
TEST(FileOfAnotherKind, ModelAndControllerReadersStopAtTheFirstValueThatDoesNotConvert) {
    const fs::path folder = MakeFolder();
    const auto path = [&](const char* name) { return (folder / name).string(); };
    Kinds()[0].Save(path("data.hvd"));
    Kinds()[2].Save(path("model.hvm"));
    Kinds()[3].Save(path("controller.hvc"));
    Kinds()[4].Save(path("settings.hvx"));

    const FileKind& model = Kinds()[2];
    const FileKind& controller = Kinds()[3];
    const std::tuple<const FileKind*, std::string, std::string> cases[] = {
        {&model, path("data.hvd"), "'08:00:00' is not a valid floating point value"},
        {&model, path("settings.hvx"), "'' is not a valid floating point value"},
        {&controller, path("data.hvd"), "'08:00:00' is not a valid floating point value"},
        {&controller, path("model.hvm"), "'0.5' is not a valid integer value"},
        {&controller, path("settings.hvx"), "'' is not a valid floating point value"},
    };
    for (const auto& [kind, file, message] : cases) {
        State state;
        const State before;
        try {
            kind->Load(file, state);
            ADD_FAILURE() << kind->Name << " loaded " << file;
        } catch (const ConversionError& error) {
            EXPECT_EQ(std::string(error.what()), message) << kind->Name << " " << file;
        }
        EXPECT_TRUE(kind->Unchanged(state, before)) << kind->Name << " " << file;
    }
    State state;
    EXPECT_NO_THROW(model.Load(path("controller.hvc"), state));
    fs::remove_all(folder);
}

// ---- Writing -----------------------------------------------------------------------------------

using halvetra::testing_disk::FullDisk;

using WriterTest = FileKindTest;

TEST_P(WriterTest, ADiskThatFillsKeepsTheEarlierFileAndNamesTheFile) {
    const FileKind& kind = GetParam();
    const std::string path = Path("target");
    WriteBytes(path, "the earlier file\r\n");
    {
        const FullDisk full(64);
        ASSERT_TRUE(full.Active());
        try {
            kind.Save(path);
            ADD_FAILURE() << "saved on a full disk";
        } catch (const FileError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot create file " + path);
        }
    }
    EXPECT_EQ(Bytes(path), "the earlier file\r\n");
    EXPECT_EQ(Entries(folder_), Lines{"target"}) << "a temporary file was left behind";

    // Without an earlier file, none appears.
    {
        const FullDisk full(64);
        EXPECT_THROW(kind.Save(Path("new")), FileError);
    }
    EXPECT_EQ(Entries(folder_), Lines{"target"});

    // The same save succeeds once there is room, and replaces the file whole.
    kind.Save(path);
    EXPECT_EQ(LoadFails(path), "");
}

TEST_P(WriterTest, AFolderThatCannotTakeTheFileIsNamedAndNothingIsWritten) {
    const FileKind& kind = GetParam();
    WriteBytes(Path("plain"), "a regular file, not a folder");
    const std::string unwritable[] = {
        Path("no such folder/file"),  // the folder does not exist
        Path("plain/file"),           // the "folder" is a regular file
        "/proc/halvetra-file",        // a location even root cannot write
    };
    for (const std::string& path : unwritable) {
        try {
            kind.Save(path);
            ADD_FAILURE() << "saved " << path;
        } catch (const FileError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot create file " + path);
        }
    }
    EXPECT_EQ(Entries(folder_), Lines{"plain"});
    EXPECT_EQ(Bytes(Path("plain")), "a regular file, not a folder");
    EXPECT_FALSE(fs::exists("/proc/halvetra-file"));
}

// Only the system's own writers: delimited text is never written.
INSTANTIATE_TEST_SUITE_P(EveryWriter, WriterTest, ::testing::Values(Kinds()[0], Kinds()[2], Kinds()[3], Kinds()[4]),
                         KindName);

}  // namespace
