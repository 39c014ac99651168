// The controller's texts and file on extreme numbers: tuning labels, the box
// of scaled parameters, the non-linear element's gain and the controller
// file either show finite numbers or end with the floating-point error before
// anything is written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "controller/ControllerCalculation.h"
#include "controller/ControllerForms.h"
#include "controller/TRegulator.h"
#include "data/Errors.h"

#include "../data/NonFiniteChecks.h"

using namespace halvetra;
using namespace halvetra::testing_nonfinite;

namespace {

ModelParameters Model(double k, double t, double l) {
    ModelParameters m;
    m.Gain = k;
    m.TimeConstant = t;
    m.DeadTime = l;
    return m;
}

using T = ParametersText;
constexpr T AllTexts[] = {T::NLCaption, T::NLValue, T::NameKp, T::NameKi, T::NameKd, T::EditKp, T::EditKi, T::EditKd};

std::string Dump(const ParametersBoxState& box) {
    std::string s;
    for (const T c : AllTexts) s += box.Text(c) + "|";
    for (const ControllerTerm t : {ControllerTerm::P, ControllerTerm::I, ControllerTerm::D})
        s += box.EditVisible(t) ? '1' : '0';
    return s;
}

}  // namespace

// Every tuning method on extreme models: the labels are numbers, or forming
// them fails with the floating-point error (the optimal rule: or with its
// message that no controller meets the target).
TEST(ControllerNonFinite, TuningLabelsOfExtremeModelsAreNumbersOrTheError) {
    const ModelParameters models[] = {
        Model(1.0, 10.0, 2.0),     Model(1e-320, 10.0, 2.0),    Model(1e308, 10.0, 2.0),      Model(1.0, 1e308, 1e-320),
        Model(1.0, 1e-320, 1e308), Model(-1e308, 1e308, 1e308), Model(1e-300, 1e-300, 1e-300)};
    int failures = 0;
    for (const bool cascade : {false, true}) {
        for (int method : {0, 1, 2, 3, 4, 5, 6, int{OptimalMs}}) {
            // The optimal rule searches, so its single loop, where the outer
            // model plays no part, runs once per inner model.
            const bool once = method == OptimalMs && !cascade;
            const std::vector<ModelParameters> outers =
                once ? std::vector{models[0]} : std::vector{models[0], models[1], models[2]};
            for (const ModelParameters& inner : models) {
                for (const ModelParameters& outer : outers) {
                    ControllerTuning tuning;
                    try {
                        tuning = TuneController(method, 10, cascade, inner, outer, 1.0);
                    } catch (const FloatingPointError&) {
                        ++failures;
                        continue;
                    } catch (const HalvetraError&) {
                        EXPECT_EQ(method, OptimalMs);  // no controller meets its target
                        ++failures;
                        continue;
                    }
                    ControllerLabels labels;
                    const std::string fault = FaultOf([&] { labels = FormatControllerLabels(tuning, '.'); });
                    if (!fault.empty()) {
                        EXPECT_TRUE(fault == Overflow || fault == Invalid) << fault;
                        ++failures;
                        continue;
                    }
                    for (const std::string* text :
                         {&labels.Label_Ki, &labels.Label_Kp_P, &labels.Label_PI_Kp, &labels.Label_PI_Ti,
                          &labels.Label_PID_Kp, &labels.Label_PID_Ti, &labels.Label_PID_Td, &labels.Label_Kp_Cascade,
                          &labels.Label_Priporocljiv})
                        EXPECT_FALSE(NamesNonFinite(*text)) << *text << " method " << method;
                }
            }
        }
    }
    EXPECT_GT(failures, 0);  // the extremes do reach the guard

    ControllerTuning overflowing;
    overflowing.Factor = 1.0;
    overflowing.Result.KpPID = Inf;
    EXPECT_EQ(FaultOf([&] { FormatControllerLabels(overflowing, '.'); }), Overflow);
    overflowing.Result.KpPID = 1.0;
    overflowing.RecommendedSamplingTime = NaN;
    EXPECT_EQ(FaultOf([&] { FormatControllerLabels(overflowing, '.'); }), Invalid);
}

// An extreme scaling factor or gains whose products overflow: the box shows
// finite numbers or is left entirely as it was.
TEST(ControllerNonFinite, ExtremeScalingLeavesTheBoxWholeOrUnchanged) {
    const TuningResult gains{0.5, 2.0, 1.5, 0.25, 3.0, 0.5, 1e-3};
    struct Case {
        const char* scale;
        double gainFactor;  // all gains times this
        const char* fault;
    };
    const Case cases[] = {
        {"1", 1.0, ""},
        {"1e-320", 1.0, ""},
        {"1e308", 1.0, Overflow},
        {"-1.5e308", 1.0, Overflow},
        {"1e300", 1e10, Overflow},
        {"1", 1e308, Overflow},
    };
    for (const Case& c : cases) {
        TuningResult G = gains;
        for (double* g : {&G.KiI, &G.KpP, &G.KpPI, &G.KiPI, &G.KpPID, &G.KiPID, &G.KdPID}) *g *= c.gainFactor;
        for (int form = 0; form < 4; ++form) {
            for (int type = 0; type < 4; ++type) {
                for (const bool cascade : {false, true}) {
                    ParametersBoxState box;
                    for (const T t : AllTexts) box.SetText(t, "old");
                    const std::string before = Dump(box);
                    const std::string fault = FaultOf([&] {
                        ShowControllerParameters(form, type, cascade, G, 2.0, 1.0,
                                                 ScaleTexts(c.scale, c.scale, c.scale, '.'), '.', box);
                    });
                    for (const T t : AllTexts) EXPECT_FALSE(NamesNonFinite(box.Text(t))) << box.Text(t);
                    if (fault.empty()) {
                        EXPECT_NE(box.Text(T::NameKp), "old");
                    } else {
                        EXPECT_EQ(fault, c.fault) << c.scale << " form " << form << " type " << type;
                        EXPECT_EQ(Dump(box), before) << c.scale << " form " << form << " type " << type;
                    }
                    if (std::string(c.fault).empty()) {
                        EXPECT_EQ(fault, "");
                    }
                }
            }
        }
    }
    // A non-linear element's gain that is not finite is never shown.
    for (const double q : {Inf, NaN}) {
        ParametersBoxState box;
        EXPECT_EQ(FaultOf([&] {
                      ShowControllerParameters(0, 2, true, gains, 1.0, q, ScaleTexts("1", "1", "1", '.'), '.', box);
                  }),
                  std::isnan(q) ? Invalid : Overflow);
        EXPECT_EQ(box.Text(T::NLCaption), "");
    }
}

TEST(ControllerNonFinite, TheGainOfANonLinearityWhoseSlopeOverflowsIsTheError) {
    const std::vector<NLPointText> steep = {{"0", "-1e308"}, {"1", "1e308"}, {"2", "1e308"}};
    EXPECT_EQ(FaultOf([&] { MaxGainOfNL(steep, -1e308, 1e308, '.'); }), Overflow);
    const std::vector<NLPointText> tinyStep = {{"0", "0"}, {"1e-320", "1e10"}, {"1", "2e10"}};
    EXPECT_EQ(FaultOf([&] { MaxGainOfNL(tinyStep, 0.0, 2e10, '.'); }), Overflow);
    // Wide but finite slopes still give their gain.
    const std::vector<NLPointText> wide = {{"-1e300", "-1e300"}, {"1e300", "1e300"}};
    EXPECT_EQ(MaxGainOfNL(wide, -1e300, 1e300, '.'), 1.0);
}

TEST(ControllerNonFinite, TheControllerFileRefusesModelsThatAreNotFinite) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("halvetra_controller_nonfinite_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "kept.hvc").string();
    const auto read = [&file] {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    ModelParameters inner = Model(1e308, 10.0, 2.0);
    const ModelParameters outer = Model(1.0, 5.0, 1.0);
    TRegulator::SaveControllerFile(file, inner, outer, ControllerSettings{}, '.');
    const std::string before = read();
    EXPECT_NE(before.find("1E+308"), std::string::npos);

    for (const double bad : {NaN, Inf, -Inf}) {
        inner.RelativeError = bad;
        EXPECT_EQ(FaultOf([&] { TRegulator::SaveControllerFile(file, inner, outer, ControllerSettings{}, ','); }),
                  std::isnan(bad) ? Invalid : Overflow);
        EXPECT_EQ(read(), before);
    }

    // A stored figure beyond the largest double is not a number.
    std::string damaged = before;
    damaged.replace(damaged.find("1E+308"), 6, "1E+400");
    {
        std::ofstream out(file, std::ios::binary);
        out << damaged;
    }
    ModelParameters loadedInner = Model(7.0, 7.0, 7.0);
    ModelParameters loadedOuter = loadedInner;
    EXPECT_THROW(TRegulator::LoadControllerFile(file, loadedInner, loadedOuter, '.'), ConversionError);
    EXPECT_EQ(loadedInner.Gain, 7.0);
    std::filesystem::remove_all(dir);
}
