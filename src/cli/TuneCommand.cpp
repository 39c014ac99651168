// `halvetra-cli tune` and `halvetra-cli simulate`: the Controller page's
// calculation on models given on the command line or in a model file.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "controller/ControllerCalculation.h"
#include "controller/LoopFigures.h"
#include "controller/OptimalRule.h"
#include "controller/RuleComparison.h"
#include "controller/TRegulator.h"
#include "data/IdentificationWindow.h"
#include "data/NumberText.h"
#include "model/TModel.h"

namespace halvetra::cli {

namespace {

const std::vector<std::string_view> ModelOptions = {
    "--model=",  "--inner=",      "--outer=", "--inner-integrating=", "--outer-integrating=",
    "--method=", "--robustness=", "--cascade"};

struct ControllerInputs {
    ModelParameters Inner;
    ModelParameters Outer;  // 0, 0, 0 unless given
    int Method = 0;
    int RobustPosition = 10;
    bool Cascade = false;
};

ModelParameters ModelFromOption(const std::string& text, std::string_view option) {
    const auto fields = OptionFields(text, 3, option);
    ModelParameters model;
    model.Gain = OptionNumber(fields[0]);
    model.TimeConstant = OptionNumber(fields[1]);
    model.DeadTime = OptionNumber(fields[2]);
    return model;
}

// K,L[,T] of an integrating process: slope gain, dead time, lag (0 when left out).
ModelParameters IntegratingFromOption(const std::string& text, std::string_view option) {
    const bool withLag = std::count(text.begin(), text.end(), ',') == 2;
    if (!withLag && std::count(text.begin(), text.end(), ',') != 1)
        throw UsageError(std::string(option) + " expects K,L or K,L,T");
    const auto fields = OptionFields(text, withLag ? 3 : 2, option);
    ModelParameters model;
    model.Type = ProcessType::Integrating;
    model.Gain = OptionNumber(fields[0]);
    model.DeadTime = OptionNumber(fields[1]);
    model.TimeConstant = withLag ? OptionNumber(fields[2]) : 0.0;
    return model;
}

int IntegerOption(const ParsedArguments& parsed, std::string_view option, int fallback) {
    const std::string* text = parsed.value(option);
    return text ? TextToInt(*text) : fallback;
}

ControllerInputs ReadInputs(const ParsedArguments& parsed) {
    if (!parsed.positional.empty()) throw UsageError("unexpected argument " + parsed.positional.front());
    ControllerInputs inputs;
    const std::string* model = parsed.value("--model");
    const std::string* inner = parsed.value("--inner");
    const std::string* innerIntegrating = parsed.value("--inner-integrating");
    const std::string* outer = parsed.value("--outer");
    const std::string* outerIntegrating = parsed.value("--outer-integrating");
    if ((model != nullptr) + (inner != nullptr) + (innerIntegrating != nullptr) != 1)
        throw UsageError("give either --model FILE, --inner K,T,L or --inner-integrating K,L[,T]");
    if (outer && outerIntegrating) throw UsageError("give either --outer or --outer-integrating");
    if (model != nullptr) {
        if (outer || outerIntegrating) throw UsageError("--outer goes with --inner, not with --model");
        TModel file;
        IdentificationWindow window;
        double samplingTime = 0.0;
        file.LoadModelFile(*model, samplingTime, window, SystemDecimalSeparator());
        inputs.Inner = file.Inner;
        inputs.Outer = file.Outer;
    } else {
        inputs.Inner = inner ? ModelFromOption(*inner, "--inner")
                             : IntegratingFromOption(*innerIntegrating, "--inner-integrating");
        if (outer) inputs.Outer = ModelFromOption(*outer, "--outer");
        if (outerIntegrating) inputs.Outer = IntegratingFromOption(*outerIntegrating, "--outer-integrating");
    }
    inputs.Method = IntegerOption(parsed, "--method", 0);
    if (inputs.Method < 0 || inputs.Method >= TuningMethodCount)
        throw UsageError("--method takes a tuning method 0 .. " + std::to_string(TuningMethodCount - 1));
    inputs.RobustPosition = IntegerOption(parsed, "--robustness", 10);
    if (inputs.RobustPosition < 0 || inputs.RobustPosition > 20)
        throw UsageError("--robustness takes a slider position 0 .. 20");
    inputs.Cascade = parsed.has("--cascade");
    return inputs;
}

// The closed-loop sampling time of --sampling-time as the page's edit gives
// it, "1" when not given; a value not above 0 stays the unset 0, which the
// calculation refuses.
double SamplingTimeOption(const ParsedArguments& parsed) {
    const std::string* text = parsed.value("--sampling-time");
    return ResolveLoopSamplingTime(text ? *text : std::string("1"), 0.0, SystemDecimalSeparator());
}

void WriteOptional(JsonWriter& json, const char* key, const std::optional<double>& v) {
    if (v) json.key(key).value(*v);
}

// One loop's figures: only "stable" for an unstable loop, nothing for a
// controller without gains, and no key for a figure that does not exist.
void WriteLoopFigures(JsonWriter& json, const std::optional<LoopFigures>& f) {
    json.beginObject();
    if (f) {
        json.key("stable").boolean(f->Stable);
        WriteOptional(json, "ms", f->Ms);
        WriteOptional(json, "mt", f->Mt);
        WriteOptional(json, "gain_margin", f->GainMargin);
        WriteOptional(json, "phase_margin_deg", f->PhaseMarginDeg);
        WriteOptional(json, "iae_setpoint", f->IaeSetpoint);
        WriteOptional(json, "iae_disturbance", f->IaeDisturbance);
    }
    json.endObject();
}

}  // namespace

int RunTune(const std::vector<std::string>& arguments, std::ostream& out) {
    std::vector<std::string_view> known = ModelOptions;
    known.push_back("--sampling-time=");
    const ParsedArguments parsed = ParseArguments(arguments, known);
    const ControllerInputs inputs = ReadInputs(parsed);
    const double ts = SamplingTimeOption(parsed);
    const ControllerTuning tuning =
        TuneController(inputs.Method, inputs.RobustPosition, inputs.Cascade, inputs.Inner, inputs.Outer, ts);
    // The page's labels of these gains: a gain it could not show fails the
    // command with the same floating-point error.
    FormatControllerLabels(tuning, '.');
    const TuningResult& g = tuning.Result;
    JsonWriter json;
    json.beginObject();
    json.key("method").value(tuning.Method);
    json.key("cascade").boolean(inputs.Cascade);
    json.key("robustness_factor").value(tuning.Factor);
    if (tuning.MsTarget) json.key("ms_target").value(*tuning.MsTarget);
    json.key("kp_inner").value(tuning.KpInner);
    json.key("KiI").value(g.KiI);
    json.key("KpP").value(g.KpP);
    json.key("KpPI").value(g.KpPI);
    json.key("KiPI").value(g.KiPI);
    json.key("KpPID").value(g.KpPID);
    json.key("KiPID").value(g.KiPID);
    json.key("KdPID").value(g.KdPID);
    // As the page shows it: to the millisecond.
    json.key("recommended_sampling_time")
        .value(OptionNumber(FormatFixedFinite(tuning.RecommendedSamplingTime, 15, 3, '.')));
    // The figures of the four closed loops with the gains as shown, at Ts.
    RequireFiniteTuning(tuning);
    const ControllerFigures figures = ComputeControllerFigures(tuning, ts, inputs.Inner, inputs.Outer);
    json.key("robustness").beginObject();
    const char* names[] = {"I", "PI", "PID", "P"};
    for (int type : {int{TypeI}, int{TypePI}, int{TypePID}, int{TypeP}}) {
        json.key(names[type]);
        WriteLoopFigures(json, figures[static_cast<std::size_t>(type)]);
    }
    json.endObject();
    json.endObject();
    out << json.text() << '\n';
    return 0;
}

int RunSimulate(const std::vector<std::string>& arguments, std::ostream& out) {
    std::vector<std::string_view> known = ModelOptions;
    known.push_back("--response=");
    known.push_back("--sampling-time=");
    const ParsedArguments parsed = ParseArguments(arguments, known);
    const ControllerInputs inputs = ReadInputs(parsed);
    const int response = IntegerOption(parsed, "--response", 0);
    if (response != 0 && response != 1) throw UsageError("--response takes 0 (reference) or 1 (disturbance)");

    const double ts = SamplingTimeOption(parsed);
    const ControllerTuning tuning =
        TuneController(inputs.Method, inputs.RobustPosition, inputs.Cascade, inputs.Inner, inputs.Outer, ts);
    const ControllerSimulation simulation = SimulateController(tuning, response, ts, inputs.Inner, inputs.Outer);

    // Every value is checked as it is written: a curve that overflows fails
    // the command instead of printing a number that is none.
    std::string csv = "t,OL,CL_I,CL_PI,CL_PID,CL_P\n";
    const int n = simulation.Horizon.SampleCount;
    for (int k = 0; k < n; ++k) {
        const auto i = static_cast<std::size_t>(k);
        csv += jsonNumber(simulation.Time[i]);
        for (const std::vector<double>* curve :
             {&simulation.OpenLoop, &simulation.ClosedLoop[TypeI], &simulation.ClosedLoop[TypePI],
              &simulation.ClosedLoop[TypePID], &simulation.ClosedLoop[TypeP]}) {
            csv += ',';
            csv += jsonNumber((*curve)[i]);
        }
        csv += '\n';
    }
    out << csv;
    return 0;
}

int RunCompare(const std::vector<std::string>& arguments, std::ostream& out) {
    std::vector<std::string_view> known = {
        "--model=",  "--inner=",         "--outer=", "--inner-integrating=", "--outer-integrating=", "--robustness=",
        "--cascade", "--sampling-time=", "--type="};
    const ParsedArguments parsed = ParseArguments(arguments, known);
    const ControllerInputs inputs = ReadInputs(parsed);
    const std::string* typeText = parsed.value("--type");
    const std::string typeName = typeText ? *typeText : std::string("PI");
    if (typeName != "PI" && typeName != "PID") throw UsageError("--type takes PI or PID");
    const int type = typeName == "PI" ? TypePI : TypePID;
    const double ts = SamplingTimeOption(parsed);

    JsonWriter json;
    json.beginObject();
    json.key("type").value(typeName);
    json.key("cascade").boolean(inputs.Cascade);
    json.key("robustness_factor").value(RobustnessFactor(inputs.RobustPosition));
    json.key("sampling_time").value(ts);
    json.key("rules").beginArray();
    for (const RuleComparisonRow& row :
         CompareRules(type, inputs.RobustPosition, inputs.Cascade, inputs.Inner, inputs.Outer, ts)) {
        json.beginObject();
        json.key("method").value(row.Method);
        json.key("name").value(row.Name);
        if (row.Method == OptimalMs) json.key("ms_target").value(OptimalMsTarget(inputs.RobustPosition));
        // A rule that has no tuning for this model shows the system's text
        // instead of gains and figures; the other rules still compare.
        if (!row.Error.empty()) {
            json.key("error").value(row.Error);
        } else {
            json.key("Kp").value(row.Kp);
            json.key("Ki").value(row.Ki);
            if (type == TypePID) json.key("Kd").value(row.Kd);
            json.key("figures");
            WriteLoopFigures(json, row.Figures);
        }
        json.endObject();
    }
    json.endArray();
    json.endObject();
    out << json.text() << '\n';
    return 0;
}

}  // namespace halvetra::cli
