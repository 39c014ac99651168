// The Model page's commands without the page: identification of a window,
// "Use model" re-scoring, the sampling check and the chart's value range.
#include <gtest/gtest.h>

#include <cmath>

#include "data/Errors.h"
#include "model/ModelWorkflow.h"

#include "StepWindow.h"

using namespace halvetra;
using halvetra::testing_model::StepWindow;

namespace {

// n samples at 0.5 s: the manipulated signal and the process input step from
// 0 to 1 at sample 5; the outputs follow later.
MeasuredData stepData(int n) {
    MeasuredData data;
    data.SamplingTime = 0.5;
    data.SampleCount = n;
    for (int i = 1; i <= n; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        data.SampleTimes[k] = 0.5 * (i - 1);
        data.ConditionedMV[k] = i >= 5 ? 1.0 : 0.0;
        data.ConditionedU[k] = 10.0 + (i >= 5 ? 1.0 : 0.0);
        data.ConditionedY[k] = 20.0 + (i >= 7 ? 2.0 : 0.0);
        data.ConditionedY2[k] = 30.0 + (i >= 9 ? 3.0 : 0.0);
    }
    return data;
}

ModelParameters model(double deadTime, double timeConstant) {
    ModelParameters set;
    set.DeadTime = deadTime;
    set.TimeConstant = timeConstant;
    return set;
}

}  // namespace

TEST(CalculateModel, PreparesTheChosenWindowAndRefusesOneOutsideTheData) {
    const MeasuredData data = stepData(40);
    IdentificationWindow window;
    CalculateModel(data, window, 3, 22);
    EXPECT_EQ(window.WindowLength, 20);
    EXPECT_DOUBLE_EQ(window.WindowTime[19], 9.5);
    EXPECT_DOUBLE_EQ(window.WindowU[0], 0.0);  // deviations from the level before the step
    EXPECT_DOUBLE_EQ(window.WindowU[19], 1.0);
    EXPECT_DOUBLE_EQ(window.WindowY[19], 2.0);
    EXPECT_DOUBLE_EQ(window.WindowY2[19], 3.0);

    const IdentificationWindow before = window;
    const std::pair<int, int> outside[] = {{0, 10}, {-3, 10}, {11, 10}, {1, MaxSamples + 1}};
    for (const auto& [first, last] : outside) {
        SCOPED_TRACE(testing::Message() << first << " .. " << last);
        EXPECT_THROW(CalculateModel(data, window, first, last), ListIndexError);
        EXPECT_EQ(window.WindowLength, before.WindowLength);
        EXPECT_EQ(window.WindowU, before.WindowU);
    }
    // The last sample the arrays hold is still a valid end, and one sample a window.
    EXPECT_NO_THROW(CalculateModel(data, window, MaxSamples - 9, MaxSamples));
    EXPECT_NO_THROW(CalculateModel(data, window, 7, 7));
    EXPECT_EQ(window.WindowLength, 1);
}

TEST(StoreModelTexts, ABadTextKeepsTheFiguresConvertedBeforeIt) {
    ModelParameters set{1.0, 2.0, 3.0};
    try {
        StoreModelTexts(set, "7", "x", "9", '.');
        FAIL() << "no error";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
    }
    EXPECT_EQ(set, (ModelParameters{7.0, 2.0, 3.0}));
    EXPECT_THROW(StoreModelTexts(set, "1.5", "1", "1", ','), ConversionError);  // not the locale's separator
    EXPECT_EQ(set.Gain, 7.0);
}

TEST(UseModel, ScoresTheSetsResponseAgainstItsReference) {
    // Half the gain: the error is 1 on the 7 samples where the reference is 2.
    IdentificationWindow window = StepWindow(10);
    ModelParameters inner;
    inner.GainDeviation = 0.25;
    UseModel(inner, window, false, 1.0, 0.0, 0.0, 1.0);
    EXPECT_DOUBLE_EQ(window.InnerResponse[9], 1.0);
    EXPECT_NEAR(inner.Std, std::sqrt((7.0 - 10.0 * 0.49) / 9.0), 1e-12);          // sample deviation of the error
    EXPECT_NEAR(inner.RelativeError, std::sqrt(0.7 / (2.8 - 1.4 * 1.4)), 1e-12);  // RMS error / reference deviation
    EXPECT_EQ(inner.GainDeviation, 0.25);

    // The outer set is driven by the inner output: WindowY one sample late is its reference.
    const std::vector<double> innerResponse = window.InnerResponse;
    ModelParameters outer;
    UseModel(outer, window, true, 1.0, 0.0, 0.0, 1.0);
    EXPECT_EQ(window.InnerResponse, innerResponse);
    for (int i = 0; i < 10; ++i) EXPECT_DOUBLE_EQ(window.OuterResponse[i], window.OuterReference[i]) << i;
    EXPECT_EQ(outer.Std, 0.0);
    EXPECT_EQ(outer.RelativeError, 0.0);
}

TEST(UseModel, DegenerateWindows) {
    // A dead time of the whole window: zero throughout, nothing written beyond.
    IdentificationWindow window = StepWindow(10);
    window.InnerResponse.assign(window.InnerResponse.size(), 9.0);
    ModelParameters set;
    UseModel(set, window, false, 2.0, 3.0, 10.0, 1.0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(window.InnerResponse[i], 0.0) << i;
    EXPECT_EQ(window.InnerResponse[10], 9.0);

    // A constant reference, and an empty window before any identification, rate 1.
    std::fill(window.InnerReference.begin(), window.InnerReference.end(), 1.5);
    UseModel(set, window, false, 2.0, 0.0, 0.0, 1.0);
    EXPECT_EQ(set.RelativeError, 1.0);
    IdentificationWindow empty;
    UseModel(set, empty, false, 1.0, 1.0, 1.0, 0.0);
    EXPECT_EQ(set.Std, 0.0);
    EXPECT_EQ(set.RelativeError, 1.0);

    // A window longer than the arrays is refused before the set changes.
    empty.WindowLength = MaxSamples + 1;
    EXPECT_THROW(UseModel(set, empty, false, 3.0, 1.0, 0.0, 1.0), ListIndexError);
    EXPECT_EQ(set.Gain, 1.0);
}

TEST(SamplingTooSparse, ComparesThreeSamplesWithTheRoundedSpanOfEitherModel) {
    const ModelParameters slow = model(10.0, 30.0);
    EXPECT_TRUE(SamplingTooSparse(model(1.2, 1.7), slow, 1.0));             // round(2.9) = 3 <= 3
    EXPECT_TRUE(SamplingTooSparse(model(1.2, 1.8), slow, 1.0));             // round(3.0) = 3
    EXPECT_FALSE(SamplingTooSparse(model(2.0, 2.0), slow, 1.0));            // round(4) = 4
    EXPECT_TRUE(SamplingTooSparse(model(2.0, 2.0), model(1.0, 1.0), 1.0));  // the outer model warns
    EXPECT_TRUE(SamplingTooSparse(model(1.0, 1.5), slow, 0.7));             // halves to even: 2.5 -> 2 <= 2.1
    EXPECT_FALSE(SamplingTooSparse(model(1.0, 2.5), slow, 0.7));            // 3.5 -> 4
    EXPECT_FALSE(SamplingTooSparse(model(std::nan(""), 1.0), slow, 1.0));
    EXPECT_TRUE(SamplingTooSparse(ModelParameters{}, ModelParameters{}, 0.0));  // nothing identified yet
}

TEST(ModelChartRange, SpansBothCurvesWithATenthBeyondEachEnd) {
    const std::vector<double> reference = {0.0, 1.0, 4.0, 3.0, 100.0};
    const std::vector<double> response = {-1.0, 2.0, 5.0, 2.0, -100.0};
    const AxisRange range = ModelChartRange(reference, response, 4);  // sample 5 is outside
    EXPECT_DOUBLE_EQ(range.Lower, -1.6);
    EXPECT_DOUBLE_EQ(range.Upper, 5.6);

    const std::vector<double> flat = {2.0, 2.0, 2.0};
    EXPECT_DOUBLE_EQ(ModelChartRange(flat, flat, 3).Upper, 2.1);  // a flat window spans 1
    for (int n : {0, 1}) {                                        // fewer than two samples: 0 .. 0
        EXPECT_DOUBLE_EQ(ModelChartRange(reference, response, n).Lower, -0.1) << n;
        EXPECT_DOUBLE_EQ(ModelChartRange(reference, response, n).Upper, 0.1) << n;
    }
    EXPECT_THROW(ModelChartRange(flat, flat, 4), ListIndexError);
}
