#include "app/ApplicationWindows.h"

#include "ui/DataPage.h"

namespace halvetra {

ApplicationWindows CreateApplicationWindows(Dialogs& dialogs, const Clock& clock, PlantAccess& plant) {
    ApplicationWindows windows;
    windows.Form1 = std::make_unique<TForm1>(dialogs, clock, plant);
    windows.Eksperiment = std::make_unique<TEksperiment>();
    windows.Form_SamodNastav = std::make_unique<TForm_SamodNastav>();
    windows.Form_Histogram = std::make_unique<TForm_Histogram>();
    windows.Form_Obdelava_Large = std::make_unique<TForm_Obdelava_Large>();
    windows.Form1->DataPage_->attachWindows(windows.Form_Histogram.get(), windows.Form_Obdelava_Large.get());
    return windows;
}

}  // namespace halvetra
