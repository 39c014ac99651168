#include "data/TObdelava.h"

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/NumberText.h"
#include "data/TextFile.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

namespace halvetra {

namespace {

constexpr long long SecondsPerDay = 86400;
// Data rows of a delimited file start at line 6 (index 5); at most this many
// are read, and the last line of the file never is.
constexpr std::size_t FirstDelimitedRow = 5;
constexpr int MaxDelimitedRows = MaxSamples - 1;
constexpr std::size_t HvdHeaderLines = 18;

// A data field through ParseNumber with the comma as decimal character, so a
// point and a comma both work; a field that is not a number gives 0 and is
// counted.
double ReadDataField(std::string_view field, int& unreadable, bool& readable) {
    double value = 0.0;
    readable = ParseNumber(field, ',', value) == 0;
    if (!readable) {
        value = 0.0;
        ++unreadable;
    }
    return value;
}

// A load reads and checks everything that can fail before it changes the
// data set, and then takes the file over without a step that can fail: a
// file that is refused leaves the data set as it was, without a copy of it.

DataFileHeader LoadHvd(const std::vector<std::string>& lines, const std::string& fileName, MeasuredData& data,
                       char decimalSeparator) {
    DataFileHeader header;
    header.format = DataFileFormat::Hvd;
    header.date = LineAt(lines, 2);
    header.hour = LineAt(lines, 3);
    const double samplingTime = TextToFloat(LineAt(lines, 4), decimalSeparator);
    const int count = TextToInt(LineAt(lines, 5));
    if (count > MaxSamples)
        throw FileError("File " + fileName + " holds " + std::to_string(count) + " samples; at most " +
                        std::to_string(MaxSamples) + " can be loaded");
    if (count < 0)
        throw FileError("File " + fileName + " gives an invalid number of samples (" + std::to_string(count) + ")");
    header.windowStart = LineAt(lines, 6);
    header.windowEnd = LineAt(lines, 7);
    header.filterTimeConstant = LineAt(lines, 8);
    header.actuatorMaximum = LineAt(lines, 9);
    header.actuatorMinimum = LineAt(lines, 10);
    header.actuatorOpeningTime = LineAt(lines, 11);
    std::array<std::string, 6> descriptions;
    for (std::size_t c = 0; c < descriptions.size(); ++c) descriptions[c] = LineAt(lines, 12 + c);
    // Rows are read in order, so a file cut short fails at its first missing line.
    const std::size_t end = HvdHeaderLines + static_cast<std::size_t>(count);
    if (lines.size() < end) throw ListIndexError(static_cast<long long>(lines.size()));

    data.SamplingTime = samplingTime;
    data.SampleCount = count;
    for (std::size_t c = 0; c < descriptions.size(); ++c) data.SignalDescriptions[c].swap(descriptions[c]);
    data.ColumnCount = 6;
    std::array<double*, 7> targets = {data.SampleTimes.data()};
    for (std::size_t f = 1; f < targets.size(); ++f) targets[f] = data.RawColumns[f - 1].data();
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        std::string_view rest = lines[HvdHeaderLines + i];
        for (double* target : targets) {
            // The text before the next TAB; the whole remainder when there is
            // no TAB or the remainder starts with one.
            const auto tab = rest.find('\t');
            const std::string_view field = (tab == std::string_view::npos || tab == 0) ? rest : rest.substr(0, tab);
            if (tab != std::string_view::npos) rest.remove_prefix(tab + 1);
            bool readable = true;
            target[i] = ReadDataField(field, header.unreadableFields, readable);
        }
    }
    return header;
}

// One data row of a delimited file: the stamp before the first separator,
// then values each followed by the separator, into sample `sample` of the raw
// columns. Returns the number of values read.
int ReadDelimitedRow(std::string_view row, char separator, MeasuredData& data, int sample, int& unreadable) {
    auto pos = row.find(separator);
    std::string_view rest = pos == std::string_view::npos ? std::string_view{} : row.substr(pos + 1);
    int count = 0;
    while (count < MaxDelimitedValues) {
        pos = rest.find(separator);
        // The row ends at text without a further separator and at an empty field.
        if (pos == std::string_view::npos || pos == 0) break;
        const std::string_view field = rest.substr(0, pos);
        rest.remove_prefix(pos + 1);
        bool readable = true;
        const double value = ReadDataField(field, unreadable, readable);
        data.RawColumns[static_cast<std::size_t>(count)][static_cast<std::size_t>(sample - 1)] = value;
        ++count;
        if (!readable) break;
    }
    return count;
}

// The time stamp of a delimited row: the text before its first separator.
std::string StampOf(std::string_view row, char separator) { return std::string(row.substr(0, row.find(separator))); }

// Seconds from one stamp to a later one; a negative difference means the rows
// straddle midnight.
long long SecondsBetween(const TimeOfDay& from, const TimeOfDay& to) {
    long long difference = to.SecondsOfDay() - from.SecondsOfDay();
    if (difference < 0) difference += SecondsPerDay;
    return difference;
}

DataFileHeader LoadDelimited(const std::vector<std::string>& lines, const std::string& fileName, MeasuredData& data) {
    DataFileHeader header;
    header.format = DataFileFormat::Delimited;

    const std::string& first = LineAt(lines, 0);
    const char separator = first.find(';') != std::string::npos ? ';' : ',';
    header.date = first.substr(0, first.find(separator));

    // Column descriptions, each followed by the separator, until at most one
    // character of the line remains; a last description without a separator
    // after it is the rest of the line.
    std::array<std::string, MaxColumns> descriptions;
    std::size_t described = 0;
    std::string_view text = LineAt(lines, 2);
    while (described < MaxColumns && text.size() > 1) {
        const auto pos = text.find(separator);
        if (pos == std::string_view::npos) {
            descriptions[described++] = std::string(text);
            break;
        }
        descriptions[described++] = std::string(text.substr(0, pos));
        text.remove_prefix(pos + 1);
    }

    header.hour = StampOf(LineAt(lines, FirstDelimitedRow), separator);
    static_cast<void>(LineAt(lines, FirstDelimitedRow + 1));  // its line must be there
    // Row 2 is a row only when a line follows it; so is every further row, up
    // to the most a data set holds.
    if (lines.size() <= FirstDelimitedRow + 2) throw ListIndexError(static_cast<long long>(FirstDelimitedRow + 2));
    const int rows = static_cast<int>(std::min<std::size_t>(MaxDelimitedRows, lines.size() - FirstDelimitedRow - 1));
    const auto stampOfRow = [&](int row) {
        return ParseTimeOfDay(StampOf(lines[FirstDelimitedRow + static_cast<std::size_t>(row) - 1], separator));
    };

    // Sampling time from the first two stamps. Stamps of whole seconds can
    // repeat when sampling is faster than a second: then it is the time to the
    // first row with another stamp, spread over the rows in between.
    const TimeOfDay firstStamp = ParseTimeOfDay(header.hour);
    const TimeOfDay secondStamp = stampOfRow(2);
    const long long difference = secondStamp.SecondsOfDay() - firstStamp.SecondsOfDay();
    double samplingTime = 0.0;
    if (difference != 0) {
        samplingTime = static_cast<double>(difference < 0 ? difference + SecondsPerDay : difference);
    } else {
        int later = 3;
        TimeOfDay stamp{};
        while (later <= rows && (stamp = stampOfRow(later)).SecondsOfDay() == firstStamp.SecondsOfDay()) ++later;
        if (later > rows)
            throw FileError("File " + fileName +
                            " gives the same time for all its samples; the sampling time cannot be determined");
        samplingTime = static_cast<double>(SecondsBetween(firstStamp, stamp)) / static_cast<double>(later - 1);
    }
    // Stamps of a day give a positive time; one beyond a day (such as
    // 30:00:00) can give a negative one, which no data set can have.
    if (!(samplingTime > 0.0))
        throw FileError("File " + fileName +
                        " gives a time of day out of range; the sampling time cannot be determined");

    for (std::size_t c = 0; c < described; ++c) data.SignalDescriptions[c].swap(descriptions[c]);
    for (int row = 1; row <= rows; ++row) {
        const int values = ReadDelimitedRow(lines[FirstDelimitedRow + static_cast<std::size_t>(row) - 1], separator,
                                            data, row, header.unreadableFields);
        if (row == 2) data.ColumnCount = values;
    }
    data.SamplingTime = samplingTime;
    data.SampleTimes[0] = 0.0;
    for (std::size_t i = 1; i < static_cast<std::size_t>(rows); ++i)
        data.SampleTimes[i] = data.SampleTimes[i - 1] + samplingTime;
    data.SampleCount = rows;

    header.windowStart = "1";
    header.windowEnd = std::to_string(rows);
    header.filterTimeConstant = "0";
    header.actuatorMaximum = "100";
    header.actuatorMinimum = "0";
    header.actuatorOpeningTime = "100";
    return header;
}

// A header text on one line of the file: a line break inside it would shift
// every following line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

}  // namespace

TimeOfDay ParseTimeOfDay(const std::string& stamp) {
    const auto leadingDigits = [](std::string_view text) {
        int value = 0;
        for (const char c : text) {
            if (c < '0' || c > '9') break;
            if (value < 100000000) value = value * 10 + (c - '0');  // saturates instead of overflowing
        }
        return value;
    };
    const std::string_view text = stamp;
    TimeOfDay time;
    const auto firstColon = text.find(':');
    time.hours = leadingDigits(text.substr(0, firstColon));
    if (firstColon == std::string_view::npos) return time;
    const std::string_view afterFirst = text.substr(firstColon + 1);
    const auto secondColon = afterFirst.find(':');
    time.minutes = leadingDigits(afterFirst.substr(0, secondColon));
    if (secondColon != std::string_view::npos) time.seconds = leadingDigits(afterFirst.substr(secondColon + 1));
    return time;
}

DataFileHeader TObdelava::LoadDataFile(const std::string& fileName, MeasuredData& data, char decimalSeparator) const {
    return LoadDataLines(ReadTextLines(fileName), fileName, data, decimalSeparator);
}

DataFileHeader TObdelava::LoadDataLines(const std::vector<std::string>& lines, const std::string& fileName,
                                        MeasuredData& data, char decimalSeparator) const {
    // A file that fails leaves the data set as it was. Columns and samples the
    // file does not fill keep their values.
    return (!lines.empty() && lines[0] == DataFileFirstLine) ? LoadHvd(lines, fileName, data, decimalSeparator)
                                                             : LoadDelimited(lines, fileName, data);
}

void TObdelava::SaveDataFile(const std::string& fileName, const std::string& date, const std::string& hour,
                             double samplingTime, int sampleCount, int windowStart, int windowEnd,
                             const std::array<int, 6>& columns, double filterTimeConstant, double actuatorMaximum,
                             double actuatorMinimum, double actuatorOpeningTime,
                             const std::array<std::string, 6>& descriptions, const MeasuredData& data,
                             char decimalSeparator) const {
    if (sampleCount < 0 || sampleCount > MaxSamples) throw ListIndexError(sampleCount);
    std::array<const RawColumn*, 6> selected{};
    for (std::size_t k = 0; k < 6; ++k) selected[k] = &data.Column(columns[k]);

    // Every line is formed before the file is touched: a value that is not
    // finite ends the save with the floating-point error and the file as it was.
    const auto numberA = [decimalSeparator](double x) { return FormatGeneralFinite(x, 10, decimalSeparator); };
    const auto numberB = [decimalSeparator](double x) { return FormatGeneralFinite(x, 12, decimalSeparator); };

    std::vector<std::string> lines;
    lines.reserve(HvdHeaderLines + static_cast<std::size_t>(sampleCount));
    lines.emplace_back(DataFileFirstLine);
    lines.emplace_back(DataFileVersionLine);
    lines.push_back(OneLine(date));
    lines.push_back(OneLine(hour));
    lines.push_back(numberA(samplingTime));
    lines.push_back(std::to_string(sampleCount));
    lines.push_back(std::to_string(windowStart));
    lines.push_back(std::to_string(windowEnd));
    lines.push_back(numberA(filterTimeConstant));
    lines.push_back(numberA(actuatorMaximum));
    lines.push_back(numberA(actuatorMinimum));
    lines.push_back(numberA(actuatorOpeningTime));
    for (const auto& description : descriptions) lines.push_back(OneLine(description));

    for (std::size_t i = 0; i < static_cast<std::size_t>(sampleCount); ++i) {
        std::string row = numberB(data.SampleTimes[i]);
        for (const auto* column : selected) {
            row += '\t';
            row += numberB((*column)[i]);
        }
        lines.push_back(std::move(row));
    }
    WriteTextFile(fileName, lines);
}

namespace {

// The first-order filter with gain 1 and no dead time over samples 1 .. n of
// `input`, from its first sample, into `output`.
void Filter(std::span<const double> input, std::vector<double>& output, double timeConstant, double samplingTime,
            int n) {
    if (n < 0 || n > MaxSamples) throw ListIndexError(n);
    std::vector<double> derivative(MaxSamples);
    FirstOrderResponse(1, n, input, 1.0, timeConstant, samplingTime, input.empty() ? 0.0 : input[0], 0.0, output,
                       derivative);
}

}  // namespace

void TObdelava::ConditionSignals(MeasuredData& data, int mvColumn, int uColumn, int yColumn, int y2Column,
                                 double actuatorMaximum, double actuatorMinimum, double openingTime,
                                 double filterTimeConstant, double samplingTime, int sampleCount) const {
    // All four or none: a bad column or count is refused before any signal changes.
    for (const int column : {mvColumn, uColumn, yColumn, y2Column}) data.Column(column);
    if (sampleCount < 0 || sampleCount > MaxSamples) throw ListIndexError(sampleCount);
    ConditionU(data, uColumn, actuatorMaximum, actuatorMinimum, openingTime, filterTimeConstant, samplingTime,
               sampleCount);
    ConditionY(data, yColumn, filterTimeConstant, samplingTime, sampleCount);
    ConditionY2(data, y2Column, filterTimeConstant, samplingTime, sampleCount);
    ConditionMV(data, mvColumn, samplingTime, sampleCount);
}

void TObdelava::ConditionMV(MeasuredData& data, int column, double samplingTime, int sampleCount) const {
    // The manipulated signal is never constrained or filtered, only delayed.
    Filter(data.Column(column), data.ConditionedMV, 0.0, samplingTime, sampleCount);
}

void TObdelava::ConditionU(MeasuredData& data, int column, double actuatorMaximum, double actuatorMinimum,
                           double openingTime, double filterTimeConstant, double samplingTime, int sampleCount) const {
    if (sampleCount < 0 || sampleCount > MaxSamples) throw ListIndexError(sampleCount);
    std::vector<double> constrained(MaxSamples);
    ApplyActuatorConstraints(data.Column(column), constrained, sampleCount, actuatorMaximum, actuatorMinimum,
                             openingTime, samplingTime);
    Filter(constrained, data.ConditionedU, filterTimeConstant, samplingTime, sampleCount);
}

void TObdelava::ConditionY(MeasuredData& data, int column, double filterTimeConstant, double samplingTime,
                           int sampleCount) const {
    Filter(data.Column(column), data.ConditionedY, filterTimeConstant, samplingTime, sampleCount);
}

void TObdelava::ConditionY2(MeasuredData& data, int column, double filterTimeConstant, double samplingTime,
                            int sampleCount) const {
    Filter(data.Column(column), data.ConditionedY2, filterTimeConstant, samplingTime, sampleCount);
}

void TObdelava::PrepareIdentificationWindow(const MeasuredData& data, IdentificationWindow& window, int first,
                                            int last) const {
    if (first < 1 || last < first || last > MaxSamples) throw ListIndexError(first < 1 ? first : last);
    const int n = last - first + 1;
    const auto at = [](const std::vector<double>& v, int sample) { return v[static_cast<std::size_t>(sample - 1)]; };
    const std::vector<double>& mv = data.ConditionedMV;

    // The initial segment ends two samples before the step in MV.
    double maximum = 0.0;
    double minimum = 0.0;
    int indexOfMaximum = 0;
    int indexOfMinimum = 0;
    MaxMinWithIndex(mv, maximum, minimum, first, last, indexOfMaximum, indexOfMinimum);
    const double band = 0.005 * (maximum - minimum);
    int segment = std::max(1, n - 3);
    for (int s = first + 1; s <= last - 2; ++s) {
        if (std::abs(at(mv, s) - at(mv, first)) > band) {
            segment = std::max(1, std::min(s - first - 1, n - 3));
            break;
        }
    }

    // Initial level: the first value plus the mean difference from it, so that
    // a flat record gives deviations of exactly 0 even when its level is not
    // exact in binary.
    const auto level = [&](const std::vector<double>& v) {
        const double origin = at(v, first);
        double sum = 0.0;
        for (int i = first; i < first + segment; ++i) sum += at(v, i) - origin;
        return origin + sum / segment;
    };
    const double u0 = level(data.ConditionedU);
    const double y0 = level(data.ConditionedY);
    const double y20 = level(data.ConditionedY2);

    for (int k = 1; k <= n; ++k) {
        const int i = first + k - 1;
        const auto w = static_cast<std::size_t>(k - 1);
        window.WindowU[w] = at(data.ConditionedU, i) - u0;
        window.WindowY[w] = at(data.ConditionedY, i) - y0;
        window.WindowY2[w] = at(data.ConditionedY2, i) - y20;
        window.WindowTime[w] = at(data.SampleTimes, i) - at(data.SampleTimes, first);
    }
    window.WindowLength = n;
}

}  // namespace halvetra
