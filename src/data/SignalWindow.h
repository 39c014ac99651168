#pragma once
// The window of samples shown and identified, chosen with two sliders that
// limit each other so that the start stays below the end, and the figures
// shown beside each signal's chart.
#include <span>
#include <string>

namespace halvetra {

struct SliderState {
    int Minimum = 1;
    int Maximum = 1;
    int Position = 1;

    // A new range; a maximum below the minimum is raised to it, and a
    // position outside the range moves to its nearest end.
    void SetRange(int minimum, int maximum);
};

struct WindowSliders {
    SliderState Start;  // first sample of the window
    SliderState End;    // last sample of the window
};

// Ranges after the start slider moved, for a data set of sampleCount samples:
// the window keeps at least 10 samples between its ends when there are more
// than 10 samples, otherwise the ends may meet.
void StartSliderMoved(WindowSliders& sliders, int sampleCount);

// Ranges after the end slider moved: the ends keep minWindowSpan apart.
void EndSliderMoved(WindowSliders& sliders, int sampleCount, int minWindowSpan);

// The sliders after a load of sampleCount samples with the window the file
// gives: MinWindowSpan of the data set (10, or N - 1 for N <= 10), the start
// range 1 .. N - MinWindowSpan and the end range MinWindowSpan .. N, with the
// file's window held inside them. The sliders' own rules take over from the
// next move on.
struct LoadedWindow {
    int MinWindowSpan = 0;
    WindowSliders Sliders;
};
LoadedWindow WindowAfterLoad(int sampleCount, int windowStart, int windowEnd);

// Maximum and minimum (both 0 when start >= end) and the standard deviation
// (square root of the sample variance) over samples start .. end.
struct SignalStatistics {
    double Maximum = 0.0;
    double Minimum = 0.0;
    double StandardDeviation = 0.0;
};
SignalStatistics ComputeSignalStatistics(std::span<const double> signal, int start, int end);

// The texts of the three statistics labels beside a chart: general format
// with 8 significant digits and at least two exponent digits. The labels are
// recomputed at every move of a slider, where a message box would be
// unusable, so a statistic that is not finite (the spread of values near the
// largest double overflows) shows the text of its floating-point error,
// "Floating point overflow" or "Invalid floating point operation", in its
// label instead.
struct SignalStatisticsTexts {
    std::string Maximum;
    std::string Minimum;
    std::string StandardDeviation;
};
SignalStatisticsTexts FormatSignalStatistics(const SignalStatistics& statistics, char decimalSeparator);

// The fixed range of a chart's value axis: a tenth of the signal's range
// beyond each extreme, with a range of 0 taken as 1.
struct AxisRange {
    double Lower = 0.0;
    double Upper = 0.0;
};
AxisRange ValueAxisRange(double maximum, double minimum);

}  // namespace halvetra
