// `halvetra-cli identify FILE [...]`: loads a measured-data file as the Data
// page's "Load from file" does, conditions it and runs "Calculate model" on
// the window, then prints both models as one JSON object; with --refine each
// model also carries its refinement.
#include <algorithm>
#include <array>
#include <optional>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "data/Errors.h"
#include "data/MeasuredData.h"
#include "data/NumberText.h"
#include "data/SignalWindow.h"
#include "data/TObdelava.h"
#include "model/IntegratingModel.h"
#include "model/ModelRefinement.h"
#include "model/ModelWorkflow.h"
#include "model/TModel.h"

namespace halvetra::cli {

namespace {

void WriteInterval(JsonWriter& json, const char* name, const std::array<double, 2>& interval) {
    json.key(name).beginArray().value(interval[0]).value(interval[1]).endArray();
}

void WriteRefined(JsonWriter& json, const RefinedModel& r) {
    json.key("refined").beginObject();
    json.key("gain").value(r.Gain);
    json.key("time_constant").value(r.TimeConstant);
    json.key("dead_time").value(r.DeadTime);
    WriteInterval(json, "gain_ci95", r.GainCI95);
    WriteInterval(json, "time_constant_ci95", r.TimeConstantCI95);
    WriteInterval(json, "dead_time_ci95", r.DeadTimeCI95);
    json.key("fit_percent").value(r.FitPercent);
    json.key("iterations").value(r.Iterations);
    json.key("converged").boolean(r.Converged);
    if (!r.Refined) json.key("reason").value(r.Reason);
    json.endObject();
}

// With --process each model names its type; an integrating one carries its
// confidence intervals and fit as the refined model does.
void WriteModel(JsonWriter& json, const char* name, const ModelParameters& m, const RefinedModel* refined, bool typed,
                const IntegratingFit& fit) {
    json.key(name).beginObject();
    if (typed) json.key("model_type").value(ProcessTypeKey(m.Type));
    json.key("gain").value(m.Gain);
    json.key("time_constant").value(m.TimeConstant);
    json.key("dead_time").value(m.DeadTime);
    json.key("std").value(m.Std);
    json.key("relative_error").value(m.RelativeError);
    json.key("gain_deviation").value(m.GainDeviation);
    json.key("time_constant_deviation").value(m.TimeConstantDeviation);
    json.key("quality").value(QualityText(RateModelQuality(m.RelativeError)));
    if (m.Type == ProcessType::Integrating) {
        json.key("dead_time_deviation").value(fit.DeadTimeStd);
        WriteInterval(json, "gain_ci95", fit.GainCI95);
        WriteInterval(json, "time_constant_ci95", fit.TimeConstantCI95);
        WriteInterval(json, "dead_time_ci95", fit.DeadTimeCI95);
        json.key("fit_percent").value(fit.FitPercent);
    } else if (refined) {
        WriteRefined(json, *refined);
    }
    json.endObject();
}

}  // namespace

int RunIdentify(const std::vector<std::string>& arguments, std::ostream& out) {
    const ParsedArguments parsed = ParseArguments(
        arguments,
        {"--start=", "--end=", "--columns=", "--filter=", "--actuator=", "--save-model=", "--refine", "--process="});
    if (parsed.positional.size() != 1) throw UsageError("expected exactly one FILE");
    const char separator = SystemDecimalSeparator();
    const std::string* processText = parsed.value("--process");
    const std::optional<ProcessChoice> choice =
        processText ? ProcessChoiceFromText(*processText) : ProcessChoice::SelfRegulating;
    if (!choice) throw UsageError("--process must be self-regulating, integrating or auto");

    MeasuredData data;
    const TObdelava obdelava;
    const DataFileHeader header = obdelava.LoadDataFile(parsed.positional.front(), data, separator);
    const int n = data.SampleCount;

    // Columns MV, U, Y, Y2: the given ones, or 1, 3, 5, 6. Either must be
    // columns of the file: a record with fewer columns has no signal there.
    std::array<int, 4> columns = {1, 3, 5, 6};
    const std::string* columnsText = parsed.value("--columns");
    const std::vector<std::string> fields =
        columnsText ? OptionFields(*columnsText, 4, "--columns") : std::vector<std::string>{"1", "3", "5", "6"};
    for (std::size_t k = 0; k < 4; ++k) {
        columns[k] = TextToInt(fields[k]);
        if (columns[k] < 1 || columns[k] > data.ColumnCount)
            throw HalvetraError("Column " + fields[k] + " is not a column of the file (1 .. " +
                                std::to_string(data.ColumnCount) + ")" +
                                (columnsText ? "" : "; choose the columns with --columns MV,U,Y,Y2"));
    }

    // The window, held inside the ranges the Data page's sliders get. A start
    // after the end leaves no sample to identify from.
    const std::string* start = parsed.value("--start");
    const std::string* end = parsed.value("--end");
    const int startGiven = TextToInt(start ? *start : header.windowStart);
    const int endGiven = TextToInt(end ? *end : header.windowEnd);
    const LoadedWindow window = WindowAfterLoad(n, startGiven, endGiven);
    const int first = window.Sliders.Start.Position;
    const int last = window.Sliders.End.Position;
    if (first > last)
        throw HalvetraError("The identification window from sample " + std::to_string(startGiven) + " to sample " +
                            std::to_string(endGiven) + " is empty: its start lies after its end");

    // Filter and actuator settings: the file's texts read as the page's edit
    // boxes read them, or the options' numbers.
    const std::string* filterText = parsed.value("--filter");
    const double filter = filterText ? OptionNumber(*filterText) : TextToFloat(header.filterTimeConstant, separator);
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
    TModel model = CalculateModel(data, identificationWindow, first, last);
    const ProcessFits fits = ApplyProcessChoice(model, identificationWindow, data.SamplingTime, *choice, *choice);

    if (const std::string* output = parsed.value("--save-model"))
        model.SaveModelFile(*output, identificationWindow.WindowLength, TModel::SetOf(model.Inner, data.SamplingTime),
                            TModel::SetOf(model.Outer, data.SamplingTime), identificationWindow, separator,
                            model.Inner.Type, model.Outer.Type);

    RefinedModels refined;
    const bool refine = parsed.has("--refine");
    if (refine) refined = RefineModels(identificationWindow, data.SamplingTime, model.Inner, model.Outer);

    JsonWriter json;
    json.beginObject();
    json.key("sampling_time").value(data.SamplingTime);
    json.key("window").beginArray().value(first).value(last).endArray();
    const bool typed = processText != nullptr;
    WriteModel(json, "inner", model.Inner, refine ? &refined.Inner : nullptr, typed, fits.Inner);
    WriteModel(json, "outer", model.Outer, refine ? &refined.Outer : nullptr, typed, fits.Outer);
    json.endObject();
    out << json.text() << '\n';
    return 0;
}

}  // namespace halvetra::cli
