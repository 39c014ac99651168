// The box of scaled parameters for every form and controller type, the serial
// conversion, the non-linear element's gain, and what a scaling factor that is
// not a number leaves behind.
#include "controller/ControllerForms.h"
#include "data/Errors.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace halvetra;

namespace {

using T = ParametersText;
using Term = ControllerTerm;
constexpr T AllTexts[] = {T::NLCaption, T::NLValue, T::NameKp, T::NameKi, T::NameKd, T::EditKp, T::EditKi, T::EditKd};

// The box as "NL caption|NL value|3 names|3 edits|visibility of the edits";
// every text starts as "old".
struct Box : ParametersBoxState {
    Box() {
        for (const T c : AllTexts) SetText(c, "old");
    }
    std::string Dump() const {
        std::string s;
        for (const T c : AllTexts) s += Text(c) + "|";
        for (const Term t : {Term::P, Term::I, Term::D}) s += EditVisible(t) ? '1' : '0';
        return s;
    }
};

// Answers fixed factors and records which were asked for, as "PID".
struct Scales {
    double s[3] = {1.0, 1.0, 1.0};
    std::string asked;
    ScaleReader Reader() {
        return [this](Term t) {
            asked += "PID"[static_cast<int>(t)];
            return s[static_cast<int>(t)];
        };
    }
};

std::string Show(int form, int type, const TuningResult& G, double f = 1.0, bool cascade = false, double q = 1.0,
                 char sep = '.') {
    Box box;
    Scales scales;
    ShowControllerParameters(form, type, cascade, G, f, q, scales.Reader(), sep, box);
    return box.Dump();
}

// A decimal point between digits becomes a comma.
std::string WithComma(std::string s) {
    for (std::size_t i = 1; i + 1 < s.size(); ++i)
        if (s[i] == '.' && std::isdigit(static_cast<unsigned char>(s[i - 1]))) s[i] = ',';
    return s;
}

TuningResult PID(double Kp, double Ki, double Kd) { return {0, 0, 0, 0, Kp, Ki, Kd}; }
// Chien-Hrones-Reswick tracking for K = 2, T = 10, L = 1.
const TuningResult Chr = {1.75 / 12, 1.75, 1.75, 1.75 / 12, 3.0, 0.3, 1.5};

TEST(ControllerForms, FormsAndTypes) {
    const std::string PI = "||Kp:|Ti:||1.750|12.000000||110";
    const struct {
        int form, type;
        TuningResult G;
        double f = 1.0;
        bool cascade = false;
        double q = 1.0;
        std::string expected;
    } cases[] = {
        {1, 2, Chr, 1, false, 1, PI},
        {2, 2, Chr, 1, false, 1, "||Kp:|1/Ti:||1.750|0.083333||110"},
        {0, 2, Chr, 1, false, 1, "||Kp:|Ki:||1.750|0.145833||110"},
        {3, 2, Chr, 1, false, 1, PI},
        {-1, 3, Chr, 1, false, 1, "||Kp:|Ki:|Kd:|3.000|0.300000|1.500|111"},
        {2, 3, Chr, 0.5, false, 1, "||Kp:|1/Ti:|Td:|1.500|0.100000|0.500|111"},
        // Serial: Ti = 4 Td gives Kp/2, Ti/2, Ti/2 (f enters Kp only); Ti = 10, Td = 0.5 gives w = 0.8.
        {3, 3, PID(3, 0.375, 6), 2, false, 1, "||Kp:|Ti:|Td:|3.000|4.000000|4.000|111"},
        {3, 3, Chr, 1, false, 1, "||Kp:|Ti:|Td:|2.842|9.472136|0.528|111"},
        {3, 3, PID(3, 0.375, 6.3), 1, false, 1, "||Kp:|Ti:|Td:|0.000|0.000000|0.000|111"},
        {3, 3, PID(2, 0, 1), 1, false, 1, "||Kp:|Ti:|Td:|3.236|0.000000|0.000|111"},
        // Cascade: the outer gains divided by q, the times unchanged.
        {0, 3, Chr, 1, true, 2, "Maks. gain of NL:|2.0000|Kp:|Ki:|Kd:|1.500|0.150000|0.750|111"},
        {1, 3, Chr, 1, true, 2, "Maks. gain of NL:|2.0000|Kp:|Ti:|Td:|1.500|10.000000|0.500|111"},
        {0, 0, Chr, 1, true, 2, "Maks. gain of NL:|2.0000|Kp:|||0.875|||100"},
        {3, 1, Chr, 1, true, 2, "Maks. gain of NL:|2.0000||Ki:|||0.072917||010"},
        {0, 2, Chr, 1, true, 1, "Maks. gain of NL:|1.0000|Kp:|Ki:||1.750|0.145833||110"},
        // A single loop takes no correction; out-of-range form and type.
        {0, 2, Chr, 1, false, 0, "||Kp:|Ki:||1.750|0.145833||110"},
        {4, 3, Chr, 1, true, 2, "old|old|old|old|old|old|old|old|111"},
        {0, 4, Chr, 1, true, 2, "Maks. gain of NL:|2.0000|old|old|old|old|old|old|111"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Show(c.form, c.type, c.G, c.f, c.cascade, c.q), c.expected) << c.form << " " << c.type;
        EXPECT_EQ(Show(c.form, c.type, c.G, c.f, c.cascade, c.q, ','), WithComma(c.expected));
    }
    // P and I look the same in every form.
    for (int form = 0; form <= 3; ++form) {
        EXPECT_EQ(Show(form, 0, Chr, 2), "||Kp:|||3.500|||100");
        EXPECT_EQ(Show(form, 1, Chr, 2), "|||Ki:|||0.291667||010");
    }
}

TEST(ControllerForms, ScalingFactors) {
    // Only the factors of the shown values are read, in the order P, I, D.
    const char* asked[] = {"P", "I", "PI", "PID"};
    for (int form = -1; form <= 4; ++form)
        for (int type = 0; type <= 3; ++type) {
            Box box;
            Scales scales;
            ShowControllerParameters(form, type, false, Chr, 1, 1, scales.Reader(), '.', box);
            EXPECT_EQ(scales.asked, form > 3 ? "" : asked[type]) << form << " " << type;
        }

    // Each factor scales its own row, in gains and in times.
    Box box;
    Scales scales;
    scales.s[0] = 2, scales.s[1] = 3, scales.s[2] = 4;
    ShowControllerParameters(0, 3, false, Chr, 0.5, 1, scales.Reader(), '.', box);
    EXPECT_EQ(box.Dump(), "||Kp:|Ki:|Kd:|3.000|0.450000|3.000|111");
    ShowControllerParameters(1, 3, false, Chr, 0.5, 1, scales.Reader(), '.', box);
    EXPECT_EQ(box.Dump(), "||Kp:|Ti:|Td:|3.000|30.000000|2.000|111");

    // A factor that is not a number stops the writing at its value.
    for (const char sep : {'.', ','}) {
        Box failed;
        try {
            ShowControllerParameters(0, 3, true, Chr, 1, 1, ScaleTexts("2", "x", "1", sep), sep, failed);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), "'x' is not a valid floating point value");
        }
        const std::string expected = "Maks. gain of NL:|1.0000|Kp:|Ki:|Kd:|6.000|old|old|111";
        EXPECT_EQ(failed.Dump(), sep == '.' ? expected : WithComma(expected));
    }
    EXPECT_EQ(ScaleTexts("1,5", "2", "1", ',')(Term::P), 1.5);
}

TEST(ControllerForms, ZeroGainOfTheNonLinearElementShowsNothing) {
    Box box;
    Scales scales;
    try {
        ShowControllerParameters(0, 3, true, Chr, 1, 0, scales.Reader(), '.', box);
        ADD_FAILURE() << "no error";
    } catch (const FloatingPointError& e) {
        EXPECT_EQ(std::string(e.what()), "Floating point division by zero");
    }
    EXPECT_EQ(box.Dump(), Box().Dump());
    EXPECT_EQ(scales.asked, "");
}

TEST(ControllerForms, MaxGainOfNL) {
    using Rows = std::vector<NLPointText>;
    // Slopes 0.5, 2, 1, the middle segment inside the range.
    EXPECT_EQ(MaxGainOfNL(Rows{{"0", "0"}, {"2", "1"}, {"3", "3"}, {"4", "4"}}, 1.5, 2.5, '.'), 2.0);

    // Slopes 3, 0.5, 1 at outputs 0, 3, 4, 5: from the segment ending at the
    // first point reaching yMin to the one ending at the first reaching yMax.
    const Rows table = {{"0", "0"}, {"1", "3"}, {"3", "4"}, {"4", "5"}};
    EXPECT_EQ(MaxGainOfNL(table, 0.0, 2.0, '.'), 3.0);  // segments 0 .. 1
    EXPECT_EQ(MaxGainOfNL(table, 3.5, 4.5, '.'), 1.0);  // segments 1 .. 3
    EXPECT_EQ(MaxGainOfNL(table, 3.5, 2.0, '.'), 0.5);  // segment 1 only
    EXPECT_EQ(MaxGainOfNL(table, 9.0, 9.0, '.'), 1.0);  // none reached: segments 1 .. 3

    EXPECT_EQ(MaxGainOfNL(Rows{{"0,5", "0"}, {"0,5", "1"}, {"1", "2"}}, -1, 10, ','), 1000.0);  // vertical
    EXPECT_EQ(MaxGainOfNL(Rows{{"0", "5"}, {"10", "5"}}, 0, 10, '.'), 0.0);
    // Fewer than two points; reading stops at an empty Input cell and after ten rows.
    EXPECT_EQ(MaxGainOfNL(Rows{}, 0, 1, '.'), 1.0);
    EXPECT_EQ(MaxGainOfNL(Rows{{"0", "0"}, {"", "7"}, {"1", "100"}}, -1, 1, '.'), 1.0);
    EXPECT_EQ(MaxGainOfNL(Rows{{"0", "0"}, {"1", "2"}, {"", "x"}, {"2", "100"}}, -1, 200, '.'), 2.0);
    Rows twelve;
    for (int k = 0; k < 12; ++k) twelve.push_back({std::to_string(k), std::to_string(k < 10 ? k : 100 * k)});
    EXPECT_EQ(MaxGainOfNL(twelve, -1, 2000, '.'), 1.0);

    try {
        MaxGainOfNL(Rows{{"0", "0"}, {"1.5", "1"}}, 0, 1, ',');
        ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()), "'1.5' is not a valid floating point value");
    }
}

}  // namespace
