#pragma once
// The window of conditioned data that identification works on, with the
// reference outputs and the model responses it produces. The model chart
// shows it and the model file stores it.
#include <vector>

#include "data/MeasuredData.h"

namespace halvetra {

struct IdentificationWindow {
    IdentificationWindow()
        : WindowTime(MaxSamples),
          WindowU(MaxSamples),
          WindowY(MaxSamples),
          WindowY2(MaxSamples),
          InnerReference(MaxSamples),
          OuterReference(MaxSamples),
          InnerResponse(MaxSamples),
          OuterResponse(MaxSamples) {}

    int WindowLength = 0;  // n, samples 1 .. n at index 0 .. n - 1

    std::vector<double> WindowTime;      // time since the window's first sample [s]
    std::vector<double> WindowU;         // process input minus its initial level
    std::vector<double> WindowY;         // inner output minus its initial level
    std::vector<double> WindowY2;        // outer output minus its initial level
    std::vector<double> InnerReference;  // WindowY one sample late, from 0
    std::vector<double> OuterReference;  // WindowY2 one sample late, from 0
    std::vector<double> InnerResponse;   // the inner model's response to WindowU
    std::vector<double> OuterResponse;   // the outer model's response to WindowY
};

}  // namespace halvetra
