#include "app/ApplicationWindows.h"

#include <random>

#include "ui/DataPage.h"

namespace halvetra {

ApplicationWindows CreateApplicationWindows(Dialogs& dialogs, const Clock& clock, PlantAccess& plant) {
    ApplicationWindows windows;
    windows.Form1 = std::make_unique<TForm1>(dialogs, clock, plant);
    // The experiment window records into the main window's measured data
    // and hands each record to its Data page.
    windows.Eksperiment = std::make_unique<TEksperiment>(dialogs, clock, plant, windows.Form1->State.Data,
                                                         *windows.Form1->DataPage_, std::random_device{}());
    windows.Form_SamodNastav = std::make_unique<TForm_SamodNastav>(dialogs);
    windows.Form_Histogram = std::make_unique<TForm_Histogram>();
    windows.Form_Obdelava_Large = std::make_unique<TForm_Obdelava_Large>();
    windows.Form1->attachChartWindows(windows.Form_Histogram.get(), windows.Form_Obdelava_Large.get());
    // The Experiment page runs its experiments in the experiment window and
    // keeps the automatic experiment's settings in the settings window.
    windows.Form1->attachExperimentWindows(windows.Eksperiment.get(), windows.Form_SamodNastav.get());
    return windows;
}

}  // namespace halvetra
