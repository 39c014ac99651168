// The measured-data file reader on the .hvd layout: the input is the file's
// text; an input whose first line is not the .hvd one gets it in front, so
// every input is read as .hvd.
#include "FuzzCheck.h"
#include "MeasuredDataCheck.h"

#include "data/Errors.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

#include <string>
#include <vector>

using namespace halvetra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::vector<std::string> lines = SplitTextLines(fuzz::AsText(bytes, size));
    if (lines.empty() || lines[0] != DataFileFirstLine) lines.insert(lines.begin(), DataFileFirstLine);
    // The sampling time (line 5) is read with the locale's separator: a comma
    // there stands for a locale with the decimal comma.
    const char separator = lines.size() > 4 && lines[4].find(',') != std::string::npos ? ',' : '.';

    const MeasuredData& before = fuzz::MarkedData();
    MeasuredData& data = fuzz::WorkingData();
    DataFileHeader header;
    try {
        header = TObdelava().LoadDataLines(lines, "fuzz.hvd", data, separator);
    } catch (const HalvetraError&) {
        FUZZ_CHECK(fuzz::SameData(data, before));  // a file that cannot be read whole changes nothing
        return 0;
    }

    FUZZ_CHECK(header.format == DataFileFormat::Hvd);
    FUZZ_CHECK(data.SampleCount >= 0 && data.SampleCount <= MaxSamples);
    FUZZ_CHECK(data.ColumnCount == 6);
    FUZZ_CHECK(header.unreadableFields >= 0 && header.unreadableFields <= 7 * data.SampleCount);
    FUZZ_CHECK(std::isfinite(data.SamplingTime));
    const auto n = static_cast<std::size_t>(data.SampleCount);
    FUZZ_CHECK(fuzz::AllFinite(std::span(data.SampleTimes).first(n)));
    for (std::size_t c = 0; c < 6; ++c) FUZZ_CHECK(fuzz::AllFinite(std::span(data.RawColumns[c]).first(n)));
    // Only samples 1 .. N of the time and the first six columns are read.
    FUZZ_CHECK(fuzz::SameBeyond(data, before, n, 6));
    fuzz::PutBackMarks(data, n);
    return 0;
}
