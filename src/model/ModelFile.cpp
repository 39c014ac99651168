// The model file (.hvm): both process models with their quality figures, the
// sampling time and the identification window, one item per line.
#include "data/Errors.h"
#include "data/NumberText.h"
#include "data/TextFile.h"
#include "model/TModel.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvetra {

namespace {

constexpr const char* ModelFileFirstLine = "HALVETRA Model";
constexpr const char* ModelFileVersionLine = "V1.0";
// Header numbers that are the gains of the inner and of the outer set.
constexpr std::size_t InnerGainNumber = 0;
constexpr std::size_t OuterGainNumber = 8;

// The label before each header number, in file order: the inner set, then the
// outer set, each in ModelSet order. Number j stands on line 4 + 2j.
constexpr std::array<const char*, 16> HeaderLabels = {
    "Ojacenje notranjega procesa:",
    "Casovna konstanta notranjega procesa:",
    "Zakasnitev notranjega procesa:",
    "Vzorcenje notranjega procesa:",
    "Deviacija ojacenja notranjega procesa:",
    "Deviacija casovne konstante notranjega procesa:",
    "Standardna deviacija notranjega procesa:",
    "Relativna standardna deviacija meritev-model notranjega procesa:",
    "Ojacenje zunanjega procesa:",
    "Casovna konstanta zunanjega procesa:",
    "Zakasnitev zunanjega procesa:",
    "Vzorcenje zunanjega procesa:",
    "Deviacija ojacenja zunanjega procesa:",
    "Deviacija casovne konstante zunanjega procesa:",
    "Standardna deviacija zunanjega procesa:",
    "Relativna standardna deviacija meritev-model zunanjega procesa:",
};
constexpr const char* CountLabel = "Stevilo vzorcev:";
constexpr const char* RowsLabel = "Podatki:";

// Line indices from 0: header number j at 3 + 2j, the row count at 35, row k
// (from 1) at 36 + k.
constexpr std::size_t FirstHeaderNumberLine = 3;
constexpr std::size_t CountLine = 35;
constexpr std::size_t RowLineBeforeFirst = 36;

constexpr int HeaderDigits = 14;
constexpr int RowDigits = 12;

// The seven columns of a data row, in file order.
constexpr std::array<std::vector<double> IdentificationWindow::*, 7> RowColumns = {
    &IdentificationWindow::WindowTime,     &IdentificationWindow::WindowU,        &IdentificationWindow::WindowY,
    &IdentificationWindow::InnerReference, &IdentificationWindow::OuterReference, &IdentificationWindow::InnerResponse,
    &IdentificationWindow::OuterResponse,
};

// The model of one set read from the header; the set's sampling time is not
// part of a model.
ModelParameters ModelOf(const TModel::ModelSet& set) {
    ModelParameters model;
    model.Gain = set[0];
    model.TimeConstant = set[1];
    model.DeadTime = set[2];
    model.GainDeviation = set[4];
    model.TimeConstantDeviation = set[5];
    model.Std = set[6];
    model.RelativeError = set[7];
    return model;
}

}  // namespace

TModel::ModelSet TModel::SetOf(const ModelParameters& model, double samplingTime) {
    return {model.Gain,          model.TimeConstant,          model.DeadTime, samplingTime,
            model.GainDeviation, model.TimeConstantDeviation, model.Std,      model.RelativeError};
}

void TModel::SaveModelFile(const std::string& fileName, int rowCount, const ModelSet& inner, const ModelSet& outer,
                           const IdentificationWindow& window, char decimalSeparator, ProcessType innerType,
                           ProcessType outerType) const {
    if (rowCount < 0 || rowCount > MaxSamples) throw ListIndexError(rowCount);

    // All lines are formed before the file is touched; a figure or a window
    // value that is not finite ends the save with the floating-point error.
    std::vector<std::string> lines;
    lines.reserve(RowLineBeforeFirst + 1 + static_cast<std::size_t>(rowCount));
    lines.emplace_back(ModelFileFirstLine);
    const bool anyIntegrating = innerType == ProcessType::Integrating || outerType == ProcessType::Integrating;
    lines.emplace_back(anyIntegrating ? IntegratingFileVersion : ModelFileVersionLine);
    for (std::size_t j = 0; j < HeaderLabels.size(); ++j) {
        lines.emplace_back(HeaderLabels[j]);
        const double value = j < inner.size() ? inner[j] : outer[j - inner.size()];
        const bool marked = (j == InnerGainNumber && innerType == ProcessType::Integrating) ||
                            (j == OuterGainNumber && outerType == ProcessType::Integrating);
        lines.push_back((marked ? std::string(IntegratingGainMarker) : std::string()) +
                        FormatGeneralFinite(value, HeaderDigits, decimalSeparator));
    }
    lines.emplace_back(CountLabel);
    lines.push_back(std::to_string(rowCount));
    lines.emplace_back(RowsLabel);

    for (std::size_t i = 0; i < static_cast<std::size_t>(rowCount); ++i) {
        std::string row;
        for (std::size_t c = 0; c < RowColumns.size(); ++c) {
            if (c > 0) row += '\t';
            row += FormatGeneralFinite((window.*RowColumns[c])[i], RowDigits, decimalSeparator);
        }
        lines.push_back(std::move(row));
    }
    WriteTextFile(fileName, lines);
}

void TModel::LoadModelFile(const std::string& fileName, double& samplingTime, IdentificationWindow& window,
                           char decimalSeparator) {
    LoadModelLines(ReadTextLines(fileName), fileName, samplingTime, window, decimalSeparator);
}

void TModel::LoadModelLines(const std::vector<std::string>& lines, const std::string& fileName, double& samplingTime,
                            IdentificationWindow& window, char decimalSeparator) {
    // Everything is read into copies and taken over only when the whole file
    // has been read, so a file that fails part way changes nothing.
    ModelSet inner{};
    ModelSet outer{};
    ProcessType types[2] = {ProcessType::SelfRegulating, ProcessType::SelfRegulating};
    for (std::size_t j = 0; j < HeaderLabels.size(); ++j) {
        std::string_view text = LineAt(lines, FirstHeaderNumberLine + 2 * j);
        if ((j == InnerGainNumber || j == OuterGainNumber) && text.starts_with(IntegratingGainMarker)) {
            text.remove_prefix(IntegratingGainMarker.size());
            types[j == InnerGainNumber ? 0 : 1] = ProcessType::Integrating;
        }
        const double value = TextToFloat(text, decimalSeparator);
        if (j < inner.size())
            inner[j] = value;
        else
            outer[j - inner.size()] = value;
    }

    const int count = TextToInt(LineAt(lines, CountLine));
    // The window has room for MaxSamples rows; more would be written outside it.
    if (count > MaxSamples)
        throw FileError("File " + fileName + " holds " + std::to_string(count) + " samples; at most " +
                        std::to_string(MaxSamples) + " can be loaded");
    if (count < 0)
        throw FileError("File " + fileName + " gives an invalid number of samples (" + std::to_string(count) + ")");

    // Rows beyond the count keep their values, so the copy starts from the window.
    IdentificationWindow loaded = window;
    loaded.WindowLength = count;
    for (int k = 1; k <= count; ++k)
        ParseModelRow(LineAt(lines, RowLineBeforeFirst + static_cast<std::size_t>(k)), k, loaded);

    Inner = ModelOf(inner);
    Outer = ModelOf(outer);
    Inner.Type = types[0];
    Outer.Type = types[1];
    // Both sets carry the sampling time; the outer set's, read last, is the one kept.
    samplingTime = outer[3];
    window = std::move(loaded);
}

void TModel::ParseModelRow(const std::string& row, int k, IdentificationWindow& window) {
    if (k < 1 || k > MaxSamples) throw ListIndexError(k);
    const auto index = static_cast<std::size_t>(k - 1);

    std::string_view rest = row;
    for (std::size_t column = 0; column < RowColumns.size(); ++column) {
        const auto tab = rest.find('\t');
        if (tab == std::string_view::npos || tab == 0) {
            // No TAB, or an empty field: the whole rest is the row's last
            // field, whichever column this is.
            window.OuterResponse[index] = ParseDecimalField(std::string(rest));
        } else {
            (window.*RowColumns[column])[index] = ParseDecimalField(std::string(rest.substr(0, tab)));
        }
        if (tab != std::string_view::npos) rest.remove_prefix(tab + 1);
    }
}

double ParseDecimalField(const std::string& text) {
    double value = 0.0;
    if (ParseNumber(text, ',', value) != 0) value = 0.0;
    return value;
}

}  // namespace halvetra
