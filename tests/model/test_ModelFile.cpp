// The model file: what a save writes, what a load restores, how data rows are
// split, and that a file which cannot be read whole changes nothing.
#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/TextFile.h"
#include "model/TModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;
using namespace halvetra;

namespace {

using Column = std::vector<double> IdentificationWindow::*;
const Column Columns[] = {&IdentificationWindow::WindowTime,     &IdentificationWindow::WindowU,
                          &IdentificationWindow::WindowY,        &IdentificationWindow::InnerReference,
                          &IdentificationWindow::OuterReference, &IdentificationWindow::InnerResponse,
                          &IdentificationWindow::OuterResponse,  &IdentificationWindow::WindowY2};

ModelParameters Model(double base) {
    return {base / 3.0,    12345.678901234567 * base, 0.0123456789012345 * base,
            2.5e-7 / base, -98765.43210987654 * base, 1e20 / (3.0 * base),
            0.1 * base};
}

// Values of many digits, signs and magnitudes, so that fixed-point and
// scientific texts both occur.
void FillRows(IdentificationWindow& window, int n) {
    window.WindowLength = n;
    for (int k = 1; k <= n; ++k)
        for (std::size_t c = 0; c < std::size(Columns); ++c)
            (window.*Columns[c])[static_cast<std::size_t>(k - 1)] =
                std::sin(k * 7.0 + static_cast<double>(c)) * std::pow(10.0, k % 13 - 6);
}

class ModelFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "halvetra-modelfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        // Recognisable state that a failed load must leave as it is.
        model_.Inner = Model(7.0);
        model_.Outer = Model(-9.0);
        samplingTime_ = 0.125;
        for (const Column c : Columns) std::fill((window_.*c).begin(), (window_.*c).end(), 42.0);
        window_.WindowLength = 17;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A file of n rows from known models and window.
    std::string SaveSample(const std::string& name, int n, char separator = '.') const {
        TModel source;
        IdentificationWindow window;
        FillRows(window, n);
        source.SaveModelFile(Path(name), n, TModel::SetOf(Model(1.0), 0.2), TModel::SetOf(Model(2.0), 0.2), window,
                             separator);
        return Path(name);
    }
    // Replaces lines (numbered from 1) and keeps only the first `keep` lines.
    static void Edit(const std::string& path, const std::map<std::size_t, std::string>& replaced,
                     std::size_t keep = SIZE_MAX) {
        auto lines = ReadTextLines(path);
        for (const auto& [number, text] : replaced) lines.at(number - 1) = text;
        if (keep < lines.size()) lines.resize(keep);
        WriteTextFile(path, lines);
    }

    void Load(const std::string& path, char separator = '.') {
        model_.LoadModelFile(path, samplingTime_, window_, separator);
    }
    void ExpectUnchanged() const {
        EXPECT_EQ(model_.Inner, Model(7.0));
        EXPECT_EQ(model_.Outer, Model(-9.0));
        EXPECT_EQ(samplingTime_, 0.125);
        EXPECT_EQ(window_.WindowLength, 17);
        for (const Column c : Columns)
            EXPECT_TRUE(std::all_of((window_.*c).begin(), (window_.*c).end(), [](double v) { return v == 42.0; }));
    }

    fs::path folder_;
    TModel model_;
    double samplingTime_ = 0.0;
    IdentificationWindow window_;
};

class ModelFileSeparatorTest : public ModelFileTest, public ::testing::WithParamInterface<char> {};

void ExpectDigits(double expected, double actual, int digits) {
    EXPECT_NEAR(actual, expected, std::abs(expected) * 0.5 * std::pow(10.0, 1 - digits)) << expected;
}
void ExpectModelDigits(const ModelParameters& expected, const ModelParameters& actual) {
    const auto e = TModel::SetOf(expected, 0.0);
    const auto a = TModel::SetOf(actual, 0.0);
    for (std::size_t i = 0; i < e.size(); ++i) ExpectDigits(e[i], a[i], 14);
}

TEST_P(ModelFileSeparatorTest, SaveAndLoadRestoreModelsAndWindow) {
    const char separator = GetParam();
    const std::string first = SaveSample("first.hvm", 40, separator);
    Load(first, separator);

    ExpectModelDigits(Model(1.0), model_.Inner);
    ExpectModelDigits(Model(2.0), model_.Outer);
    EXPECT_EQ(samplingTime_, 0.2);
    EXPECT_EQ(window_.WindowLength, 40);
    IdentificationWindow expected;
    FillRows(expected, 40);
    for (std::size_t c = 0; c < 7; ++c)
        for (std::size_t i = 0; i < 40; ++i) ExpectDigits((expected.*Columns[c])[i], (window_.*Columns[c])[i], 12);
    // Rows beyond the count and WindowY2 are not in the file.
    EXPECT_EQ(window_.WindowTime[40], 42.0);
    EXPECT_EQ(window_.OuterResponse[40], 42.0);
    EXPECT_EQ(window_.WindowY2[0], 42.0);

    const std::string second = Path("second.hvm");
    model_.SaveModelFile(second, window_.WindowLength, TModel::SetOf(model_.Inner, samplingTime_),
                         TModel::SetOf(model_.Outer, samplingTime_), window_, separator);
    EXPECT_EQ(Bytes(second), Bytes(first));

    // A refined dead time between samples (3.6 samples of 0.5 s) is a decimal
    // like any other and reads back as it was written.
    ModelParameters refined = Model(1.0);
    refined.DeadTime = 1.8;
    const std::string third = Path("third.hvm");
    model_.SaveModelFile(third, 2, TModel::SetOf(refined, 0.5), TModel::SetOf(refined, 0.5), window_, separator);
    EXPECT_EQ(ReadTextLines(third)[7], separator == '.' ? "1.8" : "1,8");
    Load(third, separator);
    EXPECT_EQ(model_.Inner.DeadTime, 1.8);
    EXPECT_EQ(samplingTime_, 0.5);

    // An integrating outer set: marked on its gain line, which a reader of
    // the first layout refuses as a number, and read back as integrating.
    const std::string fourth = Path("fourth.hvm");
    model_.SaveModelFile(fourth, 2, TModel::SetOf(refined, 0.5), TModel::SetOf(refined, 0.5), window_, separator,
                         ProcessType::SelfRegulating, ProcessType::Integrating);
    const auto lines = ReadTextLines(fourth);
    EXPECT_EQ(lines[1], "V1.1");
    EXPECT_EQ(lines[3], ReadTextLines(third)[3]);
    EXPECT_EQ(lines[19], "integrating " + ReadTextLines(third)[19]);
    EXPECT_THROW(TextToFloat(lines[19], separator), ConversionError);
    Load(fourth, separator);
    EXPECT_EQ(model_.Inner.Type, ProcessType::SelfRegulating);
    EXPECT_EQ(model_.Outer.Type, ProcessType::Integrating);
    EXPECT_EQ(model_.Outer.DeadTime, 1.8);
    Load(third, separator);
    EXPECT_EQ(model_.Outer.Type, ProcessType::SelfRegulating);
}

TEST_P(ModelFileSeparatorTest, RowsReadPointOrCommaWhateverTheSeparator) {
    const std::string point = SaveSample("point.hvm", 2, GetParam());
    const std::string comma = SaveSample("comma.hvm", 2, GetParam());
    Edit(point, {{38, "0.5\t-1.25\t3.5E-5\t1e3\t+2\t.5\t7.75"}, {39, "1\t2\t3\t4\t5\t6\t7"}});
    Edit(comma, {{38, "0,5\t-1,25\t3,5E-5\t1e3\t+2\t,5\t7,75"}, {39, "1\t2\t3\t4\t5\t6\t7"}});

    Load(point, GetParam());
    const IdentificationWindow fromPoint = window_;
    Load(comma, GetParam());
    const double row1[] = {0.5, -1.25, 3.5e-5, 1000.0, 2.0, 0.5, 7.75};
    for (std::size_t c = 0; c < 7; ++c) {
        EXPECT_EQ((window_.*Columns[c])[0], row1[c]);
        EXPECT_EQ((window_.*Columns[c])[0], (fromPoint.*Columns[c])[0]);
        EXPECT_EQ((window_.*Columns[c])[1], static_cast<double>(c + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Separators, ModelFileSeparatorTest, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Point" : "Comma"; });

TEST_F(ModelFileTest, WritesLabelsNumbersAndRowsLineByLine) {
    IdentificationWindow window;
    window.WindowTime[0] = 0.0;
    window.WindowTime[1] = 0.5;
    window.WindowU[1] = 1.0 / 3.0;
    window.OuterResponse[1] = -2.5e-7;
    const TModel::ModelSet inner = {1.5, 20.0, 2.0, 0.5, 0.1, 1.0 / 3.0, 0.01, 0.025};
    const TModel::ModelSet outer = {-2.0, 1e20, 0.0, 0.5, 123456789012345.0, 0.00001234, 0.2, 1.0};
    const std::string path = Path("labels.hvm");
    model_.SaveModelFile(path, 2, inner, outer, window, '.');

    EXPECT_EQ(Bytes(path),
              "HALVETRA Model\r\nV1.0\r\n"
              "Ojacenje notranjega procesa:\r\n1.5\r\n"
              "Casovna konstanta notranjega procesa:\r\n20\r\n"
              "Zakasnitev notranjega procesa:\r\n2\r\n"
              "Vzorcenje notranjega procesa:\r\n0.5\r\n"
              "Deviacija ojacenja notranjega procesa:\r\n0.1\r\n"
              "Deviacija casovne konstante notranjega procesa:\r\n0.33333333333333\r\n"
              "Standardna deviacija notranjega procesa:\r\n0.01\r\n"
              "Relativna standardna deviacija meritev-model notranjega procesa:\r\n0.025\r\n"
              "Ojacenje zunanjega procesa:\r\n-2\r\n"
              "Casovna konstanta zunanjega procesa:\r\n1E+20\r\n"
              "Zakasnitev zunanjega procesa:\r\n0\r\n"
              "Vzorcenje zunanjega procesa:\r\n0.5\r\n"
              "Deviacija ojacenja zunanjega procesa:\r\n1.2345678901235E+14\r\n"
              "Deviacija casovne konstante zunanjega procesa:\r\n1.234E-5\r\n"
              "Standardna deviacija zunanjega procesa:\r\n0.2\r\n"
              "Relativna standardna deviacija meritev-model zunanjega procesa:\r\n1\r\n"
              "Stevilo vzorcev:\r\n2\r\n"
              "Podatki:\r\n"
              "0\t0\t0\t0\t0\t0\t0\r\n"
              "0.5\t0.333333333333\t0\t0\t0\t0\t-2.5E-7\r\n");

    model_.SaveModelFile(path, 2, inner, outer, window, ',');
    const auto lines = ReadTextLines(path);
    EXPECT_EQ(lines[3], "1,5");
    EXPECT_EQ(lines[38], "0,5\t0,333333333333\t0\t0\t0\t0\t-2,5E-7");
}

TEST_F(ModelFileTest, SplitsRowsAtTabsIntoTheSevenColumns) {
    IdentificationWindow window;
    for (const Column c : Columns) (window.*c)[4] = 42.0;

    // Too few fields: the last one lands in OuterResponse, the columns without
    // a field keep their values.
    TModel::ParseModelRow("1\t2\t3", 5, window);
    const double fewer[] = {1, 2, 42, 42, 42, 42, 3, 42};
    for (std::size_t c = 0; c < std::size(Columns); ++c) EXPECT_EQ((window.*Columns[c])[4], fewer[c]) << c;

    // An empty field ends the row: the rest goes to OuterResponse.
    TModel::ParseModelRow("5\t\t6", 5, window);
    const double empty[] = {5, 2, 42, 42, 42, 42, 6, 42};
    for (std::size_t c = 0; c < std::size(Columns); ++c) EXPECT_EQ((window.*Columns[c])[4], empty[c]) << c;

    // Fields after the seventh are ignored.
    TModel::ParseModelRow("1\t2\t3\t4\t5\t6\t7\t8", 5000, window);
    for (std::size_t c = 0; c < 7; ++c) EXPECT_EQ((window.*Columns[c])[4999], static_cast<double>(c + 1));

    EXPECT_THROW(TModel::ParseModelRow("1", 0, window), ListIndexError);
    EXPECT_THROW(TModel::ParseModelRow("1", 5001, window), ListIndexError);
}

TEST_F(ModelFileTest, LastSamplingTimeWinsAndZeroRowsReadNone) {
    const std::string path = SaveSample("zero.hvm", 0);
    Edit(path, {{10, "0.5"}, {26, "2"}});
    Load(path);
    EXPECT_EQ(samplingTime_, 2.0);
    ExpectModelDigits(Model(2.0), model_.Outer);
    EXPECT_EQ(window_.WindowLength, 0);
    EXPECT_EQ(window_.WindowTime[0], 42.0);
    EXPECT_EQ(window_.OuterResponse[0], 42.0);
}

TEST_F(ModelFileTest, FileThatCannotBeReadWholeChangesNothing) {
    const auto expectFailure = [this](const std::string& path, const std::string& message) {
        try {
            Load(path);
            ADD_FAILURE() << "loaded " << path;
        } catch (const HalvetraError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        ExpectUnchanged();
    };

    const std::string comma = SaveSample("comma.hvm", 3);
    Edit(comma, {{10, "1,5"}});
    expectFailure(comma, "'1,5' is not a valid floating point value");

    const std::string count = SaveSample("count.hvm", 3);
    Edit(count, {{36, "3.0"}});
    expectFailure(count, "'3.0' is not a valid integer value");

    // A missing line is reported by its index from 0: the header needs line
    // 22 (index 21), the fourth of five rows is line 41 (index 40).
    const std::string header = SaveSample("header.hvm", 5);
    Edit(header, {}, 20);
    expectFailure(header, "List index out of bounds (21)");
    const std::string rows = SaveSample("rows.hvm", 5);
    Edit(rows, {}, 40);
    expectFailure(rows, "List index out of bounds (40)");
}

TEST_F(ModelFileTest, RowCountsBeyondTheWindowAreRefused) {
    const std::string path = SaveSample("many.hvm", 2);
    Edit(path, {{36, "5001"}});
    EXPECT_THROW(Load(path), FileError);
    ExpectUnchanged();
    try {
        Edit(path, {{36, "-1"}});
        Load(path);
        ADD_FAILURE();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("-1"), std::string::npos);
    }
    ExpectUnchanged();

    IdentificationWindow window;
    const std::string refused = Path("refused.hvm");
    EXPECT_THROW(model_.SaveModelFile(refused, MaxSamples + 1, {}, {}, window, '.'), ListIndexError);
    EXPECT_THROW(model_.SaveModelFile(refused, -1, {}, {}, window, '.'), ListIndexError);
    EXPECT_FALSE(fs::exists(refused));

    // A full window is not too many.
    Load(SaveSample("full.hvm", MaxSamples));
    EXPECT_EQ(window_.WindowLength, MaxSamples);
    EXPECT_NE(window_.OuterResponse[MaxSamples - 1], 42.0);
}

}  // namespace
