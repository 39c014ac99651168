#include "ui/ModelPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QVBoxLayout>

#include "data/Errors.h"
#include "data/NumberText.h"
#include "model/IntegratingModel.h"
#include "model/ModelParameters.h"
#include "model/ModelRefinement.h"
#include "model/RefinedModelTexts.h"
#include "model/ModelWorkflow.h"
#include "model/TModel.h"
#include "ui/AppState.h"
#include "ui/Chart.h"
#include "ui/Command.h"
#include "ui/Dialogs.h"
#include "ui/MainDialogs.h"

namespace halvetra {

namespace {

constexpr int QualityImageSize = 41;

// A round signal lamp of the given colour: a shaded body with a darker rim
// and a soft highlight in its upper left.
QPixmap qualityLamp(const QColor& color) {
    QPixmap picture(QualityImageSize, QualityImageSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF body(2.5, 2.5, 36.0, 36.0);
    QRadialGradient shade(QPointF(16.0, 15.0), 24.0);
    shade.setColorAt(0.0, color.lighter(150));
    shade.setColorAt(0.55, color);
    shade.setColorAt(1.0, color.darker(170));
    painter.setPen(QPen(color.darker(220), 1.5));
    painter.setBrush(shade);
    painter.drawEllipse(body);

    QRadialGradient gloss(QPointF(15.0, 12.0), 9.0);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 220));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gloss);
    painter.drawEllipse(QRectF(7.0, 5.0, 17.0, 13.0));
    return picture;
}

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QLineEdit* makeEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setObjectName(name);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

// A figure that is not finite throws the floating-point error instead of
// becoming a text.
QString fixed(double value, int precision, int decimals) {
    return QString::fromStdString(FormatFixedFinite(value, precision, decimals, LocaleDecimalSeparator()));
}

}  // namespace

ModelPage::ModelPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    buildModelChart();
    buildProcessTypeControls();
    buildParametersBox();
    buildRefinedModelBox();
    QWidget* sidePanel = buildSidePanel();

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(4, 4, 6, 6);
    page->setSpacing(8);
    page->addWidget(Chart_Model, 1);
    page->addWidget(sidePanel, 0);

    hideQualityImages();
    showDeviations(false);
    connectSignals();
}

// The measured, the model's and the refined model's open-loop responses.
void ModelPage::buildModelChart() {
    Chart_Model = new Chart("Chart_Model", "Open-loop process response", this);
    Chart_Model->setPlainBackground(Qt::white);
    LineSeries1 = Chart_Model->addLineSeries("Measurements", Qt::red, false, Qt::SolidLine, 1.5);
    LineSeries2 = Chart_Model->addLineSeries("Model", QColor(0, 160, 0), false, Qt::DashLine, 1.5);
    LineSeries1->setObjectName("LineSeries1");
    LineSeries2->setObjectName("LineSeries2");
    LineSeries_Refined = Chart_Model->addLineSeries("Refined model", QColor(30, 90, 220), false, Qt::SolidLine, 1.5);
    LineSeries_Refined->setObjectName("LineSeries_Refined");
    Chart_Model->xAxis->setLabel(QStringLiteral("Time [s]"));
    Chart_Model->setLegendVisible(true);
    Chart_Model->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);
    Chart_Model->legend->setBrush(QColor(255, 255, 255, 220));
    Chart_Model->setMinimumSize(480, 400);
}

// The choice of the inner or the outer process and of the process type.
void ModelPage::buildProcessTypeControls() {
    CheckBox_Model_Outer = new QCheckBox(QStringLiteral("Outer process"), this);
    CheckBox_Model_Outer->setObjectName("CheckBox_Model_Outer");
    ComboBox_ProcessType = new QComboBox(this);
    ComboBox_ProcessType->setObjectName("ComboBox_ProcessType");
    ComboBox_ProcessType->addItems(
        {QStringLiteral("Self-regulating"), QStringLiteral("Integrating"), QStringLiteral("Auto")});
    ComboBox_ProcessType->setToolTip(
        QStringLiteral("Self-regulating: K e^(-Ls) / (Ts + 1); integrating: K e^(-Ls) / (s (Ts + 1)), a level; "
                       "Auto: the record decides"));
    Label_ProcessType = makeLabel("Label_ProcessType", ProcessTypeName(ProcessType::SelfRegulating), this);
}

// "Model parameters": gain, time constant and dead time with their
// deviations, the model's error and quality, and "Use model".
QGroupBox* ModelPage::buildParametersBox() {
    GroupBox16 = new QGroupBox(QStringLiteral("Model parameters"), this);
    GroupBox16->setObjectName("GroupBox16");
    Edit_Gain = makeEdit("Edit_Gain", GroupBox16);
    Edit_Time = makeEdit("Edit_Time", GroupBox16);
    Edit_Delay = makeEdit("Edit_Delay", GroupBox16);
    // Figures not worked out yet show a dash.
    const QString none = QStringLiteral("\u2014");
    Label_DGain = makeLabel("Label_DGain", none, GroupBox16);
    Label_DTime = makeLabel("Label_DTime", none, GroupBox16);
    Label_STD = makeLabel("Label_STD", none, GroupBox16);
    Label_Rel_Pogresek = makeLabel("Label_Rel_Pogresek", none, GroupBox16);
    Label_Kvaliteta = makeLabel("Label_Kvaliteta", " ", GroupBox16);
    QFont strong = Label_Kvaliteta->font();
    strong.setBold(true);
    Label_Kvaliteta->setFont(strong);
    for (QLineEdit* edit : {Edit_Gain, Edit_Time, Edit_Delay}) edit->setFixedWidth(76);
    for (QLabel* label : {Label_DGain, Label_DTime}) label->setMinimumWidth(56);
    for (QLabel* label : {Label_STD, Label_Rel_Pogresek, Label_DGain, Label_DTime})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QWidget* images = buildQualityImages(GroupBox16);

    Button5 = makeButton("Button5", "&Use model", GroupBox16);

    auto* grid = new QGridLayout(GroupBox16);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    auto caption = [this](const char* text) { return new QLabel(QString::fromUtf8(text), GroupBox16); };
    auto plusMinus = [this] {
        auto* label = new QLabel(QStringLiteral("+-"), GroupBox16);
        label->setToolTip(QStringLiteral("The figure's uncertainty from the identification"));
        deviationWidgets_.push_back(label);
        return label;
    };
    deviationWidgets_ = {Label_DGain, Label_DTime};
    Label_GainCaption = makeLabel("Label_GainCaption", QStringLiteral("Process gain:"), GroupBox16);
    Label_TimeCaption = makeLabel("Label_TimeCaption", QStringLiteral("Process time constant [s]: "), GroupBox16);
    grid->addWidget(Label_GainCaption, 0, 0);
    grid->addWidget(Edit_Gain, 0, 1);
    grid->addWidget(plusMinus(), 0, 2);
    grid->addWidget(Label_DGain, 0, 3);
    grid->addWidget(Label_TimeCaption, 1, 0);
    grid->addWidget(Edit_Time, 1, 1);
    grid->addWidget(plusMinus(), 1, 2);
    grid->addWidget(Label_DTime, 1, 3);
    grid->addWidget(caption("process dead time [s]: "), 2, 0);
    grid->addWidget(Edit_Delay, 2, 1);
    auto* rule = new QFrame(GroupBox16);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    grid->addWidget(rule, 3, 0, 1, 4);
    QLabel* stdCaption = caption("STD:");
    stdCaption->setToolTip(QStringLiteral("Standard deviation of the model error"));
    Label_STD->setToolTip(stdCaption->toolTip());
    grid->addWidget(stdCaption, 4, 0);
    grid->addWidget(Label_STD, 4, 1, 1, 3);
    grid->addWidget(caption("Relative model error:"), 5, 0);
    grid->addWidget(Label_Rel_Pogresek, 5, 1, 1, 3);
    grid->addWidget(caption("Model quality:"), 6, 0);
    grid->addWidget(Label_Kvaliteta, 6, 1);
    grid->addWidget(images, 6, 2, 1, 2, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(Button5, 7, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    return GroupBox16;
}

// The four quality images, lying on top of each other.
QWidget* ModelPage::buildQualityImages(QGroupBox* parametersBox) {
    auto* images = new QWidget(parametersBox);
    images->setFixedSize(QualityImageSize, QualityImageSize);
    auto image = [images](const char* name, const QColor& color) {
        auto* label = new QLabel(images);
        label->setObjectName(name);
        label->setGeometry(0, 0, QualityImageSize, QualityImageSize);
        label->setPixmap(qualityLamp(color));
        return label;
    };
    Image_Quality_Red = image("Image_Quality_Red", QColor(220, 30, 30));
    Image_Quality_Orange = image("Image_Quality_Orange", QColor(245, 140, 20));
    Image_Quality_Yellow = image("Image_Quality_Yellow", QColor(240, 215, 30));
    Image_Quality_Green = image("Image_Quality_Green", QColor(40, 185, 60));
    return images;
}

// "Refined model": the refined figures, the reason for them and "Use refined model".
QGroupBox* ModelPage::buildRefinedModelBox() {
    GroupBox_RefinedModel = new QGroupBox(QStringLiteral("Refined model"), this);
    GroupBox_RefinedModel->setObjectName("GroupBox_RefinedModel");
    Label_RefinedGain = makeLabel("Label_RefinedGain", QString(), GroupBox_RefinedModel);
    Label_RefinedTime = makeLabel("Label_RefinedTime", QString(), GroupBox_RefinedModel);
    Label_RefinedDelay = makeLabel("Label_RefinedDelay", QString(), GroupBox_RefinedModel);
    Label_RefinedFit = makeLabel("Label_RefinedFit", QString(), GroupBox_RefinedModel);
    Label_RefinedReason = makeLabel("Label_RefinedReason", QString(), GroupBox_RefinedModel);
    Label_RefinedReason->setWordWrap(true);
    for (QLabel* label :
         {Label_RefinedGain, Label_RefinedTime, Label_RefinedDelay, Label_RefinedFit, Label_RefinedReason})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_UseRefinedModel = makeButton("Button_UseRefinedModel", "Use &refined model", GroupBox_RefinedModel);
    Button_UseRefinedModel->setEnabled(false);
    auto* refinedGrid = new QGridLayout(GroupBox_RefinedModel);
    refinedGrid->setHorizontalSpacing(6);
    refinedGrid->setVerticalSpacing(6);
    const auto refinedCaption = [this](const char* text) {
        return new QLabel(QString::fromUtf8(text), GroupBox_RefinedModel);
    };
    refinedGrid->addWidget(refinedCaption("Process gain:"), 0, 0);
    refinedGrid->addWidget(Label_RefinedGain, 0, 1);
    refinedGrid->addWidget(refinedCaption("Process time constant [s]: "), 1, 0);
    refinedGrid->addWidget(Label_RefinedTime, 1, 1);
    refinedGrid->addWidget(refinedCaption("process dead time [s]: "), 2, 0);
    refinedGrid->addWidget(Label_RefinedDelay, 2, 1);
    refinedGrid->addWidget(refinedCaption("Fit [%]:"), 3, 0);
    refinedGrid->addWidget(Label_RefinedFit, 3, 1);
    refinedGrid->addWidget(Label_RefinedReason, 4, 0, 1, 2);
    refinedGrid->addWidget(Button_UseRefinedModel, 5, 0, 1, 2);
    refinedGrid->setColumnStretch(1, 1);
    return GroupBox_RefinedModel;
}

// The column beside the chart: the process choice, both boxes and the buttons.
QWidget* ModelPage::buildSidePanel() {
    Button6 = makeButton("Button6", "&Load model", this);
    Button7 = makeButton("Button7", "&Save model", this);
    Button_PID = makeButton("Button_PID", "Calculate &PID parameters", this);
    Button_PID->setMinimumHeight(32);

    auto* sidePanel = new QWidget(this);
    sidePanel->setFixedWidth(360);
    auto* side = new QVBoxLayout(sidePanel);
    side->setContentsMargins(0, 0, 0, 0);
    side->addWidget(CheckBox_Model_Outer);
    auto* type = new QHBoxLayout;
    type->addWidget(new QLabel(QStringLiteral("Process type:"), sidePanel));
    type->addWidget(ComboBox_ProcessType);
    type->addWidget(Label_ProcessType, 1);
    side->addLayout(type);
    side->addWidget(GroupBox16);
    side->addWidget(GroupBox_RefinedModel);
    auto* files = new QHBoxLayout;
    files->addWidget(Button6);
    files->addWidget(Button7);
    side->addLayout(files);
    side->addStretch(1);
    side->addWidget(Button_PID);
    return sidePanel;
}

void ModelPage::connectSignals() {
    connect(CheckBox_Model_Outer, &QCheckBox::toggled, this, &ModelPage::CheckBox_Model_OuterClick);
    connect(Button5, &QPushButton::clicked, this, &ModelPage::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &ModelPage::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &ModelPage::Button7Click);
    connect(Button_PID, &QPushButton::clicked, this, &ModelPage::Button_PIDClick);
    connect(Button_UseRefinedModel, &QPushButton::clicked, this, &ModelPage::Button_UseRefinedModelClick);
    connect(ComboBox_ProcessType, &QComboBox::activated, this, &ModelPage::ComboBox_ProcessTypeChange);
}

void ModelPage::showDeviations(bool shown) {
    for (QWidget* widget : deviationWidgets_) widget->setVisible(shown);
}

void ModelPage::hideQualityImages() {
    for (QLabel* image : {Image_Quality_Red, Image_Quality_Orange, Image_Quality_Yellow, Image_Quality_Green})
        image->hide();
}

void ModelPage::CheckBox_Model_OuterClick() {
    RunCommand(ctx_.Dialog, [this] { switchProcess(); });
}

void ModelPage::Button5Click() {
    RunCommand(ctx_.Dialog, [this] { useModel(); });
}

void ModelPage::Button6Click() {
    RunCommand(ctx_.Dialog, [this] { loadModel(); });
}

void ModelPage::Button7Click() {
    RunCommand(ctx_.Dialog, [this] { saveModel(); });
}

void ModelPage::Button_UseRefinedModelClick() {
    RunCommand(ctx_.Dialog, [this] { useRefinedModel(); });
}

void ModelPage::ComboBox_ProcessTypeChange() {
    RunCommand(ctx_.Dialog, [this] { chooseProcessType(); });
}

void ModelPage::Button_PIDClick() {
    RunCommand(ctx_.Dialog, [this] {
        if (ControllerCalculation) ControllerCalculation();
    });
}

ModelPage::Process ModelPage::shownProcess() const {
    return CheckBox_Model_Outer->isChecked() ? Process::Outer : Process::Inner;
}

ModelParameters& ModelPage::model(Process set) const {
    return set == Process::Outer ? ctx_.State.OuterModel : ctx_.State.InnerModel;
}

void ModelPage::CalculateModel(int first, int last, bool showOuter) {
    ctx_.State.IdentifyModels(first, last);
    ShowCalculatedModel(showOuter);
}

void ModelPage::ShowCalculatedModel(bool showOuter) {
    hideQualityImages();
    ShowModelResults(showOuter ? Process::Outer : Process::Inner, Profile::A);
    SamplingWarning(QStringLiteral("Opozorilo: Vzorčenje je preredko"));
}

void ModelPage::ShowModelResults(Process set, Profile profile) {
    const IdentificationWindow& window = ctx_.State.Window;
    const bool outer = set == Process::Outer;

    // Profile A writes 15 significant digits (the relative error 12) and five
    // decimals of the scores; profile B 12 digits, and four decimals of the
    // scores while the inner process is shown. Every text is formed before
    // the chart or a text changes: a figure that is not finite ends the
    // command with the floating-point error and leaves the page as it was.
    const ModelParameters& shown = model(set);
    const int precision = profile == Profile::A ? 15 : 12;
    const int scoreDecimals = profile == Profile::B && !outer ? 4 : 5;
    // A slope gain per second is small: six decimals instead of three.
    const int gainDecimals = shown.Type == ProcessType::Integrating ? 6 : 3;
    const QString gain = fixed(shown.Gain, precision, gainDecimals);
    const QString timeConstant = fixed(shown.TimeConstant, precision, 2);
    const QString deadTime = fixed(shown.DeadTime, precision, 1);
    const QString modelStd = fixed(shown.Std, precision, scoreDecimals);
    const QString gainDeviation = fixed(shown.GainDeviation, precision, gainDecimals);
    const QString timeConstantDeviation = fixed(shown.TimeConstantDeviation, precision, 2);
    const QString relativeError = fixed(shown.RelativeError, 12, scoreDecimals);
    // The refined figures are finite by construction; formed here all the same
    // so that nothing changes when one is not.
    FormatRefinedModel(outer ? ctx_.State.Refined.Outer : ctx_.State.Refined.Inner, precision,
                       LocaleDecimalSeparator());

    DrawModelChart(outer ? window.OuterReference : window.InnerReference,
                   outer ? window.OuterResponse : window.InnerResponse);
    Edit_Gain->setText(gain);
    Edit_Time->setText(timeConstant);
    Edit_Delay->setText(deadTime);
    Label_STD->setText(modelStd);
    Label_DGain->setText(gainDeviation);
    Label_DTime->setText(timeConstantDeviation);
    showDeviations(true);
    Label_Rel_Pogresek->setText(relativeError);
    showQuality(shown.RelativeError);
    showProcessType(set);
    showRefinedModel(set, precision);
}

void ModelPage::showProcessType(Process set) {
    const bool outer = set == Process::Outer;
    const ProcessChoice choice = outer ? ctx_.State.OuterChoice : ctx_.State.InnerChoice;
    const bool integrating = model(set).Type == ProcessType::Integrating;
    {
        const QSignalBlocker blocker(ComboBox_ProcessType);
        ComboBox_ProcessType->setCurrentIndex(static_cast<int>(choice));
    }
    Label_ProcessType->setText(QString::fromLatin1(ProcessTypeName(model(set).Type)));
    Label_GainCaption->setText(integrating ? QStringLiteral("Slope gain [1/s]:") : QStringLiteral("Process gain:"));
    Label_TimeCaption->setText(integrating ? QStringLiteral("Process lag [s]: ")
                                           : QStringLiteral("Process time constant [s]: "));
    // The integrating model is itself a least-squares fit with a continuous
    // dead time: there is no refinement of it to show.
    GroupBox_RefinedModel->setVisible(!integrating);
}

void ModelPage::showRefinedModel(Process set, int precision) {
    const bool outer = set == Process::Outer;
    const RefinedModel& refined = outer ? ctx_.State.Refined.Outer : ctx_.State.Refined.Inner;
    const RefinedModelTexts texts = FormatRefinedModel(refined, precision, LocaleDecimalSeparator());
    Label_RefinedGain->setText(QString::fromStdString(texts.Gain));
    Label_RefinedTime->setText(QString::fromStdString(texts.TimeConstant));
    Label_RefinedDelay->setText(QString::fromStdString(texts.DeadTime));
    Label_RefinedFit->setText(QString::fromStdString(texts.Fit));
    Label_RefinedReason->setText(QString::fromStdString(texts.Reason));
    Label_RefinedReason->setVisible(!texts.Reason.empty());
    Button_UseRefinedModel->setEnabled(refined.Refined);

    // The refined response with its fractional dead time; none when the
    // identified model stays (it would only repeat the model's response).
    const IdentificationWindow& window = ctx_.State.Window;
    const int n = window.WindowLength;
    if (!refined.Refined || n <= 0 || model(set).Type == ProcessType::Integrating) {
        LineSeries_Refined->data()->clear();
    } else {
        std::vector<double> response(static_cast<std::size_t>(n));
        FractionalFirstOrderResponse(outer ? window.WindowY : window.WindowU, n, ctx_.State.Data.SamplingTime,
                                     refined.Gain, refined.TimeConstant, refined.DeadTime, response);
        Chart::setPoints(LineSeries_Refined, window.WindowTime, response, 1, n);
    }
    Chart_Model->replot(QCustomPlot::rpQueuedReplot);
}

void ModelPage::DrawModelChart(std::span<const double> reference, std::span<const double> response) {
    const IdentificationWindow& window = ctx_.State.Window;
    const int n = window.WindowLength;
    const AxisRange range = ModelChartRange(reference, response, n);
    Chart::setPoints(LineSeries1, window.WindowTime, reference, 1, n);
    Chart::setPoints(LineSeries2, window.WindowTime, response, 1, n);
    Chart_Model->fixValueAxis(range.Lower, range.Upper);
    Chart_Model->fitKeyAxis();
    Chart_Model->replot(QCustomPlot::rpQueuedReplot);
}

void ModelPage::SamplingWarning(const QString& text) {
    const AppState& state = ctx_.State;
    ctx_.ShowStatus(SamplingTooSparse(state.InnerModel, state.OuterModel, state.Data.SamplingTime) ? text : QString());
}

void ModelPage::showQuality(double relativeError) {
    const ModelQuality quality = RateModelQuality(relativeError);
    Label_Kvaliteta->setText(QString::fromStdString(QualityText(quality)));
    QLabel* image = Image_Quality_Red;
    switch (quality) {
    case ModelQuality::VeryGood: image = Image_Quality_Green; break;
    case ModelQuality::Good: image = Image_Quality_Yellow; break;
    case ModelQuality::Fair: image = Image_Quality_Orange; break;
    case ModelQuality::Bad: break;
    }
    hideQualityImages();
    image->show();
}

void ModelPage::switchProcess() {
    hideQualityImages();
    if (ctx_.State.ApplyingAutomaticSettings) return;
    ShowModelResults(shownProcess(), Profile::B);
    SamplingWarning(QStringLiteral("Opozorilo: Sampling rate is too low"));
}

void ModelPage::useModel() {
    hideQualityImages();
    const Process set = shownProcess();
    const bool outer = set == Process::Outer;
    ModelParameters& edited = model(set);
    IdentificationWindow& window = ctx_.State.Window;

    // A text that is not a number leaves the figures converted before it
    // stored; a model whose response or scores are not finite (a typed 1e308)
    // ends with the floating-point error before the set or the window changes.
    ModelParameters typed = edited;
    try {
        StoreModelTexts(typed, Edit_Gain->text().toStdString(), Edit_Time->text().toStdString(),
                        Edit_Delay->text().toStdString(), LocaleDecimalSeparator());
    } catch (const ConversionError&) {
        edited = typed;
        throw;
    }
    UseModel(edited, window, outer, typed.Gain, typed.TimeConstant, typed.DeadTime, ctx_.State.Data.SamplingTime);
    showUsedModel(set);
}

void ModelPage::chooseProcessType() {
    const Process set = shownProcess();
    const auto choice = static_cast<ProcessChoice>(ComboBox_ProcessType->currentIndex());
    try {
        ctx_.State.ChooseProcess(set == Process::Outer, choice);
    } catch (...) {
        showProcessType(set);  // the choice shown goes back to the one in force
        throw;
    }
    ctx_.State.RefineIdentifiedModels();
    hideQualityImages();
    ShowModelResults(set, Profile::A);
}

void ModelPage::showUsedModel(Process set) {
    const bool outer = set == Process::Outer;
    const IdentificationWindow& window = ctx_.State.Window;
    const ModelParameters& used = model(set);
    DrawModelChart(outer ? window.OuterReference : window.InnerReference,
                   outer ? window.OuterResponse : window.InnerResponse);
    Label_STD->setText(fixed(used.Std, 12, 4));
    Label_Rel_Pogresek->setText(fixed(used.RelativeError, 12, 4));
    showQuality(used.RelativeError);
}

void ModelPage::useRefinedModel() {
    const Process set = shownProcess();
    const bool outer = set == Process::Outer;
    const RefinedModel& refined = outer ? ctx_.State.Refined.Outer : ctx_.State.Refined.Inner;
    if (!refined.Refined) return;
    // The refined figures go in as typed figures would: the same model, the
    // same response and scores, and the edit boxes show them.
    const QString gain = fixed(refined.Gain, 15, 3);
    const QString timeConstant = fixed(refined.TimeConstant, 15, 2);
    const QString deadTime = fixed(refined.DeadTime, 15, 1);
    hideQualityImages();
    UseModel(model(set), ctx_.State.Window, outer, refined.Gain, refined.TimeConstant, refined.DeadTime,
             ctx_.State.Data.SamplingTime);
    Edit_Gain->setText(gain);
    Edit_Time->setText(timeConstant);
    Edit_Delay->setText(deadTime);
    showUsedModel(set);
}

void ModelPage::saveModel() {
    FileDialog& dialog = ctx_.Files.SaveDialog_Model;
    if (!ctx_.Dialog.execute(dialog)) return;
    const AppState& state = ctx_.State;
    const double samplingTime = state.Data.SamplingTime;
    const QString fileName = QDir::toNativeSeparators(WithDefaultExtension(dialog.FileName, dialog.DefaultExt));
    TModel().SaveModelFile(fileName.toStdString(), state.Window.WindowLength,
                           TModel::SetOf(state.InnerModel, samplingTime), TModel::SetOf(state.OuterModel, samplingTime),
                           state.Window, LocaleDecimalSeparator(), state.InnerModel.Type, state.OuterModel.Type);
}

void ModelPage::loadModel() {
    FileDialog& dialog = ctx_.Files.OpenDialog_Model;
    if (!ctx_.Dialog.execute(dialog)) return;
    AppState& state = ctx_.State;
    TModel loaded;
    loaded.LoadModelFile(QDir::toNativeSeparators(dialog.FileName).toStdString(), state.Data.SamplingTime, state.Window,
                         LocaleDecimalSeparator());
    state.InnerModel = loaded.Inner;
    state.OuterModel = loaded.Outer;
    // The file's types become the choices; the self-regulating models behind
    // integrating ones are not in the file.
    const auto choiceOf = [](const ModelParameters& m) {
        return m.Type == ProcessType::Integrating ? ProcessChoice::Integrating : ProcessChoice::SelfRegulating;
    };
    state.InnerChoice = choiceOf(loaded.Inner);
    state.OuterChoice = choiceOf(loaded.Outer);
    state.SelfRegulatingInner = loaded.Inner.Type == ProcessType::SelfRegulating ? loaded.Inner : ModelParameters{};
    state.SelfRegulatingOuter = loaded.Outer.Type == ProcessType::SelfRegulating ? loaded.Outer : ModelParameters{};
    state.RefineIdentifiedModels();
    hideQualityImages();
    ShowModelResults(shownProcess(), Profile::A);
    SamplingWarning(QStringLiteral("Opozorilo: Vzorčenje je preredko"));
}

}  // namespace halvetra
