// Conditioning of the selected columns, the window sliders' mutual limits and
// the figures shown beside each chart.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/MeasuredData.h"
#include "data/SignalWindow.h"
#include "data/TObdelava.h"

using namespace halvetra;

namespace {

// N samples with column c holding f(c, i) for sample i (counted from 1).
MeasuredData Filled(int n, double (*f)(int, int)) {
    MeasuredData data;
    data.SampleCount = n;
    data.ColumnCount = 6;
    data.SamplingTime = 1.0;
    for (int c = 1; c <= 6; ++c)
        for (int i = 1; i <= n; ++i) data.Column(c)[static_cast<std::size_t>(i - 1)] = f(c, i);
    return data;
}

double Wavy(int c, int i) { return 10.0 * c + std::sin(0.3 * i + c); }

}  // namespace

TEST(ConditionSignals, WithoutFilterOrConstraintsEverySignalLagsOneSample) {
    MeasuredData data = Filled(50, Wavy);
    TObdelava().ConditionSignals(data, 1, 3, 5, 6, 1000.0, -1000.0, 0.0, 0.0, 1.0, 50);
    const std::pair<const std::vector<double>*, int> pairs[] = {
        {&data.ConditionedMV, 1}, {&data.ConditionedU, 3}, {&data.ConditionedY, 5}, {&data.ConditionedY2, 6}};
    for (const auto& [conditioned, column] : pairs) {
        const auto& raw = data.Column(column);
        EXPECT_EQ((*conditioned)[0], raw[0]) << column;
        for (int i = 1; i < 50; ++i) EXPECT_EQ((*conditioned)[i], raw[i - 1]) << column << ' ' << i;
        EXPECT_EQ((*conditioned)[50], 0.0);  // nothing past the samples
    }
}

TEST(ConditionSignals, TheActuatorActsOnTheProcessInputOnly) {
    MeasuredData data = Filled(30, [](int c, int i) { return c == 3 ? (i >= 5 ? 100.0 : 0.0) : 150.0; });
    // Range 0 .. 100, full stroke in 10 s, Ts = 1 s: 10 per sample.
    TObdelava().ConditionSignals(data, 1, 3, 5, 6, 100.0, 0.0, 10.0, 0.0, 1.0, 30);
    // The constrained input rises from sample 5 on; the conditioned one a sample later.
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(data.ConditionedU[i - 1], 0.0) << i;
    for (int i = 6; i <= 15; ++i) EXPECT_DOUBLE_EQ(data.ConditionedU[i - 1], 10.0 * (i - 5)) << i;
    EXPECT_EQ(data.ConditionedU[29], 100.0);
    // Values above the maximum are clamped on the input, never on the outputs or MV.
    EXPECT_EQ(data.ConditionedY[10], 150.0);
    EXPECT_EQ(data.ConditionedY2[10], 150.0);
    EXPECT_EQ(data.ConditionedMV[10], 150.0);
}

TEST(ConditionSignals, TheFilterIsFirstOrderWithTheOneSampleLag) {
    MeasuredData data = Filled(200, [](int c, int i) { return i > 20 ? 1.0 * c : 0.0; });
    const double tf = 5.0, ts = 0.5;
    TObdelava().ConditionSignals(data, 1, 3, 5, 6, 100.0, 0.0, 0.0, tf, ts, 200);
    const double alpha = std::exp(-ts / tf);
    double y = 0.0;
    for (int i = 2; i <= 200; ++i) {
        y = alpha * y + (1.0 - alpha) * data.Column(5)[static_cast<std::size_t>(i - 2)];
        EXPECT_NEAR(data.ConditionedY[static_cast<std::size_t>(i - 1)], y, 1e-12) << i;
    }
    // The manipulated signal stays unfiltered.
    EXPECT_EQ(data.ConditionedMV[21], 1.0);
}

TEST(ConditionSignals, OneColumnChangesOnlyItsOwnSignal) {
    MeasuredData data = Filled(40, Wavy);
    const TObdelava obdelava;
    obdelava.ConditionSignals(data, 1, 3, 5, 6, 100.0, 0.0, 0.0, 0.0, 1.0, 40);
    const MeasuredData before = data;
    obdelava.ConditionY(data, 2, 3.0, 1.0, 40);
    EXPECT_EQ(data.ConditionedMV, before.ConditionedMV);
    EXPECT_EQ(data.ConditionedU, before.ConditionedU);
    EXPECT_EQ(data.ConditionedY2, before.ConditionedY2);
    EXPECT_NE(data.ConditionedY, before.ConditionedY);
    EXPECT_EQ(data.ConditionedY[0], data.Column(2)[0]);
}

TEST(ConditionSignals, BadColumnsAndCountsAreRefusedBeforeAnythingChanges) {
    MeasuredData data = Filled(10, Wavy);
    const MeasuredData before = data;
    EXPECT_THROW(TObdelava().ConditionSignals(data, 1, 3, 5, 41, 100, 0, 1, 0, 1, 10), std::exception);
    EXPECT_THROW(TObdelava().ConditionY(data, 5, 0, 1, MaxSamples + 1), std::exception);
    EXPECT_EQ(data.ConditionedY2, before.ConditionedY2);
    EXPECT_EQ(data.ConditionedY, before.ConditionedY);
}

TEST(WindowSliders, MovingTheStartKeepsTenSamplesForTheEnd) {
    WindowSliders s{{1, 490, 200}, {10, 500, 500}};
    StartSliderMoved(s, 500);
    EXPECT_EQ(s.Start.Minimum, 1);
    EXPECT_EQ(s.Start.Maximum, 490);
    EXPECT_EQ(s.End.Minimum, 210);
    EXPECT_EQ(s.End.Maximum, 500);

    s.End.Position = 250;
    EndSliderMoved(s, 500, 10);
    EXPECT_EQ(s.Start.Minimum, 1);
    EXPECT_EQ(s.Start.Maximum, 240);
    EXPECT_EQ(s.End.Minimum, 210);
    EXPECT_EQ(s.Start.Position, 200);
    EXPECT_EQ(s.End.Position, 250);
}

TEST(WindowSliders, ShortRecordsLetTheEndsMeet) {
    // N = 8 after a load: span 7, start 1 .. 1, end 7 .. 8.
    LoadedWindow w = WindowAfterLoad(8, 1, 8);
    EXPECT_EQ(w.MinWindowSpan, 7);
    WindowSliders& s = w.Sliders;
    StartSliderMoved(s, 8);  // the start may now reach the end
    EXPECT_EQ(s.Start.Maximum, 8);
    s.Start.Position = 8;
    StartSliderMoved(s, 8);
    EXPECT_EQ(s.End.Minimum, 8);
    EXPECT_EQ(s.Start.Position, s.End.Position);

    // After an experiment without a load the span is 0: the end may come down to the start.
    WindowSliders e{{1, 100, 40}, {41, 100, 40}};
    EndSliderMoved(e, 100, 0);
    EXPECT_EQ(e.Start.Maximum, 40);
    EXPECT_EQ(e.End.Minimum, 40);
}

TEST(WindowSliders, ARangeThatClosesMovesThePositionToItsEnd) {
    SliderState s{1, 600, 600};
    s.SetRange(10, 500);
    EXPECT_EQ(s.Position, 500);
    s.SetRange(1, 0);  // a maximum below the minimum is raised to it
    EXPECT_EQ(s.Maximum, 1);
    EXPECT_EQ(s.Position, 1);
}

TEST(WindowSliders, ALoadSetsTheRangesAndKeepsTheFilesWindowInside) {
    LoadedWindow a = WindowAfterLoad(500, 20, 480);
    EXPECT_EQ(a.MinWindowSpan, 10);
    EXPECT_EQ(a.Sliders.Start.Minimum, 1);
    EXPECT_EQ(a.Sliders.Start.Maximum, 490);
    EXPECT_EQ(a.Sliders.End.Minimum, 10);
    EXPECT_EQ(a.Sliders.End.Maximum, 500);
    EXPECT_EQ(a.Sliders.Start.Position, 20);
    EXPECT_EQ(a.Sliders.End.Position, 480);

    LoadedWindow b = WindowAfterLoad(10, 0, 600);
    EXPECT_EQ(b.MinWindowSpan, 9);
    EXPECT_EQ(b.Sliders.Start.Maximum, 1);
    EXPECT_EQ(b.Sliders.End.Minimum, 9);
    EXPECT_EQ(b.Sliders.Start.Position, 1);
    EXPECT_EQ(b.Sliders.End.Position, 10);
}

TEST(SignalStatistics, FiguresBesideTheChart) {
    const std::vector<double> signal = {5.0, 1.0, 2.0, 3.0, 7.0};
    const SignalStatistics s = ComputeSignalStatistics(signal, 2, 4);
    EXPECT_EQ(s.Maximum, 3.0);
    EXPECT_EQ(s.Minimum, 1.0);
    EXPECT_EQ(s.StandardDeviation, 1.0);

    const SignalStatistics single = ComputeSignalStatistics(signal, 3, 3);
    EXPECT_EQ(single.Maximum, 0.0);
    EXPECT_EQ(single.Minimum, 0.0);
    EXPECT_EQ(single.StandardDeviation, 0.0);

    // A constant signal (0.1 is not exact in binary) has a deviation of exactly 0.
    const std::vector<double> constant(5000, 0.1);
    EXPECT_EQ(ComputeSignalStatistics(constant, 1, 5000).StandardDeviation, 0.0);
}

TEST(SignalStatistics, TheValueAxisLeavesATenthOfTheRange) {
    const AxisRange a = ValueAxisRange(30.0, 10.0);
    EXPECT_DOUBLE_EQ(a.Lower, 8.0);
    EXPECT_DOUBLE_EQ(a.Upper, 32.0);
    const AxisRange c = ValueAxisRange(4.0, 4.0);  // a constant: value -/+ 0.1
    EXPECT_DOUBLE_EQ(c.Lower, 3.9);
    EXPECT_DOUBLE_EQ(c.Upper, 4.1);
}
