#pragma once
// The Model page: the identified inner or outer process model, its quality and
// its open-loop response against the measured one; editing a model by hand
// ("Use model"), and saving and loading the model file. Beside the identified
// figures, the refined model with its intervals, its response on the chart,
// and "Use refined model".
#include <QWidget>
#include <functional>
#include <span>
#include <vector>

#include "ui/PageContext.h"

class QCheckBox;
class QComboBox;
class QCPGraph;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace halvetra {

class Chart;
struct ModelParameters;

class ModelPage : public QWidget {
    Q_OBJECT
public:
    ModelPage(PageContext context, QWidget* parent = nullptr);

    // Which process the page shows and "Use model" edits.
    enum class Process { Inner, Outer };
    // The number formats of the model texts: A after an identification or a
    // load, B after the outer switch.
    enum class Profile { A, B };

    Chart* Chart_Model;               // open-loop process response
    QCPGraph* LineSeries1;            // reference output, red
    QCPGraph* LineSeries2;            // model response, green dashed
    QCPGraph* LineSeries_Refined;     // refined model response, blue; empty when the identified model stays
    QCheckBox* CheckBox_Model_Outer;  // "Outer process": the page shows the outer process
    // The process type of the shown process: the choice ("Self-regulating",
    // "Integrating", "Auto", in ProcessChoice order) and the type of its
    // model, which "Auto" decides.
    QComboBox* ComboBox_ProcessType;
    QLabel* Label_ProcessType;
    QLabel* Label_GainCaption;   // "Process gain:"; "Slope gain [1/s]:" for an integrating model
    QLabel* Label_TimeCaption;   // "Process time constant [s]: "; "Process lag [s]: " for an integrating model
    QGroupBox* GroupBox16;       // "Model parameters"
    QLineEdit* Edit_Gain;        // process gain
    QLineEdit* Edit_Time;        // process time constant [s]
    QLineEdit* Edit_Delay;       // process dead time [s]
    QLabel* Label_DGain;         // the gain's uncertainty
    QLabel* Label_DTime;         // the time constant's uncertainty
    QLabel* Label_STD;           // standard deviation of the model error
    QLabel* Label_Rel_Pogresek;  // relative model error
    QLabel* Label_Kvaliteta;     // model quality
    // The quality images, all at the same place; at most one is visible.
    QLabel* Image_Quality_Red;
    QLabel* Image_Quality_Orange;
    QLabel* Image_Quality_Yellow;
    QLabel* Image_Quality_Green;
    QPushButton* Button6;     // "Load model"
    QPushButton* Button7;     // "Save model"
    QPushButton* Button5;     // "Use model"
    QPushButton* Button_PID;  // "Calculate PID parameters"
    // "Refined model": gain, time constant and dead time, each with the
    // half-width of its 95 % interval, the fit in per cent, and the reason
    // when the identified model stays.
    QGroupBox* GroupBox_RefinedModel;
    QLabel* Label_RefinedGain;
    QLabel* Label_RefinedTime;
    QLabel* Label_RefinedDelay;
    QLabel* Label_RefinedFit;
    QLabel* Label_RefinedReason;
    QPushButton* Button_UseRefinedModel;  // "Use refined model"

    // Tunes the controllers of the current models on the Controller page;
    // the main window connects it.
    std::function<void()> ControllerCalculation;

    void hideQualityImages();

    // Identifies both processes from samples first .. last of the conditioned
    // data and shows the outer or the inner model (profile A), then checks
    // the sampling. Throws what identification throws.
    void CalculateModel(int first, int last, bool showOuter);
    // Shows the identified models as CalculateModel does after identifying:
    // the outer or the inner set (profile A), then the sampling check.
    void ShowCalculatedModel(bool showOuter);
    // Chart, figures and quality of one set. A figure that is not finite
    // throws FloatingPointError before the chart or any text changes.
    void ShowModelResults(Process set, Profile profile);
    // Reference and response over samples 1 .. WindowLength against WindowTime.
    void DrawModelChart(std::span<const double> reference, std::span<const double> response);
    // The status line shows `text` when the sampling is too sparse for either
    // model; otherwise it is cleared.
    void SamplingWarning(const QString& text);

public slots:
    void CheckBox_Model_OuterClick();    // the inner or the outer process shown
    void Button5Click();                 // "Use model"
    void Button6Click();                 // "Load model"
    void Button7Click();                 // "Save model"
    void Button_PIDClick();              // "Calculate PID parameters"
    void Button_UseRefinedModelClick();  // "Use refined model"
    void ComboBox_ProcessTypeChange();   // a process type chosen

private:
    // The "+-" captions and the deviation labels behind them: hidden until a
    // model with deviations is shown, so the empty page shows no "0 +- 0".
    void showDeviations(bool shown);
    std::vector<QWidget*> deviationWidgets_;

    // The page's parts, one builder each, called in this order by the constructor.
    void buildModelChart();
    void buildProcessTypeControls();
    QGroupBox* buildParametersBox();  // GroupBox16
    QWidget* buildQualityImages(QGroupBox* parametersBox);
    QGroupBox* buildRefinedModelBox();
    QWidget* buildSidePanel();
    void connectSignals();

    Process shownProcess() const;
    ModelParameters& model(Process set) const;
    void showQuality(double relativeError);
    void switchProcess();
    void useModel();
    void useRefinedModel();
    // Chart, scores and quality after "Use model" or "Use refined model".
    void showUsedModel(Process set);
    // The "Refined model" group and the refined response of one set.
    void showRefinedModel(Process set, int precision);
    void loadModel();
    void chooseProcessType();
    // The choice and the type of the shown process, and the captions for its type.
    void showProcessType(Process set);
    void saveModel();

    PageContext ctx_;
};

}  // namespace halvetra
