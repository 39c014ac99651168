#pragma once
// Data processing of the measured data set: reading it from the system's own
// data file (.hvd) or from a delimited text file, and writing the .hvd file.
#include "data/IdentificationWindow.h"
#include "data/MeasuredData.h"

#include <array>
#include <string>
#include <vector>

namespace halvetra {

inline constexpr const char* DataFileFirstLine = "HALVETRA Mesurements";
inline constexpr const char* DataFileVersionLine = "V1.0";
// Values read from one row of a delimited text file, at most.
inline constexpr int MaxDelimitedValues = 39;

enum class DataFileFormat { Hvd, Delimited };

// What a data file gives besides the signals: the texts the Data page shows in
// its labels, sliders and edit boxes, and how the file was read.
struct DataFileHeader {
    std::string date;
    std::string hour;
    std::string windowStart;
    std::string windowEnd;
    std::string filterTimeConstant;
    std::string actuatorMaximum;
    std::string actuatorMinimum;
    std::string actuatorOpeningTime;
    DataFileFormat format = DataFileFormat::Hvd;
    int unreadableFields = 0;  // data fields that were not numbers (stored as 0)
};

class TObdelava {
public:
    // Reads a data file into `data`; the format is chosen by the first line,
    // never by the extension. `decimalSeparator` is the locale's, used for the
    // sampling time in the .hvd header; data fields take a point or a comma.
    // A file that cannot be read whole leaves `data` as it was. Does not set
    // MinWindowSpan.
    DataFileHeader LoadDataFile(const std::string& fileName, MeasuredData& data, char decimalSeparator) const;
    // The same for the lines of a data file already read; `fileName` only
    // names the file in error messages.
    DataFileHeader LoadDataLines(const std::vector<std::string>& lines, const std::string& fileName, MeasuredData& data,
                                 char decimalSeparator) const;

    // Writes the .hvd file: the header, then samples 1 .. sampleCount with
    // their time and the six given raw columns. A number that is not finite
    // throws FloatingPointError before the file is touched.
    void SaveDataFile(const std::string& fileName, const std::string& date, const std::string& hour,
                      double samplingTime, int sampleCount, int windowStart, int windowEnd,
                      const std::array<int, 6>& columns, double filterTimeConstant, double actuatorMaximum,
                      double actuatorMinimum, double actuatorOpeningTime,
                      const std::array<std::string, 6>& descriptions, const MeasuredData& data,
                      char decimalSeparator) const;

    // Conditions the four selected raw columns of samples 1 .. sampleCount
    // into ConditionedMV, ConditionedU, ConditionedY and ConditionedY2: the
    // process input through the actuator model, the process input and both
    // outputs through the first-order filter with time constant
    // filterTimeConstant, the manipulated signal unfiltered. Every conditioned
    // signal repeats its first raw sample and then follows its input one
    // sample late.
    void ConditionSignals(MeasuredData& data, int mvColumn, int uColumn, int yColumn, int y2Column,
                          double actuatorMaximum, double actuatorMinimum, double openingTime, double filterTimeConstant,
                          double samplingTime, int sampleCount) const;

    // Fills the window arrays from samples first .. last of the conditioned
    // signals: each signal minus its initial level, the level taken over the
    // samples before the manipulated signal first leaves a band of 0.5 % of
    // its range (at least the first sample, at most n - 3 samples). Sets
    // WindowLength to last - first + 1.
    void PrepareIdentificationWindow(const MeasuredData& data, IdentificationWindow& window, int first, int last) const;

    // The single steps of ConditionSignals, for a change of one column.
    void ConditionMV(MeasuredData& data, int column, double samplingTime, int sampleCount) const;
    void ConditionU(MeasuredData& data, int column, double actuatorMaximum, double actuatorMinimum, double openingTime,
                    double filterTimeConstant, double samplingTime, int sampleCount) const;
    void ConditionY(MeasuredData& data, int column, double filterTimeConstant, double samplingTime,
                    int sampleCount) const;
    void ConditionY2(MeasuredData& data, int column, double filterTimeConstant, double samplingTime,
                     int sampleCount) const;
};

// Hours, minutes and seconds of a time-of-day stamp "hh:mm:ss": the integers
// before the first colon, between the colons and after the second colon, each
// read from its leading digits (0 when there are none). "hh:mm" has seconds 0.
struct TimeOfDay {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    long long SecondsOfDay() const { return hours * 3600LL + minutes * 60LL + seconds; }
};
TimeOfDay ParseTimeOfDay(const std::string& stamp);

}  // namespace halvetra
