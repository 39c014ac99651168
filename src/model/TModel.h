#pragma once
// Identification of the inner process (process input to inner output) and of
// the outer process (inner output to outer output) from one window, and the
// model file that keeps both models with the window.
#include <array>
#include <string>
#include <vector>

#include "data/IdentificationWindow.h"
#include "model/ModelParameters.h"

namespace halvetra {

class TModel {
public:
    ModelParameters Inner;
    ModelParameters Outer;

    // Identifies both processes from window.WindowU, WindowY and WindowY2 over
    // n samples with sampling time ts and initial filter time constant tf;
    // writes the references and responses into the window and the models into
    // Inner and Outer.
    void Identify(IdentificationWindow& window, int n, double ts, double tf);

    // The model file. A set is given as gain, time constant, dead time,
    // sampling time, gain deviation, time-constant deviation, Std, relative
    // error. The rows are window rows 1 .. rowCount. A figure or row value
    // that is not finite throws FloatingPointError before the file is touched.
    // The gain line of an integrating set carries the marker "integrating "
    // before its number (and the version line reads V1.1); a file of
    // self-regulating sets is the same as ever.
    using ModelSet = std::array<double, 8>;
    static ModelSet SetOf(const ModelParameters& model, double samplingTime);
    void SaveModelFile(const std::string& fileName, int rowCount, const ModelSet& inner, const ModelSet& outer,
                       const IdentificationWindow& window, char decimalSeparator,
                       ProcessType innerType = ProcessType::SelfRegulating,
                       ProcessType outerType = ProcessType::SelfRegulating) const;

    // Reads a model file into Inner, Outer (with their process types),
    // samplingTime and the window. A file that cannot be read whole changes
    // nothing.
    void LoadModelFile(const std::string& fileName, double& samplingTime, IdentificationWindow& window,
                       char decimalSeparator);
    // The same for the lines of a model file already read; `fileName` only
    // names the file in error messages.
    void LoadModelLines(const std::vector<std::string>& lines, const std::string& fileName, double& samplingTime,
                        IdentificationWindow& window, char decimalSeparator);

    // Splits one data row into the seven window arrays at row k (from 1).
    static void ParseModelRow(const std::string& row, int k, IdentificationWindow& window);
};

// The instruction sets identification's vector kernels are built for. The
// best one the processor supports is used unless a lower one is pinned (the
// tests check each against the step-by-step procedure).
enum class VectorKernels { Baseline, Avx2, Avx512 };
VectorKernels SupportedVectorKernels();
// Pins the kernels to `kernels`, or to the supported set where that is lower.
void PinVectorKernels(VectorKernels kernels);

// One field of a model-file row: the first ',' read as '.', whatever the
// locale; a field that is not a number gives 0.
double ParseDecimalField(const std::string& text);

}  // namespace halvetra
