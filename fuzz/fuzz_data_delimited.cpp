// The measured-data file reader on the delimited-text layout: the input is the
// file's text. An input whose first line is the .hvd one would be read as
// .hvd; that layout has its own target, so such inputs are left out.
#include "FuzzCheck.h"
#include "MeasuredDataCheck.h"

#include "data/Errors.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

#include <string>
#include <vector>

using namespace halvetra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::vector<std::string> lines = SplitTextLines(fuzz::AsText(bytes, size));
    if (!lines.empty() && lines[0] == DataFileFirstLine) return -1;

    const MeasuredData& before = fuzz::MarkedData();
    MeasuredData& data = fuzz::WorkingData();
    DataFileHeader header;
    try {
        // The separator only matters for the .hvd header.
        header = TObdelava().LoadDataLines(lines, "fuzz.txt", data, '.');
    } catch (const HalvetraError&) {
        FUZZ_CHECK(fuzz::SameData(data, before));  // a file that cannot be read whole changes nothing
        return 0;
    }

    FUZZ_CHECK(header.format == DataFileFormat::Delimited);
    FUZZ_CHECK(data.SampleCount >= 2 && data.SampleCount < MaxSamples);
    FUZZ_CHECK(data.ColumnCount >= 0 && data.ColumnCount <= MaxDelimitedValues);
    FUZZ_CHECK(header.windowEnd == std::to_string(data.SampleCount));
    // The sampling time comes from the stamps of the rows: a time of day, so
    // positive, and the sample times rise from 0.
    FUZZ_CHECK(std::isfinite(data.SamplingTime));
    FUZZ_CHECK(data.SamplingTime > 0.0);
    const auto n = static_cast<std::size_t>(data.SampleCount);
    FUZZ_CHECK(data.SampleTimes[0] == 0.0);
    FUZZ_CHECK(fuzz::AllFinite(std::span(data.SampleTimes).first(n)));
    for (std::size_t i = 1; i < n; ++i) FUZZ_CHECK(data.SampleTimes[i] > data.SampleTimes[i - 1]);
    for (std::size_t c = 0; c < static_cast<std::size_t>(MaxDelimitedValues); ++c)
        FUZZ_CHECK(fuzz::AllFinite(std::span(data.RawColumns[c]).first(n)));
    FUZZ_CHECK(fuzz::SameBeyond(data, before, n, static_cast<std::size_t>(MaxDelimitedValues)));
    fuzz::PutBackMarks(data, n);
    return 0;
}
