#pragma once
// The Controller page: tuning of the I, P, PI and PID controllers from the
// process models, their simulated closed-loop responses, the conversion of
// the chosen controller into the form the plant expects, and the controller
// settings file.
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "controller/ControllerForms.h"
#include "controller/LoopFigures.h"
#include "controller/TRegulator.h"
#include "experiment/ControllerLoad.h"
#include "model/ModelParameters.h"
#include "ui/PageContext.h"
#include "ui/SignalRole.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QCPGraph;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QVBoxLayout;

namespace halvetra {

class Chart;
class CompareRulesWindow;
struct ControllerSimulation;

class ControllerPage : public QWidget {
    Q_OBJECT
public:
    ControllerPage(PageContext context, QWidget* parent = nullptr);

    // What the scaled parameters of a cascade need from other pages: the
    // non-linear element between the loops (the Experiment page's "NL active"
    // and its table) and the range of measurement 1 over the Data page's
    // window (the captions of its minimum and maximum).
    struct NonLinearityTexts {
        bool Active = false;
        std::vector<NLPointText> Table;
        QString MinimumY1;
        QString MaximumY1;
    };
    // Set by the main window; without it there is no non-linear element.
    std::function<NonLinearityTexts()> NonLinearity;
    // The item identifier the OPC page assigns to a role; set by the main window.
    std::function<std::string(SignalRole)> SignalItem;

    // Tuning, simulation and chart.
    QComboBox* ComboBox1;            // tuning method
    QScrollBar* ScrollBar_Robust;    // robustness (0) .. speed (20)
    QLabel* robustnessFactorLabel;   // the factor of the slider's position
    QGroupBox* RadioGroup_Motnja;    // type of closed-loop response
    QButtonGroup* motnjaItems;       // its items: 0 reference tracking, 1 disturbance rejection
    QCheckBox* CheckBox_CascadeReg;  // tune a cascade: the inner loop first, then the outer
    QLineEdit* Edit_Vzorcenje;       // closed-loop sampling time
    QLabel* Label_Priporocljiv;      // recommended sampling time of the PI controller
    QLabel* Label_Ki;                // I controller: Ki
    QLabel* Label_Kp_P;              // P controller: Kp
    QLabel* Label_PI_Kp;             // PI controller: Kp
    QLabel* Label_PI_Ti;             // PI controller: Ki
    QLabel* Label_PID_Kp;            // PID controller: Kp
    QLabel* Label_PID_Ti;            // PID controller: Ki
    QLabel* Label_PID_Td;            // PID controller: Kd
    QLabel* Label_Kp_Cascade;        // inner loop's proportional gain of a cascade
    // The figures of the four closed loops, indexed by ControllerType (I, PI,
    // PID, P) and by column (Ms, GM, PM, IAE set point, IAE disturbance);
    // object names "Label_Figure_<type>_<column>".
    std::array<std::array<QLabel*, FigureColumns>, 4> FigureLabels{};
    QPushButton* Button_CompareRules;            // opens "Compare rules"
    CompareRulesWindow* CompareRules = nullptr;  // made on first use
    Chart* Chart1;                               // open-loop (OL) and closed-loop (CL) responses
    QCPGraph* LineSeries3;                       // CL I
    QCPGraph* Series3;                           // CL PI
    QCPGraph* Series4;                           // CL PID
    QCPGraph* LineSeries4;                       // OL
    QCPGraph* Series5;                           // CL P

    // Calculation of scaled parameters.
    QComboBox* ComboBox_Regulator;        // controller form
    QGroupBox* RadioGroup_IzbiraTipaReg;  // controller selection
    QButtonGroup* izbiraTipaRegItems;     // its items: 0 P, 1 I, 2 PI, 3 PID
    QLineEdit* Edit_Reg_ScaleP;           // additional scaling of P
    QLineEdit* Edit_Reg_ScaleI;           // additional scaling of I
    QLineEdit* Edit_Reg_ScaleD;           // additional scaling of D
    QLabel* Label_Reg_Name_Kp;            // the P term's name in the chosen form, e.g. "Kp:"
    QLabel* Label_Reg_Name_Ki;            // the I term's name in the chosen form, e.g. "Ki:" or "Ti:"
    QLabel* Label_Reg_Name_Kd;            // the D term's name in the chosen form, e.g. "Kd:" or "Td:"
    QLineEdit* Edit_Reg_Kp;               // scaled P value
    QLineEdit* Edit_Reg_Ki;               // scaled I value
    QLineEdit* Edit_Reg_Kd;               // scaled D value
    QLabel* Label_LabOjacSekv;            // caption of the non-linearity's gain (cascade only)
    QLabel* Label_OjacSekv;               // the non-linearity's gain between the loops
    // Shown, with the value edits tinted, while the scaled values belong to
    // gains the page no longer shows; says what changed.
    QLabel* Label_ScaledOutOfDate;

    QPushButton* Button16;  // "Load to controller"
    // "Restore previous parameters": enabled once "Load to controller" has
    // written in this session, until the values it kept are written back.
    QPushButton* Button_RestoreParameters;
    QPushButton* Button9;  // "Load to file"
    QPushButton* Button8;  // "Load from file"

    // Tunes, shows the gains and the recommended sampling time, simulates and
    // draws. Stores the results before the sampling time is read, so a
    // sampling time that is not a number, or a process gain or sampling time
    // of 0, fails with the labels new and the chart as it was. The first form
    // takes the page's own controls.
    void CalculateController();
    void CalculateController(int method, int robustPosition, int responseType, const QString& samplingTime,
                             bool cascade);
    // Fills the box "Calculation of scaled parameters" from the stored results.
    void ShowControllerParameters();
    void ShowControllerParameters(int form, int controllerType, bool cascade);

    // The five curves over samples 0 .. n - 1 and the left axis of the
    // simulation; the curve of a controller the rule does not define
    // (ControllerDefined) is left empty.
    void DrawControllerChart(const ControllerSimulation& simulation);
    // Fills the figures table; every cell "—" for empty figures.
    void ShowFigures(const ControllerFigures& figures);
    // The figures as the table shows them (for the report).
    const ControllerFigures& Figures() const { return figures_; }
    // Opens (or raises) "Compare rules" and fills it.
    void ShowCompareRules();

    // The scaled values were computed from gains that have changed since
    // (and not typed by the user): what changed, such as "robustness" or
    // "method, model"; empty while they belong to the gains shown.
    QString ScaledValuesOutOfDate() const { return outOfDate_; }
    // The report's line about the scaled values it prints; empty while they
    // belong to the gains shown.
    QString ScaledValuesNote() const;
    // The values "Load to controller" kept before its last write.
    const ControllerSnapshot& PreviousParameters() const { return previous_; }

public slots:
    void ComboBox1Change();                // another tuning method
    void CheckBox_CascadeRegClick();       // cascade switched on or off
    void ScrollBar_RobustChange();         // the robustness slider moved
    void RadioGroup_MotnjaClick();         // another type of closed-loop response
    void Edit_VzorcenjeKeyPress();         // Enter in the sampling-time edit
    void ComboBox_RegulatorChange();       // another controller form
    void RadioGroup_IzbiraTipaRegClick();  // another controller type (P, I, PI, PID)
    void Edit_Reg_ScalePKeyPress();        // Enter in a scaling edit
    void Edit_Reg_ScaleIKeyPress();
    void Edit_Reg_ScaleDKeyPress();
    void Button9Click();                   // "Load to file"
    void Button8Click();                   // "Load from file"
    void Button16Click();                  // "Load to controller"
    void Button_RestoreParametersClick();  // "Restore previous parameters"

    // The largest gain of the non-linear element between the loops of a
    // cascade, from the Experiment page's table (1 without one, or for a
    // single loop); a cell that is not a number throws ConversionError.
    double NonLinearityGain(bool cascade) const;

private:
    // Recalculates (and, when asked, refreshes the scaled parameters) unless
    // automatic settings are being applied or a file is setting the controls.
    void recalculate(bool withParameters);
    void refreshParameters();
    void showRobustnessFactor();
    void refreshCompareRules();
    bool enableApplicableMethods(bool cascade);
    // The page's parts, one builder each, called in this order by the constructor.
    QWidget* buildLeftPanel();  // the boxes below, top to bottom, and the file buttons
    QGroupBox* buildTuningBox();
    QGroupBox* buildResponseTypeBox();  // RadioGroup_Motnja
    QGroupBox* buildSamplingBox();
    QGroupBox* buildGainsBox();
    QGroupBox* buildFiguresBox();
    void buildResponsesChart();             // Chart1 and its series
    QGroupBox* buildScaledParametersBox();  // the three columns below, left to right
    QVBoxLayout* buildControllerFormColumn(QGroupBox* scaledBox);
    QGridLayout* buildScalingColumn(QGroupBox* scaledBox);
    QGridLayout* buildScaledValuesColumn(QGroupBox* scaledBox);
    void connectSignals();
    void saveSettings();
    void loadSettings();
    void loadToController();
    void restoreParameters();
    void reportingLogFailures(const std::function<void()>& write);
    // What the gains in the state were tuned from, and the gains themselves.
    struct GainBasis {
        bool Valid = false;
        int Method = 0;
        int RobustPosition = 0;
        bool Cascade = false;
        ModelParameters Inner;
        ModelParameters Outer;
        TuningResult Result;
        double Factor = 1.0;
    };
    GainBasis stateBasis(bool cascade) const;
    void markScaledValues();
    QString confirmationText() const;

    PageContext ctx_;
    bool settingControls_ = false;  // a loaded file is setting the controls
    int lastMethod_ = 0;            // of the last calculation
    int lastRobustPosition_ = 10;
    bool lastCascade_ = false;
    GainBasis scaledBasis_;  // of the values in the edits; not valid when typed
    QString outOfDate_;
    ControllerSnapshot previous_;
    std::array<bool, 4> defined_{true, true, true, true};  // by ControllerType, of the last tuning
    ControllerFigures figures_;
};

}  // namespace halvetra
