// `halvetra-cli identify FILE [...]`: loads a measured-data file as the Data
// page's "Load from file" does, conditions it and runs "Calculate model" on
// the window, then prints both models as one JSON object.
#include <algorithm>
#include <array>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "data/Errors.h"
#include "data/MeasuredData.h"
#include "data/NumberText.h"
#include "data/SignalWindow.h"
#include "data/TObdelava.h"
#include "model/ModelWorkflow.h"
#include "model/TModel.h"

namespace halvetra::cli {

namespace {

void WriteModel(JsonWriter& json, const char* name, const ModelParameters& m) {
    json.key(name).beginObject();
    json.key("gain").value(m.Gain);
    json.key("time_constant").value(m.TimeConstant);
    json.key("dead_time").value(m.DeadTime);
    json.key("std").value(m.Std);
    json.key("relative_error").value(m.RelativeError);
    json.key("gain_deviation").value(m.GainDeviation);
    json.key("time_constant_deviation").value(m.TimeConstantDeviation);
    json.key("quality").value(QualityText(RateModelQuality(m.RelativeError)));
    json.endObject();
}

}  // namespace

int RunIdentify(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = ParseArguments(
        arguments, {"--start=", "--end=", "--columns=", "--filter=", "--actuator=", "--save-model="});
    if (parsed.positional.size() != 1) throw UsageError("expected exactly one FILE");
    const char separator = SystemDecimalSeparator();

    MeasuredData data;
    const TObdelava obdelava;
    const DataFileHeader header = obdelava.LoadDataFile(parsed.positional.front(), data, separator);
    const int n = data.SampleCount;

    // Columns MV, U, Y, Y2: 1, 3, 5, 6 held inside the file's columns, or the given ones.
    std::array<int, 4> columns = {1, 3, 5, 6};
    const int columnCount = std::max(1, data.ColumnCount);
    for (int& c : columns) c = std::clamp(c, 1, columnCount);
    if (const std::string* text = parsed.value("--columns")) {
        const auto fields = OptionFields(*text, 4, "--columns");
        for (std::size_t k = 0; k < 4; ++k) {
            columns[k] = TextToInt(fields[k]);
            if (columns[k] < 1 || columns[k] > data.ColumnCount)
                throw HalvetraError("Column " + fields[k] + " is not a column of the file (1 .. " +
                                    std::to_string(data.ColumnCount) + ")");
        }
    }

    // The window, held inside the ranges the Data page's sliders get.
    const std::string* start = parsed.value("--start");
    const std::string* end = parsed.value("--end");
    const LoadedWindow window = WindowAfterLoad(n, TextToInt(start ? *start : header.windowStart),
                                                TextToInt(end ? *end : header.windowEnd));
    const int first = window.Sliders.Start.Position;
    const int last = window.Sliders.End.Position;

    // Filter and actuator settings: the file's texts read as the page's edit
    // boxes read them, or the options' numbers.
    const std::string* filterText = parsed.value("--filter");
    const double filter =
        filterText ? OptionNumber(*filterText) : TextToFloat(header.filterTimeConstant, separator);
    double maximum = 0.0, minimum = 0.0, opening = 0.0;
    if (const std::string* text = parsed.value("--actuator")) {
        const auto fields = OptionFields(*text, 3, "--actuator");
        maximum = OptionNumber(fields[0]);
        minimum = OptionNumber(fields[1]);
        opening = OptionNumber(fields[2]);
    } else {
        maximum = TextToFloat(header.actuatorMaximum, separator);
        minimum = TextToFloat(header.actuatorMinimum, separator);
        opening = TextToFloat(header.actuatorOpeningTime, separator);
    }

    obdelava.ConditionSignals(data, columns[0], columns[1], columns[2], columns[3], maximum, minimum, opening, filter,
                              data.SamplingTime, n);
    IdentificationWindow identificationWindow;
    const TModel model = CalculateModel(data, identificationWindow, first, last);

    if (const std::string* output = parsed.value("--save-model"))
        model.SaveModelFile(*output, identificationWindow.WindowLength, TModel::SetOf(model.Inner, data.SamplingTime),
                            TModel::SetOf(model.Outer, data.SamplingTime), identificationWindow, separator);

    JsonWriter json;
    json.beginObject();
    json.key("sampling_time").value(data.SamplingTime);
    json.key("window").beginArray().value(first).value(last).endArray();
    WriteModel(json, "inner", model.Inner);
    WriteModel(json, "outer", model.Outer);
    json.endObject();
    out << json.text() << '\n';
    return 0;
}

}  // namespace halvetra::cli
