// The controller settings file (.hvc): the two process models the tuning is
// based on and every choice of the Controller page, a label line before each
// value line. The tuned gains are not stored; they follow from the rest.
#include "controller/TRegulator.h"

#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/TextFile.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace halvetra {

namespace {

constexpr const char* ControllerFileFirstLine = "HALVETRA Controller";
constexpr const char* ControllerFileVersionLine = "V1.0";

// The label before each value, in file order; value j stands on line 4 + 2j
// (counting from 1), that is at index 3 + 2j.
constexpr std::array<const char*, 18> Labels = {
    "Ojacenje notranjega procesa:",
    "Casovna konstanta notranjega procesa:",
    "Zakasnitev notranjega procesa:",
    "Relativna standardna deviacija meritev-model notranjega procesa:",
    "Ojacenje zunanjega procesa:",
    "Casovna konstanta zunanjega procesa:",
    "Zakasnitev zunanjega procesa:",
    "Relativna standardna deviacija meritev-model zunanjega procesa:",
    "Cas vzorcenja:",
    "Metoda nastavljanja:",
    "Prikazan odziv (referenca - motnja):",
    "Splosna izbira regulatorja (paralelni, serijski, itd.):",
    "Tip regulatorja (P, I, PI, PID):",
    "Faktor robustnosti (polozaj drsnika):",
    "Dodatno skaliranje P clena:",
    "Dodatno skaliranje I clena:",
    "Dodatno skaliranje D clena:",
    "Kaskadna regulacija:",
};

constexpr int ModelDigits = 14;

// The four figures of a model that the file keeps, in file order.
constexpr std::array<double ModelParameters::*, 4> StoredFigures = {
    &ModelParameters::Gain,
    &ModelParameters::TimeConstant,
    &ModelParameters::DeadTime,
    &ModelParameters::RelativeError,
};

std::size_t ValueIndex(std::size_t j) { return 3 + 2 * j; }

const std::string& Value(const std::vector<std::string>& lines, std::size_t j) { return LineAt(lines, ValueIndex(j)); }

// A text with a line break would move every later value to another line and
// so be read back as something else.
const std::string& SingleLine(const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos)
        throw HalvetraError("'" + text + "' cannot be stored in a controller file: it contains a line break");
    return text;
}

}  // namespace

void TRegulator::SaveControllerFile(const std::string& fileName, const ModelParameters& inner,
                                    const ModelParameters& outer, const ControllerSettings& settings,
                                    char decimalSeparator) {
    std::vector<std::string> values;
    values.reserve(Labels.size());
    for (const ModelParameters* model : {&inner, &outer})
        for (const auto figure : StoredFigures) {
            const bool marked = figure == &ModelParameters::Gain && model->Type == ProcessType::Integrating;
            values.push_back((marked ? std::string(IntegratingGainMarker) : std::string()) +
                             FormatGeneralFinite(model->*figure, ModelDigits, decimalSeparator));
        }
    values.push_back(SingleLine(settings.SamplingTimeText));
    values.push_back(std::to_string(settings.Method));
    values.push_back(std::to_string(settings.ResponseType));
    values.push_back(std::to_string(settings.Form));
    values.push_back(std::to_string(settings.ControllerType));
    values.push_back(std::to_string(settings.RobustPosition));
    values.push_back(SingleLine(settings.ScaleP));
    values.push_back(SingleLine(settings.ScaleI));
    values.push_back(SingleLine(settings.ScaleD));
    values.emplace_back(settings.Cascade ? "1" : "0");

    std::vector<std::string> lines;
    lines.reserve(2 + 2 * Labels.size());
    lines.emplace_back(ControllerFileFirstLine);
    const bool anyIntegrating = inner.Type == ProcessType::Integrating || outer.Type == ProcessType::Integrating;
    lines.emplace_back(anyIntegrating ? IntegratingFileVersion : ControllerFileVersionLine);
    for (std::size_t j = 0; j < Labels.size(); ++j) {
        lines.emplace_back(Labels[j]);
        lines.push_back(std::move(values[j]));
    }
    WriteTextFile(fileName, lines);
}

ControllerSettings TRegulator::LoadControllerFile(const std::string& fileName, ModelParameters& inner,
                                                  ModelParameters& outer, char decimalSeparator) {
    return LoadControllerLines(ReadTextLines(fileName), inner, outer, decimalSeparator);
}

ControllerSettings TRegulator::LoadControllerLines(const std::vector<std::string>& lines, ModelParameters& inner,
                                                   ModelParameters& outer, char decimalSeparator) {
    // Read into copies, taken over only when the whole file has been read, so
    // that a file that fails part way changes nothing. The models' other
    // figures keep their values.
    ModelParameters newInner = inner;
    ModelParameters newOuter = outer;
    std::size_t j = 0;
    for (ModelParameters* model : {&newInner, &newOuter}) {
        model->Type = ProcessType::SelfRegulating;
        for (const auto figure : StoredFigures) {
            std::string_view text = Value(lines, j++);
            if (figure == &ModelParameters::Gain && text.starts_with(IntegratingGainMarker)) {
                text.remove_prefix(IntegratingGainMarker.size());
                model->Type = ProcessType::Integrating;
            }
            model->*figure = TextToFloat(text, decimalSeparator);
        }
    }

    ControllerSettings settings;
    settings.SamplingTimeText = Value(lines, j++);
    settings.Method = TextToInt(Value(lines, j++));
    settings.ResponseType = TextToInt(Value(lines, j++));
    settings.Form = TextToInt(Value(lines, j++));
    settings.ControllerType = TextToInt(Value(lines, j++));
    settings.RobustPosition = TextToInt(Value(lines, j++));
    settings.ScaleP = Value(lines, j++);
    settings.ScaleI = Value(lines, j++);
    settings.ScaleD = Value(lines, j++);
    // Only exactly "0" is a single loop.
    settings.Cascade = Value(lines, j++) != "0";

    inner = newInner;
    outer = newOuter;
    return settings;
}

}  // namespace halvetra
