// The controller settings file reader (.hvc): eight model figures, the
// sampling-time text, five integers, three scaling texts and the cascade flag.
#include "FuzzCheck.h"

#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/TextFile.h"

#include <string>
#include <vector>

using namespace halvetra;

namespace {

ModelParameters MarkedModel(double base) {
    ModelParameters m;
    m.Gain = base + 1, m.TimeConstant = base + 2, m.DeadTime = base + 3, m.GainDeviation = base + 4;
    m.TimeConstantDeviation = base + 5, m.Std = base + 6, m.RelativeError = base + 7;
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::vector<std::string> lines = SplitTextLines(fuzz::AsText(bytes, size));
    // Model figures are read with the locale's separator: a comma in the
    // first one stands for a locale with the decimal comma.
    const char separator = lines.size() > 3 && lines[3].find(',') != std::string::npos ? ',' : '.';

    ModelParameters inner = MarkedModel(10.0);
    ModelParameters outer = MarkedModel(20.0);
    ControllerSettings settings;
    try {
        settings = TRegulator::LoadControllerLines(lines, inner, outer, separator);
    } catch (const HalvetraError&) {
        // A file that cannot be read whole changes nothing.
        FUZZ_CHECK(inner == MarkedModel(10.0) && outer == MarkedModel(20.0));
        return 0;
    }

    for (const ModelParameters* m : {&inner, &outer}) {
        FUZZ_CHECK(fuzz::AllFinite(std::array{m->Gain, m->TimeConstant, m->DeadTime, m->RelativeError}));
    }
    // Only gain, time constant, dead time and relative error are stored.
    FUZZ_CHECK(inner.GainDeviation == 14.0 && inner.TimeConstantDeviation == 15.0 && inner.Std == 16.0);
    FUZZ_CHECK(outer.GainDeviation == 24.0 && outer.TimeConstantDeviation == 25.0 && outer.Std == 26.0);
    // Texts come from single lines.
    for (const std::string* text : {&settings.SamplingTimeText, &settings.ScaleP, &settings.ScaleI, &settings.ScaleD})
        FUZZ_CHECK(text->find_first_of("\r\n") == std::string::npos);
    return 0;
}
