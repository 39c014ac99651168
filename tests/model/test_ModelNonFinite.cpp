// Identification, "Use model" and the model file on extreme numbers: a result
// that is not finite ends the command with the floating-point error and
// changes nothing; no model figure or file line is ever NaN or infinite.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>

#include "data/Errors.h"
#include "model/ModelWorkflow.h"
#include "model/TModel.h"

#include "../data/NonFiniteChecks.h"
#include "StepWindow.h"

using namespace halvetra;
using namespace halvetra::testing_nonfinite;
using halvetra::testing_model::StepWindow;

namespace {

bool IsFinite(const ModelParameters& m) {
    for (double x :
         {m.Gain, m.TimeConstant, m.DeadTime, m.Std, m.RelativeError, m.GainDeviation, m.TimeConstantDeviation})
        if (!std::isfinite(x)) return false;
    return true;
}

bool SameWindow(const IdentificationWindow& a, const IdentificationWindow& b) {
    return a.WindowLength == b.WindowLength && a.WindowTime == b.WindowTime && a.WindowU == b.WindowU &&
           a.WindowY == b.WindowY && a.WindowY2 == b.WindowY2 && a.InnerReference == b.InnerReference &&
           a.OuterReference == b.OuterReference && a.InnerResponse == b.InnerResponse &&
           a.OuterResponse == b.OuterResponse;
}

// n samples at sampling time ts; MV and U step at sample 5 from 0 to `step`,
// the outputs follow with the given gains.
MeasuredData StepData(int n, double ts, double step, double y = 2.0, double y2 = 3.0) {
    MeasuredData data;
    data.SamplingTime = ts;
    data.SampleCount = n;
    for (int i = 1; i <= n; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        const double u = i >= 5 ? step : 0.0;
        data.SampleTimes[k] = ts * (i - 1);
        data.ConditionedMV[k] = u;
        data.ConditionedU[k] = u;
        data.ConditionedY[k] = i >= 7 ? y * u : 0.0;
        data.ConditionedY2[k] = i >= 9 ? y2 * u : 0.0;
    }
    return data;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

// Extreme data either identifies to finite models or fails with the
// floating-point error, leaving the window as it was.
TEST(ModelNonFinite, IdentificationOnExtremeDataIsFiniteOrFailsWithoutChanges) {
    struct Case {
        const char* what;
        MeasuredData data;
        bool fails;
    };
    const double big = std::numeric_limits<double>::max();
    MeasuredData swing = StepData(40, 1.0, 1e308);
    for (int i = 0; i < 4; ++i) swing.ConditionedU[static_cast<std::size_t>(i)] = -1e308;
    const Case cases[] = {
        {"ordinary step", StepData(40, 1.0, 1.0), false},
        {"tiny step", StepData(40, 1.0, 1e-300), false},
        {"step from -1e308 to 1e308", swing, true},
        {"outputs at the largest double", StepData(40, 1.0, 1.0, big, big), true},
        {"huge sampling time", StepData(40, 1e308, 1.0), true},
        {"subnormal sampling time", StepData(40, 1e-320, 1.0), true},
    };
    for (const Case& c : cases) {
        IdentificationWindow window = StepWindow(12);
        const IdentificationWindow before = window;
        TModel identified;
        const std::string fault = FaultOf([&] { identified = CalculateModel(c.data, window, 1, 40); });
        if (fault.empty()) {
            EXPECT_FALSE(c.fails) << c.what;
            EXPECT_TRUE(IsFinite(identified.Inner)) << c.what;
            EXPECT_TRUE(IsFinite(identified.Outer)) << c.what;
            EXPECT_EQ(window.WindowLength, 40) << c.what;
        } else {
            EXPECT_TRUE(c.fails) << c.what << ": " << fault;
            EXPECT_TRUE(fault == "Floating point overflow" || fault == "Invalid floating point operation") << fault;
            EXPECT_TRUE(SameWindow(window, before)) << c.what;
        }
    }
}

// "Use model" with typed extremes: finite scores, or the error with the set
// and the window unchanged.
TEST(ModelNonFinite, UseModelWithExtremeFiguresIsFiniteOrChangesNothing) {
    struct Case {
        double gain, timeConstant, deadTime, samplingTime;
        const char* fault;  // "" when the model is scored
    };
    const Case cases[] = {
        {2.0, 0.0, 1.0, 1.0, ""},
        {1e308, 0.0, 0.0, 1.0, "Floating point overflow"},
        {-1e308, 5.0, 0.0, 1.0, "Floating point overflow"},
        {1e-320, 1e308, 1e308, 1.0, ""},
        {2.0, 1e-320, 0.0, 1e308, ""},
        {1e200, 1.0, 0.0, 1.0, "Floating point overflow"},
    };
    for (const bool outer : {false, true}) {
        for (const Case& c : cases) {
            IdentificationWindow window = StepWindow(12);
            ModelParameters set{0.5, 1.0, 2.0, 0.25, 0.125, 0.1, 0.2};
            const ModelParameters setBefore = set;
            const IdentificationWindow windowBefore = window;
            const std::string fault =
                FaultOf([&] { UseModel(set, window, outer, c.gain, c.timeConstant, c.deadTime, c.samplingTime); });
            EXPECT_EQ(fault, c.fault) << c.gain;
            if (fault.empty()) {
                EXPECT_EQ(set.Gain, c.gain);
                EXPECT_TRUE(IsFinite(set)) << c.gain;
            } else {
                EXPECT_EQ(set, setBefore) << c.gain;
                EXPECT_TRUE(SameWindow(window, windowBefore)) << c.gain;
            }
        }
    }
    // A reference near the largest double (a loaded model file) cannot be scored.
    IdentificationWindow window = StepWindow(12);
    window.InnerReference[4] = 1e308;
    window.InnerReference[5] = -1e308;
    ModelParameters set;
    EXPECT_EQ(FaultOf([&] { UseModel(set, window, false, 2.0, 0.0, 1.0, 1.0); }), "Floating point overflow");
    EXPECT_EQ(set, ModelParameters{});
}

TEST(ModelNonFinite, TheModelFileRefusesValuesThatAreNotFinite) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("halvetra_model_nonfinite_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "kept.hvm").string();

    IdentificationWindow window = StepWindow(6);
    ModelParameters inner{1e308, 10.0, 2.0, 0.5, 0.1, 0.2, 0.3};
    const ModelParameters outer{2.0, 5.0, 1.0, 0.5, 0.1, 0.2, 0.3};
    TModel().SaveModelFile(file, 6, TModel::SetOf(inner, 1.0), TModel::SetOf(outer, 1.0), window, '.');
    const std::string before = ReadAll(file);
    EXPECT_NE(before.find("1E+308"), std::string::npos);

    struct Case {
        const char* what;
        double figure, sample, samplingTime;
        const char* fault;
    };
    const Case cases[] = {
        {"gain", NaN, 0.0, 1.0, "Invalid floating point operation"},
        {"window value", 1.0, -Inf, 1.0, "Floating point overflow"},
        {"sampling time", 1.0, 0.0, Inf, "Floating point overflow"},
    };
    for (const Case& c : cases) {
        inner.Gain = c.figure;
        window.InnerResponse[5] = c.sample;
        EXPECT_EQ(FaultOf([&] {
                      TModel().SaveModelFile(file, 6, TModel::SetOf(inner, c.samplingTime), TModel::SetOf(outer, 1.0),
                                             window, ',');
                  }),
                  c.fault)
            << c.what;
        EXPECT_EQ(ReadAll(file), before) << c.what;
    }
    // Only rows within the count are written: a value beyond it does not matter.
    inner.Gain = 1.0;
    window.InnerResponse[5] = 0.0;
    window.InnerResponse[6] = NaN;
    EXPECT_NO_THROW(TModel().SaveModelFile(file, 6, TModel::SetOf(inner, 1.0), TModel::SetOf(outer, 1.0), window, '.'));

    // Row fields that overflow or name infinities read as 0.
    for (const char* field : {"1e400", "-1e999", "inf", "NAN", "Infinity"}) {
        EXPECT_EQ(ParseDecimalField(field), 0.0) << field;
        IdentificationWindow row;
        TModel::ParseModelRow(std::string("1\t") + field + "\t2\t3\t4\t5\t6", 1, row);
        EXPECT_EQ(row.WindowU[0], 0.0) << field;
        EXPECT_EQ(row.OuterResponse[0], 6.0) << field;
    }
    std::filesystem::remove_all(dir);
}
