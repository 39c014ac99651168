// Numbers that are not finite never become a text or a file line: the checked
// formats, the Data page's statistics texts, the conditioning of extreme data
// and the .hvd writer and reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/MeasuredData.h"
#include "data/NumberText.h"
#include "data/SignalWindow.h"
#include "data/TObdelava.h"

#include "../data/NonFiniteChecks.h"

using namespace halvetra;
using namespace halvetra::testing_nonfinite;

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempDir {
public:
    TempDir() : path_(std::filesystem::temp_directory_path() / ("halvetra_nonfinite_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace

TEST(CheckedFormats, FiniteValuesKeepTheirTextsAndTheOthersRaiseTheirError) {
    for (const double x :
         {0.0, -0.0, 1.5, -123456.789, 1e-320, 1e308, -std::numeric_limits<double>::max(), 0.000099999999999}) {
        for (const char s : {'.', ','}) {
            EXPECT_EQ(FormatGeneralFinite(x, 10, s), FormatGeneral(x, 10, s)) << x;
            EXPECT_EQ(FormatGeneralFinite(x, 8, s, 2), FormatGeneral(x, 8, s, 2)) << x;
            EXPECT_EQ(FormatFixedFinite(x, 15, 3, s), FormatFixed(x, 15, 3, s)) << x;
        }
        EXPECT_EQ(NonFiniteFault(x), "");
        EXPECT_NO_THROW(RequireFinite(x));
    }
    const std::pair<double, const char*> faults[] = {{NaN, Invalid}, {Inf, Overflow}, {-Inf, Overflow}};
    for (const auto& [x, text] : faults) {
        EXPECT_EQ(NonFiniteFault(x), text);
        EXPECT_EQ(FaultOf([x = x] { FormatGeneralFinite(x, 10, '.'); }), text);
        EXPECT_EQ(FaultOf([x = x] { FormatFixedFinite(x, 15, 3, ','); }), text);
        EXPECT_EQ(FaultOf([x = x] { RequireFinite(x); }), text);
    }
}

TEST(CheckedFormats, WordsForValuesThatAreNotFinite) {
    for (const char* word : {"NAN", "nan", " NaN ", "-nan"}) EXPECT_EQ(NonFiniteTextFault(word), Invalid) << word;
    for (const char* word : {"INF", "-INF", "+inf", "Infinity", "-infinity", "  INF"})
        EXPECT_EQ(NonFiniteTextFault(word), Overflow) << word;
    for (const char* text : {"", "0", "1E+308", "-1.5", "Floating point overflow", "info", "nano", "Bad"})
        EXPECT_EQ(NonFiniteTextFault(text), "") << text;
}

// The statistics labels are recomputed at every slider move: a statistic
// that is not finite shows its error text instead of a message box.
TEST(SignalStatisticsTexts, ExtremeValuesShowTheErrorTextInsteadOfANumber) {
    const double big = std::numeric_limits<double>::max();
    struct Case {
        std::vector<double> values;
        std::string maximum, minimum, deviation;
    };
    const Case cases[] = {
        {{1.0, 2.0, 4.0}, "4", "1", "1.5275252"},
        {{1e308, -1e308, 1e308}, "1E+308", "-1E+308", Overflow},
        {{big, -big}, "1.7976931E+308", "-1.7976931E+308", Overflow},
        {{0.0, 1e-320}, "9.9998887E-321", "0", "0"},
        {{Inf, 0.0}, Overflow, "0", Invalid},
        {{NaN, 1.0}, Invalid, Invalid, Invalid},
    };
    for (const Case& c : cases) {
        const SignalStatistics s = ComputeSignalStatistics(c.values, 1, static_cast<int>(c.values.size()));
        const SignalStatisticsTexts t = FormatSignalStatistics(s, '.');
        EXPECT_EQ(t.Maximum, c.maximum);
        EXPECT_EQ(t.Minimum, c.minimum);
        EXPECT_EQ(t.StandardDeviation, c.deviation);
        for (const std::string& text : {t.Maximum, t.Minimum, t.StandardDeviation})
            EXPECT_FALSE(NamesNonFinite(text)) << text;
    }
    // Finite statistics keep the label format byte for byte.
    const SignalStatistics plain{12345.678901, -0.00012345, 0.5};
    const SignalStatisticsTexts t = FormatSignalStatistics(plain, ',');
    EXPECT_EQ(t.Maximum, FormatGeneral(12345.678901, 8, ',', 2));
    EXPECT_EQ(t.Minimum, "-0,00012345");
    EXPECT_EQ(t.StandardDeviation, "0,5");
}

// Conditioning with extreme settings over extreme data: every label text of
// the conditioned signals is a number or the error text.
TEST(SignalStatisticsTexts, ConditioningWithExtremeSettingsNeverGivesANonFiniteText) {
    struct Settings {
        double maximum, minimum, opening, filter, samplingTime;
    };
    const Settings settings[] = {
        {100.0, 0.0, 1.0, 0.0, 1.0},       {100.0, 0.0, 1e-320, 1e308, 1.0},  {1e308, -1e308, 1e-320, 0.0, 1.0},
        {1e308, -1e308, 0.0, 1e-320, 0.0}, {100.0, 0.0, 1e308, 1e308, 1e308}, {100.0, 0.0, 1.0, 5.0, 1e-320},
    };
    for (const double level : {1.0, 1e308}) {
        MeasuredData data;
        data.SampleCount = 40;
        for (int i = 0; i < 40; ++i) {
            const double v = (i / 5) % 2 == 0 ? level : -level;
            for (int c = 1; c <= 4; ++c) data.Column(c)[static_cast<std::size_t>(i)] = v * c / 4.0;
            data.SampleTimes[static_cast<std::size_t>(i)] = i;
        }
        for (const Settings& s : settings) {
            data.SamplingTime = s.samplingTime;
            TObdelava().ConditionSignals(data, 1, 2, 3, 4, s.maximum, s.minimum, s.opening, s.filter, s.samplingTime,
                                         40);
            for (const std::vector<double>* signal :
                 {&data.ConditionedMV, &data.ConditionedU, &data.ConditionedY, &data.ConditionedY2}) {
                const SignalStatisticsTexts t = FormatSignalStatistics(ComputeSignalStatistics(*signal, 1, 40), '.');
                for (const std::string& text : {t.Maximum, t.Minimum, t.StandardDeviation})
                    EXPECT_FALSE(NamesNonFinite(text)) << text << " level " << level << " filter " << s.filter;
            }
        }
    }
}

TEST(DataFileNonFinite, SavingAValueThatIsNotFiniteFailsBeforeTheFileIsTouched) {
    TempDir dir;
    MeasuredData data;
    data.SampleCount = 3;
    for (int i = 0; i < 3; ++i) {
        data.SampleTimes[static_cast<std::size_t>(i)] = i;
        data.Column(1)[static_cast<std::size_t>(i)] = 1e308;
    }
    const std::array<int, 6> columns{1, 1, 1, 1, 1, 1};
    const std::array<std::string, 6> descriptions{"a", "b", "c", "d", "e", "f"};
    const auto save = [&](const std::string& file, double samplingTime, double filter) {
        TObdelava().SaveDataFile(file, "1.1.2026", "10:00:00", samplingTime, 3, 1, 3, columns, filter, 100.0, 0.0, 1.0,
                                 descriptions, data, '.');
    };

    // 1e308 is a number like any other.
    const std::string existing = dir.File("kept.hvd");
    save(existing, 1.0, 0.0);
    const std::string before = ReadAll(existing);
    EXPECT_NE(before.find("1E+308"), std::string::npos);

    struct Case {
        const char* what;
        double samplingTime, filter, sample;
        const char* fault;
    };
    const Case cases[] = {
        {"sampling time", Inf, 0.0, 1.0, Overflow},
        {"filter time constant", 1.0, NaN, 1.0, Invalid},
        {"data value", 1.0, 0.0, -Inf, Overflow},
        {"data value", 1.0, 0.0, NaN, Invalid},
    };
    for (const Case& c : cases) {
        data.Column(1)[1] = c.sample;
        EXPECT_EQ(FaultOf([&] { save(existing, c.samplingTime, c.filter); }), c.fault) << c.what;
        EXPECT_EQ(ReadAll(existing), before) << c.what;
        const std::string fresh = dir.File("fresh.hvd");
        EXPECT_EQ(FaultOf([&] { save(fresh, c.samplingTime, c.filter); }), c.fault) << c.what;
        EXPECT_FALSE(std::filesystem::exists(fresh)) << c.what;
    }
}

// Fields beyond the largest double and the words for values that are not
// finite are not numbers: data fields read as 0 and are counted, a header
// number fails with the conversion error.
TEST(DataFileNonFinite, TextsThatOverflowOrNameInfinitiesAreNotNumbers) {
    TempDir dir;
    const auto write = [&](const std::string& samplingTime, const std::string& field) {
        const std::string file = dir.File("in.hvd");
        std::ofstream out(file, std::ios::binary);
        out << "HALVETRA Mesurements\r\nV1.0\r\n1.1.2026\r\n10:00:00\r\n"
            << samplingTime << "\r\n2\r\n1\r\n2\r\n0\r\n100\r\n0\r\n1\r\na\r\nb\r\nc\r\nd\r\ne\r\nf\r\n";
        out << "0\t" << field << "\t1\t1\t1\t1\t1\r\n1\t2\t2\t2\t2\t2\t2\r\n";
        return file;
    };
    for (const char* field : {"1e400", "-1e400", "1.8e308", "inf", "-INF", "nan", "Infinity"}) {
        MeasuredData data;
        const DataFileHeader header = TObdelava().LoadDataFile(write("1", field), data, '.');
        EXPECT_EQ(header.unreadableFields, 1) << field;
        EXPECT_EQ(data.Column(1)[0], 0.0) << field;
        EXPECT_EQ(data.Column(1)[1], 2.0) << field;
    }
    for (const char* samplingTime : {"1e400", "inf", "nan"}) {
        MeasuredData data;
        data.SamplingTime = 7.0;
        try {
            TObdelava().LoadDataFile(write(samplingTime, "1"), data, '.');
            ADD_FAILURE() << samplingTime;
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(samplingTime) + "' is not a valid floating point value");
        }
        EXPECT_EQ(data.SamplingTime, 7.0);
    }
}
