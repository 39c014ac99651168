// `halvetra-cli data FILE [--values]`: loads a measured-data file exactly as
// the Data page's "Load from file" does and prints what it holds as one JSON
// object.
#include "cli/Commands.h"
#include "cli/Json.h"
#include "data/MeasuredData.h"
#include "data/NumberText.h"
#include "data/TObdelava.h"

namespace halvetra::cli {

int RunData(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = ParseArguments(arguments, {"--values"});
    if (parsed.positional.size() != 1) throw UsageError("expected exactly one FILE");
    const std::string& fileName = parsed.positional.front();

    MeasuredData data;
    const DataFileHeader header = TObdelava().LoadDataFile(fileName, data, SystemDecimalSeparator());
    // The window the file gives, before the Data page's sliders limit it.
    const int windowStart = TextToInt(header.windowStart);
    const int windowEnd = TextToInt(header.windowEnd);
    const auto samples = static_cast<std::size_t>(data.SampleCount);

    JsonWriter json;
    json.beginObject();
    json.key("format").value(header.format == DataFileFormat::Hvd ? "hvd" : "delimited");
    json.key("date").value(header.date);
    json.key("hour").value(header.hour);
    json.key("sampling_time").value(data.SamplingTime);
    json.key("sample_count").value(data.SampleCount);
    json.key("column_count").value(data.ColumnCount);
    json.key("descriptions").beginArray();
    for (int c = 0; c < data.ColumnCount; ++c) json.value(data.SignalDescriptions[static_cast<std::size_t>(c)]);
    json.endArray();
    json.key("window").beginArray().value(windowStart).value(windowEnd).endArray();
    json.key("filter").value(header.filterTimeConstant);
    json.key("actuator").beginObject();
    json.key("maximum").value(header.actuatorMaximum);
    json.key("minimum").value(header.actuatorMinimum);
    json.key("opening").value(header.actuatorOpeningTime);
    json.endObject();
    json.key("unreadable_fields").value(header.unreadableFields);
    if (parsed.has("--values")) {
        json.key("times").beginArray();
        for (std::size_t i = 0; i < samples; ++i) json.value(data.SampleTimes[i]);
        json.endArray();
        json.key("columns").beginArray();
        for (int c = 1; c <= data.ColumnCount; ++c) {
            const auto& column = data.Column(c);
            json.beginArray();
            for (std::size_t i = 0; i < samples; ++i) json.value(column[i]);
            json.endArray();
        }
        json.endArray();
    }
    json.endObject();
    out << json.text() << '\n';
    return 0;
}

}  // namespace halvetra::cli
