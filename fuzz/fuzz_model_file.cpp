// The model file reader (.hvm): header numbers, the row count and the rows,
// each row split by ParseModelRow into the seven window arrays.
#include "FuzzCheck.h"

#include "data/Errors.h"
#include "data/TextFile.h"
#include "model/TModel.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace halvetra;

namespace {

constexpr std::array<std::vector<double> IdentificationWindow::*, 8> Arrays = {
    &IdentificationWindow::WindowTime,    &IdentificationWindow::WindowU,        &IdentificationWindow::WindowY,
    &IdentificationWindow::WindowY2,      &IdentificationWindow::InnerReference, &IdentificationWindow::OuterReference,
    &IdentificationWindow::InnerResponse, &IdentificationWindow::OuterResponse,
};

const IdentificationWindow& MarkedWindow() {
    static const IdentificationWindow marked = [] {
        IdentificationWindow w;
        w.WindowLength = 4;
        for (std::size_t a = 0; a < Arrays.size(); ++a)
            std::fill((w.*Arrays[a]).begin(), (w.*Arrays[a]).end(), -100.0 - static_cast<double>(a));
        return w;
    }();
    return marked;
}

ModelParameters MarkedModel(double base) {
    ModelParameters m;
    m.Gain = base + 1, m.TimeConstant = base + 2, m.DeadTime = base + 3, m.GainDeviation = base + 4;
    m.TimeConstantDeviation = base + 5, m.Std = base + 6, m.RelativeError = base + 7;
    return m;
}

bool SameWindow(const IdentificationWindow& a, const IdentificationWindow& b) {
    if (a.WindowLength != b.WindowLength) return false;
    for (const auto array : Arrays)
        if (!fuzz::SameBits(a.*array, b.*array)) return false;
    return true;
}

bool FiniteModel(const ModelParameters& m) {
    return fuzz::AllFinite(std::array{m.Gain, m.TimeConstant, m.DeadTime, m.GainDeviation, m.TimeConstantDeviation,
                                      m.Std, m.RelativeError});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::vector<std::string> lines = SplitTextLines(fuzz::AsText(bytes, size));
    // Header numbers are read with the locale's separator: a comma in the
    // first one stands for a locale with the decimal comma.
    const char separator = lines.size() > 3 && lines[3].find(',') != std::string::npos ? ',' : '.';

    const IdentificationWindow& before = MarkedWindow();
    IdentificationWindow window = before;
    TModel model;
    model.Inner = MarkedModel(10.0);
    model.Outer = MarkedModel(20.0);
    double samplingTime = 0.125;
    try {
        model.LoadModelLines(lines, "fuzz.hvm", samplingTime, window, separator);
    } catch (const HalvetraError&) {
        // A file that cannot be read whole changes nothing.
        FUZZ_CHECK(SameWindow(window, before));
        FUZZ_CHECK(model.Inner == MarkedModel(10.0) && model.Outer == MarkedModel(20.0));
        FUZZ_CHECK(samplingTime == 0.125);
        return 0;
    }

    FUZZ_CHECK(window.WindowLength >= 0 && window.WindowLength <= MaxSamples);
    FUZZ_CHECK(std::isfinite(samplingTime));
    FUZZ_CHECK(FiniteModel(model.Inner) && FiniteModel(model.Outer));
    const auto n = static_cast<std::size_t>(window.WindowLength);
    for (const auto array : Arrays) {
        FUZZ_CHECK(fuzz::AllFinite(std::span(window.*array).first(n)));
        // Rows beyond the count keep their values.
        FUZZ_CHECK(fuzz::SameBits(std::span(window.*array).subspan(n), std::span(before.*array).subspan(n)));
    }
    // WindowY2 is not part of a row.
    FUZZ_CHECK(fuzz::SameBits(window.WindowY2, before.WindowY2));
    return 0;
}
