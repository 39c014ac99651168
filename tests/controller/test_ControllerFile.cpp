// The controller settings file: the exact text a save writes, what a load
// restores and keeps, and that a file which cannot be read whole changes
// nothing.
#include "controller/ControllerForms.h"
#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/TextFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;
using namespace halvetra;

namespace {

// Gain, time constant, dead time, Std, relative error, deviations.
const ModelParameters Inner = {2.5, 12.345678901234567, 0.00001, 0.7, 0.0123, 0.01, 0.02};
const ModelParameters Outer = {-1.5, 123456789012345678.0, 0.0, 0.8, 1.0 / 3.0, 0.03, 0.04};
// Method 9, the optimal rule, is stored and read back as every other index.
const ControllerSettings Settings = {"0,25", 9, 1, -1, 3, 15, "1", "2.5", " x ", true};
// Recognisable models that a load replaces in part, or a failed one not at all.
const ModelParameters Before = {100, 101, 102, 103, 104, 105, 106};

class ControllerFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "halvetra-controllerfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Save(char sep = '.') const {
        const std::string path = (folder_ / "c.hvc").string();
        TRegulator::SaveControllerFile(path, Inner, Outer, Settings, sep);
        return path;
    }
    // Replaces lines (numbered from 1), keeps the first `keep` and appends `extra`.
    static void Edit(const std::string& path, const std::map<std::size_t, std::string>& replaced,
                     std::size_t keep = SIZE_MAX, const std::vector<std::string>& extra = {}) {
        auto lines = ReadTextLines(path);
        for (const auto& [number, text] : replaced) lines.at(number - 1) = text;
        if (keep < lines.size()) lines.resize(keep);
        lines.insert(lines.end(), extra.begin(), extra.end());
        WriteTextFile(path, lines);
    }
    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path folder_;
};

TEST_F(ControllerFileTest, WritesThirtyEightLabelledLines) {
    const auto expected = [](const std::vector<std::string>& v) {
        return "HALVETRA Controller\r\nV1.0\r\n"
               "Ojacenje notranjega procesa:\r\n" +
               v[0] +
               "\r\n"
               "Casovna konstanta notranjega procesa:\r\n" +
               v[1] +
               "\r\n"
               "Zakasnitev notranjega procesa:\r\n" +
               v[2] +
               "\r\n"
               "Relativna standardna deviacija meritev-model notranjega procesa:\r\n" +
               v[3] +
               "\r\n"
               "Ojacenje zunanjega procesa:\r\n" +
               v[4] +
               "\r\n"
               "Casovna konstanta zunanjega procesa:\r\n" +
               v[5] +
               "\r\n"
               "Zakasnitev zunanjega procesa:\r\n" +
               v[6] +
               "\r\n"
               "Relativna standardna deviacija meritev-model zunanjega procesa:\r\n" +
               v[7] +
               "\r\n"
               "Cas vzorcenja:\r\n0,25\r\n"
               "Metoda nastavljanja:\r\n9\r\n"
               "Prikazan odziv (referenca - motnja):\r\n1\r\n"
               "Splosna izbira regulatorja (paralelni, serijski, itd.):\r\n-1\r\n"
               "Tip regulatorja (P, I, PI, PID):\r\n3\r\n"
               "Faktor robustnosti (polozaj drsnika):\r\n15\r\n"
               "Dodatno skaliranje P clena:\r\n1\r\n"
               "Dodatno skaliranje I clena:\r\n2.5\r\n"
               "Dodatno skaliranje D clena:\r\n x \r\n"
               "Kaskadna regulacija:\r\n1\r\n";
    };
    EXPECT_EQ(Bytes(Save('.')), expected({"2.5", "12.345678901235", "1E-5", "0.0123", "-1.5", "1.2345678901235E+17",
                                          "0", "0.33333333333333"}));
    EXPECT_EQ(Bytes(Save(',')), expected({"2,5", "12,345678901235", "1E-5", "0,0123", "-1,5", "1,2345678901235E+17",
                                          "0", "0,33333333333333"}));
}

TEST_F(ControllerFileTest, LoadRestoresModelsAndSettings) {
    for (const char sep : {'.', ','}) {
        ModelParameters inner = Before, outer = Before;
        const ControllerSettings loaded = TRegulator::LoadControllerFile(Save(sep), inner, outer, sep);
        EXPECT_EQ(loaded, Settings);
        // Four figures to 14 digits; Std and the deviations stay.
        EXPECT_EQ(inner, (ModelParameters{2.5, 12.345678901235, 0.00001, 103, 0.0123, 105, 106}));
        EXPECT_EQ(outer, (ModelParameters{-1.5, 1.2345678901235e17, 0, 103, 0.33333333333333, 105, 106}));

        // The scaling text that is not a number comes back unchanged and fails the next display.
        ParametersBoxState box;
        const ScaleReader scales = ScaleTexts(loaded.ScaleP, loaded.ScaleI, loaded.ScaleD, '.');
        try {
            ShowControllerParameters(0, 3, true, {1, 1, 1, 1, 1, 1, 1}, 1, 1, scales, '.', box);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), "' x ' is not a valid floating point value");
        }
        EXPECT_EQ(box.Text(ParametersText::EditKi), "2.500000");
    }

    // An integrating outer model is marked on its gain line (V1.1) and comes
    // back integrating; loading a file of self-regulating models makes both so.
    ModelParameters level = Outer;
    level.Type = ProcessType::Integrating;
    const std::string marked = (folder_ / "level.hvc").string();
    TRegulator::SaveControllerFile(marked, Inner, level, Settings, '.');
    const std::vector<std::string> lines = ReadTextLines(marked);
    EXPECT_EQ(lines[1], "V1.1");
    EXPECT_EQ(lines[11], "integrating -1.5");
    ModelParameters inner = Before, outer = Before;
    TRegulator::LoadControllerFile(marked, inner, outer, '.');
    EXPECT_EQ(outer.Type, ProcessType::Integrating);
    EXPECT_EQ(outer.Gain, -1.5);
    EXPECT_EQ(inner.Type, ProcessType::SelfRegulating);
    TRegulator::LoadControllerFile(Save(), inner, outer, '.');
    EXPECT_EQ(outer.Type, ProcessType::SelfRegulating);

    // Only exactly "0" is a single loop; the first lines, the labels and lines
    // after the 38th are not looked at; LF line ends read as well.
    const std::string path = Save();
    for (const auto& [text, cascade] : std::map<std::string, bool>{
             {"0", false}, {"1", true}, {"00", true}, {"false", true}, {"", true}, {" 0", true}}) {
        Edit(path, {{1, "other"}, {2, "V9"}, {37, ""}, {38, text}}, 38, {"more"});
        std::string lf = Bytes(path);
        std::erase(lf, '\r');
        std::ofstream(path, std::ios::binary | std::ios::trunc) << lf;
        ModelParameters inner, outer;
        EXPECT_EQ(TRegulator::LoadControllerFile(path, inner, outer, '.').Cascade, cascade) << "'" << text << "'";
        EXPECT_EQ(outer.Gain, -1.5);
    }
}

TEST_F(ControllerFileTest, AFileThatFailsPartWayChangesNothing) {
    const std::pair<std::map<std::size_t, std::string>, std::string> badValues[] = {
        {{{18, "0.5"}}, "'0.5' is not a valid floating point value"},  // the separator is ','
        {{{26, "1.5"}}, "'1.5' is not a valid integer value"},
    };
    for (const auto& [replaced, message] : badValues) {
        const std::string path = Save(',');
        Edit(path, replaced);
        ModelParameters inner = Before, outer = Before;
        try {
            TRegulator::LoadControllerFile(path, inner, outer, ',');
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        EXPECT_EQ(inner, Before);
        EXPECT_EQ(outer, Before);
    }
    const std::pair<std::size_t, int> shortFiles[] = {{37, 37}, {20, 21}, {0, 3}};  // lines kept, index missed
    for (const auto& [keep, index] : shortFiles) {
        const std::string path = Save();
        Edit(path, {}, keep);
        ModelParameters inner = Before, outer = Before;
        try {
            TRegulator::LoadControllerFile(path, inner, outer, '.');
            ADD_FAILURE() << "no error";
        } catch (const ListIndexError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(index) + ")");
        }
        EXPECT_EQ(inner, Before);
    }
}

TEST_F(ControllerFileTest, ATextWithALineBreakIsRefused) {
    const std::string path = Save();
    const std::string before = Bytes(path);
    // A text with a line break would move every later value to another line.
    ControllerSettings s = Settings;
    s.ScaleI = "1\r\n2";
    EXPECT_THROW(TRegulator::SaveControllerFile(path, Inner, Outer, s, '.'), HalvetraError);
    s = Settings;
    s.SamplingTimeText = "1\n";
    EXPECT_THROW(TRegulator::SaveControllerFile(path, Inner, Outer, s, '.'), HalvetraError);
    EXPECT_EQ(Bytes(path), before);
}

}  // namespace
