#pragma once
// The settings of the automatic experiment that the Experiment page does not
// show: what an unattended run applies to the Data, Model, Controller and
// Report pages. A plain holder of values; it computes nothing but the
// robustness label. Shown modelessly from the Experiment page, hidden by "OK".
#include <QDialog>

#include "settings/ExperimentSettings.h"
#include "ui/Dialogs.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace halvetra {

class TForm_SamodNastav : public QDialog {
    Q_OBJECT
public:
    explicit TForm_SamodNastav(Dialogs& dialogs, QWidget* parent = nullptr);

    QLineEdit* Edit_Sam_Filt;                // filter time constant
    QLineEdit* Edit_Sam_Max;                 // actuator maximum
    QLineEdit* Edit_Sam_Min;                 // actuator minimum
    QLineEdit* Edit_Sam_Velocity;            // actuator opening time [s]
    QComboBox* ComboBox_Sam_IzbMetode;       // tuning method
    QLineEdit* Edit_Sam_Ts;                  // closed-loop sampling time
    QScrollBar* ScrollBar_Sam_Robust;        // robustness (0) .. speed (20)
    QLabel* Label_Sam_Robust;                // the robustness value of the slider's position
    QGroupBox* RadioGroup_Sam_Prikaz;        // type of closed-loop response
    QButtonGroup* prikazItems;               // 0 reference tracking, 1 disturbance rejection
    QComboBox* ComboBox_Sam_TipReg;          // controller form
    QLineEdit* Edit_Sam_SkalP;               // additional scaling of P
    QLineEdit* Edit_Sam_SkalI;               // additional scaling of I
    QLineEdit* Edit_Sam_SkalD;               // additional scaling of D
    QGroupBox* RadioGroup_Sam_PID;           // controller selection
    QButtonGroup* pidItems;                  // 0 P, 1 I, 2 PI, 3 PID
    QCheckBox* CheckBox_Sam_Cascade;         // cascade controller
    QCheckBox* CheckBox_Sam_Nalozi;          // stored with the settings only: hidden, disabled
    QCheckBox* CheckBox_Sam_PorocObd;        // report content: measured data
    QCheckBox* CheckBox_Sam_PorocMod;        // ... process model
    QCheckBox* CheckBox_Sam_PorocReg;        // ... controller
    QLabel* Label13;                         // report template file name
    QPushButton* Button_Sam_IzberiPredlogo;  // "Select dot file"
    QPushButton* Button_Sam_OK;              // "OK"

    // The template choice: an open-file dialog without a filter.
    FileDialog OpenDialog_Predloga{"OpenDialog_Predloga", FileDialog::Kind::Open};

    // The values of every control, and setting them as the user would: the
    // robustness label follows the slider.
    AutomaticExperimentSettings Values() const;
    void SetValues(const AutomaticExperimentSettings& values);

    // The label's text for slider position p: the robustness value in fixed
    // format with 3 decimals.
    static QString RobustnessText(int position);

public slots:
    void ScrollBar_Sam_RobustChange();      // shows the factor of the slider's position
    void Button_Sam_IzberiPredlogoClick();  // "Select dot file"
    void Button_Sam_OKClick();              // "OK"

private:
    // The window's group boxes, one builder each, called in this order by the constructor.
    QGroupBox* buildFilterBox();
    QGroupBox* buildActuatorBox();
    QGroupBox* buildMethodBox();
    QGroupBox* buildSamplingBox();
    QGroupBox* buildRobustnessBox();
    QGroupBox* buildResponseTypeBox();  // RadioGroup_Sam_Prikaz
    QGroupBox* buildScaledParametersBox();
    QGroupBox* buildReportBox();
    void connectSignals();

    Dialogs& dialogs_;
};

}  // namespace halvetra
