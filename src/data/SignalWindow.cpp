#include "data/SignalWindow.h"

#include <algorithm>
#include <cmath>

#include "data/GlobalProcedures.h"
#include "data/NumberText.h"

namespace halvetra {

void SliderState::SetRange(int minimum, int maximum) {
    Minimum = minimum;
    Maximum = std::max(minimum, maximum);
    Position = std::clamp(Position, Minimum, Maximum);
}

void StartSliderMoved(WindowSliders& sliders, int sampleCount) {
    const int start = sliders.Start.Position;
    const int end = sliders.End.Position;
    if (sampleCount > 10) {
        sliders.Start.SetRange(1, end - 10);
        sliders.End.SetRange(start + 10, sampleCount);
    } else {
        sliders.Start.SetRange(1, end);
        sliders.End.SetRange(start, sampleCount);
    }
}

void EndSliderMoved(WindowSliders& sliders, int sampleCount, int minWindowSpan) {
    const int start = sliders.Start.Position;
    const int end = sliders.End.Position;
    sliders.Start.SetRange(1, end - minWindowSpan);
    sliders.End.SetRange(start + minWindowSpan, sampleCount);
}

LoadedWindow WindowAfterLoad(int sampleCount, int windowStart, int windowEnd) {
    LoadedWindow loaded;
    const int n = sampleCount;
    loaded.MinWindowSpan = n <= 10 ? n - 1 : 10;
    WindowSliders& s = loaded.Sliders;
    s.Start.Position = windowStart;
    s.End.Position = windowEnd;
    s.Start.SetRange(1, n - loaded.MinWindowSpan);
    s.End.SetRange(loaded.MinWindowSpan, n);
    return loaded;
}

SignalStatistics ComputeSignalStatistics(std::span<const double> signal, int start, int end) {
    SignalStatistics s;
    MaxMin(signal, s.Maximum, s.Minimum, start, end);
    // The sample variance sums deviations from the window's first value and is
    // never negative, so its square root always exists.
    s.StandardDeviation = std::sqrt(SampleVariance(signal, start, end));
    return s;
}

SignalStatisticsTexts FormatSignalStatistics(const SignalStatistics& statistics, char decimalSeparator) {
    const auto text = [decimalSeparator](double value) {
        return std::isfinite(value) ? FormatGeneral(value, 8, decimalSeparator, 2) : NonFiniteFault(value);
    };
    return {text(statistics.Maximum), text(statistics.Minimum), text(statistics.StandardDeviation)};
}

AxisRange ValueAxisRange(double maximum, double minimum) {
    double range = maximum - minimum;
    if (range == 0.0) range = 1.0;
    return {minimum - 0.1 * range, maximum + 0.1 * range};
}

}  // namespace halvetra
