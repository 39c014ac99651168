#pragma once
// An identification window for the model tests.
#include "data/IdentificationWindow.h"

namespace halvetra::testing_model {

// A window of n samples whose input steps to 1 at sample 3, with the inner
// reference that a gain of 2 and no lag produce: 2 from sample 4 on.
inline IdentificationWindow StepWindow(int n) {
    IdentificationWindow window;
    window.WindowLength = n;
    for (int k = 1; k <= n; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        window.WindowTime[i] = k - 1;
        window.WindowU[i] = k >= 3 ? 1.0 : 0.0;
        window.WindowY[i] = k >= 5 ? 4.0 : 0.0;
        window.InnerReference[i] = k >= 4 ? 2.0 : 0.0;
        window.OuterReference[i] = k >= 6 ? 4.0 : 0.0;
    }
    return window;
}

}  // namespace halvetra::testing_model
