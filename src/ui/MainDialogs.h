#pragma once
// The main window's file dialogs with their design-time settings. Commands set
// a dialog's filter or proposed name where they need to before opening it.
#include "ui/Dialogs.h"

namespace halvetra {

struct MainDialogs {
    // OpenDialog1: a data file to load; also the experiment settings to load.
    FileDialog OpenDialog1{"OpenDialog1", FileDialog::Kind::Open,
                           "Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*"};
    FileDialog SaveDialog1 = [] {  // experiment settings (.hvx) to save
        FileDialog d{"SaveDialog1", FileDialog::Kind::Save, "Halvetra Experiment (*.hvx)|*.hvx|All files|*.*", "hvx"};
        d.OverwritePrompt = true;
        return d;
    }();
    FileDialog OpenDialog2{"OpenDialog2", FileDialog::Kind::Open};  // the report template
    FileDialog SaveDialog2{"SaveDialog2", FileDialog::Kind::Save};  // a data file to save
    FileDialog SaveDialog_Model{"SaveDialog_Model", FileDialog::Kind::Save,
                                "Halvetra Model (*.hvm)|*.hvm|All files (*.*)|*.*", "hvm"};
    FileDialog OpenDialog_Model{"OpenDialog_Model", FileDialog::Kind::Open,
                                "Halvetra Models (*.hvm)|*.hvm|All files|*.*"};
    FileDialog SaveDialog_Controller{"SaveDialog_Controller", FileDialog::Kind::Save,
                                     "Controller settings (*.hvc)|*.hvc|All files (*.*)|*.*", "hvc"};
    FileDialog OpenDialog_Controller{"OpenDialog_Controller", FileDialog::Kind::Open,
                                     "Controller settings (*.hvc)|*.hvc|All files (*.*)|*.*", "hvc"};
    FileDialog SaveDialog_Porocilo{"SaveDialog_Porocilo", FileDialog::Kind::Save};  // the report

    // Every dialog starts in the given folder.
    void setInitialDir(const QString& folder) {
        for (FileDialog* d : {&OpenDialog1, &SaveDialog1, &OpenDialog2, &SaveDialog2, &SaveDialog_Model,
                              &OpenDialog_Model, &SaveDialog_Controller, &OpenDialog_Controller, &SaveDialog_Porocilo})
            d->InitialDir = folder;
    }
};

}  // namespace halvetra
