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

DataFileHeader LoadHvd(const std::vector<std::string>& lines, const std::string& fileName, MeasuredData& data,
                       char decimalSeparator) {
    DataFileHeader header;
    header.format = DataFileFormat::Hvd;
    header.date = LineAt(lines, 2);
    header.hour = LineAt(lines, 3);
    data.SamplingTime = TextToFloat(LineAt(lines, 4), decimalSeparator);
    const int count = TextToInt(LineAt(lines, 5));
    if (count > MaxSamples)
        throw FileError("File " + fileName + " holds " + std::to_string(count) + " samples; at most " +
                        std::to_string(MaxSamples) + " can be loaded");
    if (count < 0)
        throw FileError("File " + fileName + " gives an invalid number of samples (" + std::to_string(count) + ")");
    data.SampleCount = count;
    header.windowStart = LineAt(lines, 6);
    header.windowEnd = LineAt(lines, 7);
    header.filterTimeConstant = LineAt(lines, 8);
    header.actuatorMaximum = LineAt(lines, 9);
    header.actuatorMinimum = LineAt(lines, 10);
    header.actuatorOpeningTime = LineAt(lines, 11);
    for (std::size_t c = 0; c < 6; ++c) data.SignalDescriptions[c] = LineAt(lines, 12 + c);
    data.ColumnCount = 6;

    for (int i = 1; i <= count; ++i) {
        std::string_view rest = LineAt(lines, HvdHeaderLines + static_cast<std::size_t>(i) - 1);
        for (int f = 0; f < 7; ++f) {
            // The text before the next TAB; the whole remainder when there is
            // no TAB or the remainder starts with one.
            const auto tab = rest.find('\t');
            const std::string_view field = (tab == std::string_view::npos || tab == 0) ? rest : rest.substr(0, tab);
            if (tab != std::string_view::npos) rest.remove_prefix(tab + 1);
            bool readable = true;
            const double value = ReadDataField(field, header.unreadableFields, readable);
            if (f == 0)
                data.SampleTimes[static_cast<std::size_t>(i - 1)] = value;
            else
                data.RawColumns[static_cast<std::size_t>(f - 1)][static_cast<std::size_t>(i - 1)] = value;
        }
    }
    return header;
}

// One data row of a delimited file: the stamp before the first separator,
// then values each followed by the separator, into sample `sample` of the raw
// columns. Returns the number of values read.
int ReadDelimitedRow(std::string_view row, char separator, MeasuredData& data, int sample, std::string& stamp,
                     int& unreadable) {
    auto pos = row.find(separator);
    stamp = std::string(row.substr(0, pos));
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
    std::string_view descriptions = LineAt(lines, 2);
    for (std::size_t c = 0; c < MaxColumns && descriptions.size() > 1; ++c) {
        const auto pos = descriptions.find(separator);
        if (pos == std::string_view::npos) {
            data.SignalDescriptions[c] = std::string(descriptions);
            break;
        }
        data.SignalDescriptions[c] = std::string(descriptions.substr(0, pos));
        descriptions.remove_prefix(pos + 1);
    }

    std::vector<TimeOfDay> stamps;
    std::string stamp;
    ReadDelimitedRow(LineAt(lines, FirstDelimitedRow), separator, data, 1, stamp, header.unreadableFields);
    header.hour = stamp;
    stamps.push_back(ParseTimeOfDay(stamp));
    data.ColumnCount =
        ReadDelimitedRow(LineAt(lines, FirstDelimitedRow + 1), separator, data, 2, stamp, header.unreadableFields);
    stamps.push_back(ParseTimeOfDay(stamp));
    // Row 2 is a row only when a line follows it.
    if (lines.size() <= FirstDelimitedRow + 2) throw ListIndexError(static_cast<long long>(FirstDelimitedRow + 2));

    int rows = 2;
    while (rows < MaxDelimitedRows && FirstDelimitedRow + static_cast<std::size_t>(rows) + 1 < lines.size()) {
        ++rows;
        ReadDelimitedRow(lines[FirstDelimitedRow + static_cast<std::size_t>(rows) - 1], separator, data, rows, stamp,
                         header.unreadableFields);
        stamps.push_back(ParseTimeOfDay(stamp));
    }

    // Sampling time from the first two stamps. Stamps of whole seconds can
    // repeat when sampling is faster than a second: then it is the time to the
    // first row with another stamp, spread over the rows in between.
    const long long difference = stamps[1].SecondsOfDay() - stamps[0].SecondsOfDay();
    if (difference != 0) {
        data.SamplingTime = static_cast<double>(difference < 0 ? difference + SecondsPerDay : difference);
    } else {
        std::size_t later = 2;
        while (later < stamps.size() && stamps[later].SecondsOfDay() == stamps[0].SecondsOfDay()) ++later;
        if (later == stamps.size())
            throw FileError("File " + fileName +
                            " gives the same time for all its samples; the sampling time cannot be determined");
        data.SamplingTime =
            static_cast<double>(SecondsBetween(stamps[0], stamps[later])) / static_cast<double>(later);
    }
    // Stamps of a day give a positive time; one beyond a day (such as
    // 30:00:00) can give a negative one, which no data set can have.
    if (!(data.SamplingTime > 0.0))
        throw FileError("File " + fileName +
                        " gives a time of day out of range; the sampling time cannot be determined");

    data.SampleTimes[0] = 0.0;
    for (int i = 2; i <= rows; ++i)
        data.SampleTimes[static_cast<std::size_t>(i - 1)] =
            data.SampleTimes[static_cast<std::size_t>(i - 2)] + data.SamplingTime;
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

DataFileHeader TObdelava::LoadDataFile(const std::string& fileName, MeasuredData& data,
                                       char decimalSeparator) const {
    return LoadDataLines(ReadTextLines(fileName), fileName, data, decimalSeparator);
}

namespace {

// What a load can change in the data set, kept to be put back when the file
// fails part way: the counts, the sampling time, the descriptions and the
// first `samples` samples of the times and of every raw column. Every sample
// a file fills comes from a line of its own, so a file of L lines changes at
// most samples 1 .. L; a copy of those is much cheaper than one of the whole
// set (MaxColumns x MaxSamples values).
class DataBeforeLoad {
public:
    DataBeforeLoad(const MeasuredData& data, std::size_t samples)
        : samplingTime_(data.SamplingTime),
          sampleCount_(data.SampleCount),
          columnCount_(data.ColumnCount),
          descriptions_(data.SignalDescriptions),
          samples_(std::min(samples, data.SampleTimes.size())) {
        for (const auto& column : data.RawColumns) Keep(column);
        Keep(data.SampleTimes);
    }

    // Puts everything back; no allocation, so it cannot fail.
    void PutBack(MeasuredData& data) noexcept {
        data.SamplingTime = samplingTime_;
        data.SampleCount = sampleCount_;
        data.ColumnCount = columnCount_;
        for (std::size_t c = 0; c < descriptions_.size(); ++c)
            data.SignalDescriptions[c].swap(descriptions_[c]);
        auto from = values_.begin();
        const auto restore = [&](std::vector<double>& v) {
            const auto n = static_cast<std::ptrdiff_t>(std::min(samples_, v.size()));
            std::copy(from, from + n, v.begin());
            from += n;
        };
        for (auto& column : data.RawColumns) restore(column);
        restore(data.SampleTimes);
    }

private:
    void Keep(const std::vector<double>& v) {
        const auto n = static_cast<std::ptrdiff_t>(std::min(samples_, v.size()));
        values_.insert(values_.end(), v.begin(), v.begin() + n);
    }

    double samplingTime_;
    int sampleCount_;
    int columnCount_;
    std::array<std::string, MaxColumns> descriptions_;
    std::size_t samples_;
    std::vector<double> values_;
};

}  // namespace

DataFileHeader TObdelava::LoadDataLines(const std::vector<std::string>& lines, const std::string& fileName,
                                        MeasuredData& data, char decimalSeparator) const {
    // A file that fails part way leaves the data set as it was. Columns and
    // samples the file does not fill keep their values.
    DataBeforeLoad before(data, lines.size());
    try {
        return (!lines.empty() && lines[0] == DataFileFirstLine) ? LoadHvd(lines, fileName, data, decimalSeparator)
                                                                 : LoadDelimited(lines, fileName, data);
    } catch (...) {
        before.PutBack(data);
        throw;
    }
}

void TObdelava::SaveDataFile(const std::string& fileName, const std::string& date, const std::string& hour,
                             double samplingTime, int sampleCount, int windowStart, int windowEnd,
                             const std::array<int, 6>& columns, double filterTimeConstant, double actuatorMaximum,
                             double actuatorMinimum, double actuatorOpeningTime,
                             const std::array<std::string, 6>& descriptions, const MeasuredData& data,
                             char decimalSeparator) const {
    if (sampleCount < 0 || sampleCount > MaxSamples) throw ListIndexError(sampleCount);
    std::array<const std::vector<double>*, 6> selected{};
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
                           double openingTime, double filterTimeConstant, double samplingTime,
                           int sampleCount) const {
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
