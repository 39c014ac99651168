#pragma once
// The windows of a run, created at start-up in a fixed order and kept until
// the process ends: the main window first, then the four secondary windows.
#include <memory>

#include "app/TForm1.h"
#include "ui/TEksperiment.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"
#include "ui/TForm_SamodNastav.h"

namespace halvetra {

struct ApplicationWindows {
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TEksperiment> Eksperiment;
    std::unique_ptr<TForm_SamodNastav> Form_SamodNastav;
    std::unique_ptr<TForm_Histogram> Form_Histogram;
    std::unique_ptr<TForm_Obdelava_Large> Form_Obdelava_Large;
};

// The plant connection must outlive the windows.
ApplicationWindows CreateApplicationWindows(Dialogs& dialogs, const Clock& clock, PlantAccess& plant);

}  // namespace halvetra
