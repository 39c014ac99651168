#include "ui/RadioItems.h"
#include "ui/ControllerPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <limits>

#include "controller/ControllerCalculation.h"
#include "controller/OptimalRule.h"
#include "controller/RuleComparison.h"
#include "controller/TRegulator.h"
#include "data/Errors.h"
#include "data/NumberText.h"
#include "experiment/ControllerLoad.h"
#include "experiment/WriteLog.h"
#include "ui/AppState.h"
#include "ui/Chart.h"
#include "ui/Command.h"
#include "ui/CompareRulesWindow.h"
#include "ui/Dialogs.h"
#include "ui/MainDialogs.h"
#include "experiment/QualityWait.h"

namespace halvetra {

namespace {

constexpr unsigned ClosedLoopIColour = 16512;  // brown, as 0xBBGGRR

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A read-only figure: sunken, right-aligned, selectable for copying.
QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* label = named(new QLabel(QStringLiteral("0"), parent), name);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    label->setPalette(palette);
    label->setMinimumWidth(70);
    label->setContentsMargins(3, 0, 3, 0);
    return label;
}

QLineEdit* lineEdit(const char* name, const QString& text, int width, QWidget* parent) {
    auto* edit = named(new QLineEdit(text, parent), name);
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(width);
    return edit;
}

QFrame* rule(Qt::Orientation orientation, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Samples 0 .. n - 1 of a curve. A loop that diverges until its values
// overflow leaves a gap there rather than a line to infinity.
void drawCurve(QCPGraph* series, const std::vector<double>& time, const std::vector<double>& values, int n) {
    const std::size_t count = std::min({static_cast<std::size_t>(std::max(n, 0)), time.size(), values.size()});
    QVector<QCPGraphData> points;
    points.reserve(static_cast<int>(count));
    for (std::size_t k = 0; k < count; ++k) {
        if (!std::isfinite(time[k])) break;
        const double y = std::isfinite(values[k]) ? values[k] : std::numeric_limits<double>::quiet_NaN();
        points.append(QCPGraphData(time[k], y));
    }
    series->data()->set(points, true);
}

// The wait of a write to the controller: the connection's updates arrive as events.
void WaitingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); }

// The box "Calculation of scaled parameters" on the page's controls.
class ParametersWidgets final : public ParametersBox {
public:
    explicit ParametersWidgets(ControllerPage& page) : page_(page) {}

    void SetText(ParametersText control, const std::string& text) override {
        const QString shown = QString::fromStdString(text);
        switch (control) {
        case ParametersText::NLCaption: page_.Label_LabOjacSekv->setText(shown); return;
        case ParametersText::NameKp: page_.Label_Reg_Name_Kp->setText(shown); return;
        case ParametersText::NameKi: page_.Label_Reg_Name_Ki->setText(shown); return;
        case ParametersText::NameKd: page_.Label_Reg_Name_Kd->setText(shown); return;
        default: break;
        }
        // The calculation forms every value text before it writes any and
        // never gives one that is not finite.
        switch (control) {
        case ParametersText::NLValue: page_.Label_OjacSekv->setText(shown); return;
        case ParametersText::EditKp: page_.Edit_Reg_Kp->setText(shown); return;
        case ParametersText::EditKi: page_.Edit_Reg_Ki->setText(shown); return;
        case ParametersText::EditKd: page_.Edit_Reg_Kd->setText(shown); return;
        default: return;
        }
    }

    void SetEditVisible(ControllerTerm row, bool visible) override {
        QLineEdit* edit = row == ControllerTerm::P   ? page_.Edit_Reg_Kp
                          : row == ControllerTerm::I ? page_.Edit_Reg_Ki
                                                     : page_.Edit_Reg_Kd;
        edit->setVisible(visible);
    }

private:
    ControllerPage& page_;
};

}  // namespace

ControllerPage::ControllerPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    QWidget* leftPanel = buildLeftPanel();
    buildResponsesChart();
    QGroupBox* scaledBox = buildScaledParametersBox();

    auto* right = new QVBoxLayout;
    right->setSpacing(5);
    right->addWidget(Chart1, 1);
    right->addWidget(scaledBox, 0);

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(4, 4, 6, 6);
    page->setSpacing(8);
    page->addWidget(leftPanel, 0);
    page->addLayout(right, 1);

    showRobustnessFactor();
    connectSignals();
}

// The left column: the tuning, the response type, the sampling time, the
// gains, the figures and the buttons of the settings file, top to bottom.
QWidget* ControllerPage::buildLeftPanel() {
    QGroupBox* tuningBox = buildTuningBox();
    QGroupBox* responseTypeBox = buildResponseTypeBox();
    QGroupBox* samplingBox = buildSamplingBox();
    QGroupBox* gainsBox = buildGainsBox();
    QGroupBox* figuresBox = buildFiguresBox();

    Button9 = named(new QPushButton(QStringLiteral("Load to file"), this), "Button9");
    Button8 = named(new QPushButton(QStringLiteral("Load from file"), this), "Button8");

    auto* leftPanel = new QWidget(this);
    leftPanel->setFixedWidth(312);
    auto* left = new QVBoxLayout(leftPanel);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(5);
    left->addWidget(tuningBox);
    left->addWidget(responseTypeBox);
    left->addWidget(samplingBox);
    left->addWidget(gainsBox);
    left->addWidget(figuresBox);
    left->addStretch(1);
    auto* files = new QHBoxLayout;
    files->addWidget(Button9);
    files->addWidget(Button8);
    left->addLayout(files);
    return leftPanel;
}

// The tuning method and the robustness slider.
QGroupBox* ControllerPage::buildTuningBox() {
    auto* tuningBox = new QGroupBox(QStringLiteral("Tuning method"), this);
    ComboBox1 = named(new QComboBox(tuningBox), "ComboBox1");
    for (int method = 0; method < TuningMethodCount; ++method)
        ComboBox1->addItem(QString::fromUtf8(TuningMethodName(method)));
    ComboBox1->setCurrentIndex(0);

    ScrollBar_Robust = named(new QScrollBar(Qt::Horizontal, tuningBox), "ScrollBar_Robust");
    ScrollBar_Robust->setRange(0, 20);
    ScrollBar_Robust->setPageStep(2);
    ScrollBar_Robust->setValue(10);
    robustnessFactorLabel = named(new QLabel(tuningBox), "robustnessFactorLabel");
    robustnessFactorLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CheckBox_CascadeReg = named(new QCheckBox(QStringLiteral("Cascade"), tuningBox), "CheckBox_CascadeReg");

    auto* tuning = new QGridLayout(tuningBox);
    tuning->setVerticalSpacing(4);
    tuning->addWidget(ComboBox1, 0, 0, 1, 3);
    tuning->addWidget(new QLabel(QStringLiteral("Robustness"), tuningBox), 1, 0);
    tuning->addWidget(ScrollBar_Robust, 1, 1);
    tuning->addWidget(new QLabel(QStringLiteral("Speed"), tuningBox), 1, 2);
    tuning->addWidget(CheckBox_CascadeReg, 2, 0);
    tuning->addWidget(robustnessFactorLabel, 2, 1, 1, 2);
    tuning->setColumnStretch(1, 1);
    return tuningBox;
}

// "Type of closed-loop response": reference tracking or disturbance rejection.
QGroupBox* ControllerPage::buildResponseTypeBox() {
    RadioGroup_Motnja = named(new QGroupBox(QStringLiteral("Type of closed-loop response"), this), "RadioGroup_Motnja");
    auto* motnja = new QVBoxLayout(RadioGroup_Motnja);
    motnja->setSpacing(2);
    motnjaItems = AddRadioItems(RadioGroup_Motnja, {"Reference tracking", "Disturbance-rejection response"}, 0, motnja);
    return RadioGroup_Motnja;
}

// The closed loop's sampling time and the one recommended for the PI controller.
QGroupBox* ControllerPage::buildSamplingBox() {
    auto* samplingBox = new QGroupBox(QStringLiteral("Closed-loop sampling time"), this);
    Edit_Vzorcenje = lineEdit("Edit_Vzorcenje", QStringLiteral("1"), 80, samplingBox);
    Label_Priporocljiv = valueLabel("Label_Priporocljiv", samplingBox);
    Label_Priporocljiv->setFixedWidth(80);
    auto* sampling = new QGridLayout(samplingBox);
    sampling->setVerticalSpacing(4);
    sampling->addWidget(new QLabel(QStringLiteral("Sampling time [s]: "), samplingBox), 0, 0);
    sampling->addWidget(Edit_Vzorcenje, 0, 1, Qt::AlignRight);
    sampling->addWidget(new QLabel(QStringLiteral("Recommended s.t. [PI]  <="), samplingBox), 1, 0);
    sampling->addWidget(Label_Priporocljiv, 1, 1, Qt::AlignRight);
    sampling->setColumnStretch(0, 1);
    return samplingBox;
}

// The gains of the four controllers, one row each.
QGroupBox* ControllerPage::buildGainsBox() {
    auto* gainsBox = new QGroupBox(QStringLiteral("Controller gains"), this);
    Label_Ki = valueLabel("Label_Ki", gainsBox);
    Label_Kp_P = valueLabel("Label_Kp_P", gainsBox);
    Label_PI_Kp = valueLabel("Label_PI_Kp", gainsBox);
    Label_PI_Ti = valueLabel("Label_PI_Ti", gainsBox);
    Label_PID_Kp = valueLabel("Label_PID_Kp", gainsBox);
    Label_PID_Ti = valueLabel("Label_PID_Ti", gainsBox);
    Label_PID_Td = valueLabel("Label_PID_Td", gainsBox);
    Label_Kp_Cascade = valueLabel("Label_Kp_Cascade", gainsBox);
    auto* gains = new QGridLayout(gainsBox);
    gains->setHorizontalSpacing(4);
    gains->setVerticalSpacing(6);
    QFont bold = font();
    bold.setBold(true);
    const auto rowName = [gainsBox, &bold](const char* text) {
        auto* label = new QLabel(QString::fromUtf8(text), gainsBox);
        label->setFont(bold);
        return label;
    };
    const auto caption = [gainsBox](const char* text) { return new QLabel(QString::fromUtf8(text), gainsBox); };
    gains->addWidget(rowName("I"), 0, 0);
    gains->addWidget(caption("Ki:"), 0, 3, Qt::AlignLeft);
    gains->addWidget(Label_Ki, 0, 4);
    gains->addWidget(rowName("P"), 1, 0);
    gains->addWidget(caption("Kp:"), 1, 1, Qt::AlignLeft);
    gains->addWidget(Label_Kp_P, 1, 2);
    gains->addWidget(rowName("PI"), 2, 0);
    gains->addWidget(caption("Kp:"), 2, 1, Qt::AlignLeft);
    gains->addWidget(Label_PI_Kp, 2, 2);
    gains->addWidget(caption("Ki: "), 2, 3, Qt::AlignLeft);
    gains->addWidget(Label_PI_Ti, 2, 4);
    gains->addWidget(rowName("PID"), 3, 0);
    gains->addWidget(caption("Kp:"), 3, 1, Qt::AlignLeft);
    gains->addWidget(Label_PID_Kp, 3, 2);
    gains->addWidget(caption("Ki:"), 3, 3, Qt::AlignLeft);
    gains->addWidget(Label_PID_Ti, 3, 4);
    gains->addWidget(caption("Kd:"), 4, 3, Qt::AlignLeft);
    gains->addWidget(Label_PID_Td, 4, 4);
    gains->addWidget(rule(Qt::Horizontal, gainsBox), 5, 0, 1, 5);
    gains->addWidget(caption("Inner-loop proportional gain:"), 6, 0, 1, 4);
    gains->addWidget(Label_Kp_Cascade, 6, 4);
    gains->setColumnStretch(2, 1);
    gains->setColumnStretch(4, 1);
    return gainsBox;
}

// The open-loop and closed-loop responses, with the legend in one row below the axes.
void ControllerPage::buildResponsesChart() {
    Chart1 = new Chart("Chart1", "Open-loop (OL) and closed-loop (CL) responses", this);
    Chart1->setPlainBackground(Qt::white);
    Chart1->xAxis->setLabel(QStringLiteral("Time [s]"));
    LineSeries3 = Chart1->addLineSeries("CL I", ColorFromBgr(ClosedLoopIColour), false, Qt::DashLine, 1.5);
    Series3 = Chart1->addLineSeries("CL PI", Qt::blue, false, Qt::DashDotLine, 1.5);
    Series4 = Chart1->addLineSeries("CL PID", Qt::red, false, Qt::DashDotDotLine, 1.5);
    LineSeries4 = Chart1->addLineSeries("OL", Qt::gray, false, Qt::SolidLine, 1.5);
    Series5 = Chart1->addLineSeries("CL P", QColor(0, 150, 0), false, Qt::SolidLine, 1.5);
    LineSeries3->setObjectName("LineSeries3");
    Series3->setObjectName("Series3");
    Series4->setObjectName("Series4");
    LineSeries4->setObjectName("LineSeries4");
    Series5->setObjectName("Series5");
    // The legend in one row below the axes.
    Chart1->setLegendVisible(true);
    Chart1->axisRect()->insetLayout()->take(Chart1->legend);
    Chart1->plotLayout()->addElement(2, 0, Chart1->legend);
    Chart1->plotLayout()->setRowStretchFactor(2, 0.001);
    Chart1->legend->setFillOrder(QCPLegend::foColumnsFirst);
    Chart1->legend->setBorderPen(Qt::NoPen);
    Chart1->legend->setMargins(QMargins(4, 0, 4, 2));
    Chart1->legend->setIconSize(28, 10);
    Chart1->setMinimumSize(400, 250);
}

// "Calculation of scaled parameters": the controller's form and type, the
// additional scaling and the scaled values with the buttons that write them.
QGroupBox* ControllerPage::buildScaledParametersBox() {
    auto* scaledBox = new QGroupBox(QStringLiteral("Calculation of scaled parameters"), this);
    QVBoxLayout* formColumn = buildControllerFormColumn(scaledBox);
    QGridLayout* scaling = buildScalingColumn(scaledBox);
    QGridLayout* results = buildScaledValuesColumn(scaledBox);

    auto* scaled = new QHBoxLayout;
    scaled->setSpacing(10);
    scaled->addLayout(formColumn, 1);
    scaled->addWidget(rule(Qt::Vertical, scaledBox));
    scaled->addLayout(scaling);
    scaled->addWidget(rule(Qt::Vertical, scaledBox));
    scaled->addLayout(results);
    // The line under the columns keeps its height also while empty: marking
    // the values does not move the box.
    Label_ScaledOutOfDate = named(new QLabel(scaledBox), "Label_ScaledOutOfDate");
    Label_ScaledOutOfDate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label_ScaledOutOfDate->setMinimumHeight(fontMetrics().height());
    QPalette warning = Label_ScaledOutOfDate->palette();
    warning.setColor(QPalette::WindowText, QColor(150, 70, 0));
    Label_ScaledOutOfDate->setPalette(warning);
    auto* scaledRows = new QVBoxLayout(scaledBox);
    scaledRows->setSpacing(4);
    scaledRows->addLayout(scaled);
    scaledRows->addWidget(Label_ScaledOutOfDate);
    return scaledBox;
}

// The controller's form and type.
QVBoxLayout* ControllerPage::buildControllerFormColumn(QGroupBox* scaledBox) {
    ComboBox_Regulator = named(new QComboBox(scaledBox), "ComboBox_Regulator");
    for (const char* item : ControllerFormItems) ComboBox_Regulator->addItem(QString::fromUtf8(item));
    ComboBox_Regulator->setPlaceholderText(QStringLiteral("General parallel"));
    ComboBox_Regulator->setCurrentIndex(-1);
    ComboBox_Regulator->setMinimumWidth(180);

    RadioGroup_IzbiraTipaReg =
        named(new QGroupBox(QStringLiteral("Controller selection"), scaledBox), "RadioGroup_IzbiraTipaReg");
    auto* izbira = new QHBoxLayout(RadioGroup_IzbiraTipaReg);
    QStringList typeCaptions;
    for (const char* item : ControllerTypeItems) typeCaptions << QString::fromUtf8(item);
    izbiraTipaRegItems = AddRadioItems(RadioGroup_IzbiraTipaReg, typeCaptions, 2, izbira);

    auto* formColumn = new QVBoxLayout;
    formColumn->setSpacing(4);
    formColumn->addWidget(new QLabel(QStringLiteral("Controller form:"), scaledBox));
    formColumn->addWidget(ComboBox_Regulator);
    formColumn->addWidget(RadioGroup_IzbiraTipaReg);
    formColumn->addStretch(1);
    return formColumn;
}

// The additional scaling of the P, I and D terms.
QGridLayout* ControllerPage::buildScalingColumn(QGroupBox* scaledBox) {
    Edit_Reg_ScaleP = lineEdit("Edit_Reg_ScaleP", QStringLiteral("1"), 60, scaledBox);
    Edit_Reg_ScaleI = lineEdit("Edit_Reg_ScaleI", QStringLiteral("1"), 60, scaledBox);
    Edit_Reg_ScaleD = lineEdit("Edit_Reg_ScaleD", QStringLiteral("1"), 60, scaledBox);
    auto* scaling = new QGridLayout;
    scaling->setVerticalSpacing(4);
    scaling->addWidget(new QLabel(QStringLiteral("Additional scaling:"), scaledBox), 0, 0, 1, 2);
    const std::pair<const char*, QLineEdit*> scales[] = {
        {"P:", Edit_Reg_ScaleP}, {"I:", Edit_Reg_ScaleI}, {"D:", Edit_Reg_ScaleD}};
    for (int i = 0; i < 3; ++i) {
        scaling->addWidget(new QLabel(QString::fromUtf8(scales[i].first), scaledBox), i + 1, 0, Qt::AlignRight);
        scaling->addWidget(scales[i].second, i + 1, 1);
    }
    scaling->setRowStretch(4, 1);
    return scaling;
}

// The scaled values with their names in the chosen form, the gain of the
// non-linearity, and the buttons that write them to the controller.
QGridLayout* ControllerPage::buildScaledValuesColumn(QGroupBox* scaledBox) {
    Label_Reg_Name_Kp = named(new QLabel(QStringLiteral("Kp:"), scaledBox), "Label_Reg_Name_Kp");
    Label_Reg_Name_Ki = named(new QLabel(QStringLiteral("Ki:"), scaledBox), "Label_Reg_Name_Ki");
    Label_Reg_Name_Kd = named(new QLabel(QStringLiteral("Kd:"), scaledBox), "Label_Reg_Name_Kd");
    Edit_Reg_Kp = lineEdit("Edit_Reg_Kp", QString(), 110, scaledBox);
    Edit_Reg_Ki = lineEdit("Edit_Reg_Ki", QString(), 110, scaledBox);
    Edit_Reg_Kd = lineEdit("Edit_Reg_Kd", QString(), 110, scaledBox);
    Label_LabOjacSekv = named(new QLabel(scaledBox), "Label_LabOjacSekv");
    Label_OjacSekv = named(new QLabel(scaledBox), "Label_OjacSekv");
    Label_OjacSekv->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Room for the non-linearity's gain also while a single loop leaves it empty.
    for (QLabel* label : {Label_LabOjacSekv, Label_OjacSekv}) label->setMinimumHeight(fontMetrics().height());
    auto* results = new QGridLayout;
    results->setVerticalSpacing(4);
    results->addWidget(new QLabel(QStringLiteral("Scaled values:"), scaledBox), 0, 0, 1, 2);
    const std::pair<QLabel*, QLineEdit*> rows[] = {
        {Label_Reg_Name_Kp, Edit_Reg_Kp}, {Label_Reg_Name_Ki, Edit_Reg_Ki}, {Label_Reg_Name_Kd, Edit_Reg_Kd}};
    for (int i = 0; i < 3; ++i) {
        rows[i].first->setMinimumWidth(32);
        rows[i].first->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        results->addWidget(rows[i].first, i + 1, 0);
        results->addWidget(rows[i].second, i + 1, 1);
    }
    results->addWidget(Label_LabOjacSekv, 4, 0, 1, 2, Qt::AlignLeft);
    results->addWidget(Label_OjacSekv, 5, 0, 1, 2);
    results->setRowStretch(6, 1);
    Button16 = named(new QPushButton(QStringLiteral("Load to controller"), scaledBox), "Button16");
    results->addWidget(Button16, 7, 0, 1, 2);
    Button_RestoreParameters =
        named(new QPushButton(QStringLiteral("Restore previous parameters"), scaledBox), "Button_RestoreParameters");
    Button_RestoreParameters->setEnabled(false);
    Button_RestoreParameters->setToolTip(QStringLiteral(
        "Writes back the P, I and D values (and the M/A item's value) that the controller held before the last "
        "\"Load to controller\"."));
    results->addWidget(Button_RestoreParameters, 8, 0, 1, 2);
    return results;
}

void ControllerPage::connectSignals() {
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &ControllerPage::ComboBox1Change);
    connect(CheckBox_CascadeReg, &QCheckBox::toggled, this, &ControllerPage::CheckBox_CascadeRegClick);
    connect(ScrollBar_Robust, &QScrollBar::valueChanged, this, &ControllerPage::showRobustnessFactor);
    connect(ScrollBar_Robust, &QScrollBar::valueChanged, this, &ControllerPage::ScrollBar_RobustChange);
    connect(ScrollBar_Robust, &QScrollBar::sliderReleased, this, [this] {
        if (ComboBox1->currentIndex() == OptimalMs) ScrollBar_RobustChange();
    });
    connect(motnjaItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup_MotnjaClick();
    });
    connect(Edit_Vzorcenje, &QLineEdit::returnPressed, this, &ControllerPage::Edit_VzorcenjeKeyPress);
    connect(ComboBox_Regulator, &QComboBox::currentIndexChanged, this, &ControllerPage::ComboBox_RegulatorChange);
    connect(izbiraTipaRegItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup_IzbiraTipaRegClick();
    });
    connect(Edit_Reg_ScaleP, &QLineEdit::returnPressed, this, &ControllerPage::Edit_Reg_ScalePKeyPress);
    connect(Edit_Reg_ScaleI, &QLineEdit::returnPressed, this, &ControllerPage::Edit_Reg_ScaleIKeyPress);
    connect(Edit_Reg_ScaleD, &QLineEdit::returnPressed, this, &ControllerPage::Edit_Reg_ScaleDKeyPress);
    connect(Button_CompareRules, &QPushButton::clicked, this,
            [this] { RunCommand(ctx_.Dialog, [this] { ShowCompareRules(); }); });
    connect(Button9, &QPushButton::clicked, this, &ControllerPage::Button9Click);
    connect(Button8, &QPushButton::clicked, this, &ControllerPage::Button8Click);
    connect(Button16, &QPushButton::clicked, this, &ControllerPage::Button16Click);
    connect(Button_RestoreParameters, &QPushButton::clicked, this, &ControllerPage::Button_RestoreParametersClick);
    // Values the user types are the user's own: they are written as typed and never out of date.
    for (QLineEdit* edit : {Edit_Reg_Kp, Edit_Reg_Ki, Edit_Reg_Kd})
        connect(edit, &QLineEdit::textEdited, this, [this] {
            scaledBasis_.Valid = false;
            markScaledValues();
        });
}

// The table of the closed loops' figures under the gains, with the button
// that opens the comparison of the rules.
QGroupBox* ControllerPage::buildFiguresBox() {
    auto* box = new QGroupBox(QStringLiteral("Robustness and performance"), this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(2);
    const char* headers[FigureColumns] = {"Ms", "GM", "PM [\u00b0]", "IAE set point", "IAE disturbance"};
    const char* tips[FigureColumns] = {
        "Maximum sensitivity: the largest amplification of a disturbance by the loop. 1.2\u20131.4 robust "
        "(green), 1.4\u20132 normal, above 2 aggressive (red).",
        "Gain margin: by how much the loop gain may grow before the loop becomes unstable (\u2014: no phase "
        "crossing).",
        "Phase margin [\u00b0]: the phase lag the loop may gain at its crossover before it becomes unstable "
        "(\u2014: no gain crossing).",
        "Integrated absolute error \u03a3|R \u2212 y|\u00b7Ts after a unit set-point step, until the loop has "
        "settled.",
        "Integrated absolute error after the load step of the disturbance-rejection response (1/K at the process "
        "input), until the loop has settled."};
    const char* shortHeaders[FigureColumns] = {"Ms", "GM", "PM [\u00b0]", "IAE sp", "IAE dist"};
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.9);
    for (int c = 0; c < FigureColumns; ++c) {
        auto* header = new QLabel(QString::fromUtf8(shortHeaders[c]), box);
        header->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        header->setToolTip(QString::fromUtf8(headers[c]) + QStringLiteral(": ") + QString::fromUtf8(tips[c]));
        header->setFont(small);
        grid->addWidget(header, 0, c + 1);
    }
    const std::pair<int, const char*> rows[] = {{TypeI, "I"}, {TypeP, "P"}, {TypePI, "PI"}, {TypePID, "PID"}};
    for (int r = 0; r < 4; ++r) {
        const auto [type, name] = rows[r];
        auto* rowName = new QLabel(QString::fromLatin1(name), box);
        QFont bold = small;
        bold.setBold(true);
        rowName->setFont(bold);
        grid->addWidget(rowName, r + 1, 0);
        for (int c = 0; c < FigureColumns; ++c) {
            const QByteArray objectName = QByteArray("Label_Figure_") + name + "_" + QByteArray::number(c);
            QLabel* cell = valueLabel(objectName.constData(), box);
            cell->setText(QStringLiteral("\u2014"));
            cell->setMinimumWidth(0);
            cell->setFont(small);
            cell->setToolTip(QString::fromUtf8(headers[c]) + QStringLiteral(": ") + QString::fromUtf8(tips[c]));
            grid->addWidget(cell, r + 1, c + 1);
            FigureLabels[static_cast<std::size_t>(type)][static_cast<std::size_t>(c)] = cell;
        }
    }
    for (int c = 1; c <= FigureColumns; ++c) grid->setColumnStretch(c, 1);
    Button_CompareRules = named(new QPushButton(QStringLiteral("Compare rules..."), box), "Button_CompareRules");
    Button_CompareRules->setToolTip(QStringLiteral(
        "Every tuning rule for this model, robustness and sampling time, with its gains and figures side by side."));
    grid->addWidget(Button_CompareRules, 5, 0, 1, FigureColumns + 1, Qt::AlignRight);
    return box;
}

// --- Handlers ---

void ControllerPage::ComboBox1Change() {
    showRobustnessFactor();
    recalculate(true);
}

void ControllerPage::CheckBox_CascadeRegClick() { recalculate(true); }

void ControllerPage::ScrollBar_RobustChange() {
    // The optimal rule searches for its gains: while the thumb is dragged it
    // waits for the release rather than searching at every position passed.
    if (ComboBox1->currentIndex() == OptimalMs && ScrollBar_Robust->isSliderDown()) return;
    recalculate(false);
}

void ControllerPage::RadioGroup_MotnjaClick() { recalculate(false); }

void ControllerPage::Edit_VzorcenjeKeyPress() {
    RunCommand(ctx_.Dialog, [this] { CalculateController(); });
}

void ControllerPage::ComboBox_RegulatorChange() { refreshParameters(); }

void ControllerPage::RadioGroup_IzbiraTipaRegClick() { refreshParameters(); }

void ControllerPage::Edit_Reg_ScalePKeyPress() {
    RunCommand(ctx_.Dialog, [this] { ShowControllerParameters(); });
}

void ControllerPage::Edit_Reg_ScaleIKeyPress() {
    RunCommand(ctx_.Dialog, [this] { ShowControllerParameters(); });
}

void ControllerPage::Edit_Reg_ScaleDKeyPress() {
    RunCommand(ctx_.Dialog, [this] { ShowControllerParameters(); });
}

void ControllerPage::Button9Click() {
    RunCommand(ctx_.Dialog, [this] { saveSettings(); });
}

void ControllerPage::Button8Click() {
    RunCommand(ctx_.Dialog, [this] { loadSettings(); });
}

void ControllerPage::Button16Click() {
    // The wait below keeps the window's events flowing: no second press meanwhile.
    if (!Button16->isEnabled()) return;
    Button16->setEnabled(false);
    Button_RestoreParameters->setEnabled(false);
    RunCommand(ctx_.Dialog, [this] { loadToController(); });
    Button16->setEnabled(true);
    Button_RestoreParameters->setEnabled(!previous_.Empty());
}

void ControllerPage::Button_RestoreParametersClick() {
    if (!Button_RestoreParameters->isEnabled() || !Button16->isEnabled()) return;
    Button16->setEnabled(false);
    Button_RestoreParameters->setEnabled(false);
    RunCommand(ctx_.Dialog, [this] { restoreParameters(); });
    Button16->setEnabled(true);
    Button_RestoreParameters->setEnabled(!previous_.Empty());
}

void ControllerPage::recalculate(bool withParameters) {
    if (ctx_.State.ApplyingAutomaticSettings || settingControls_) return;
    RunCommand(ctx_.Dialog, [this, withParameters] {
        CalculateController();
        if (withParameters) ShowControllerParameters();
    });
}

void ControllerPage::refreshParameters() {
    if (ctx_.State.ApplyingAutomaticSettings || settingControls_) return;
    RunCommand(ctx_.Dialog, [this] { ShowControllerParameters(); });
}

// The factor of the slider's position; for the optimal rule, whose gains are
// the optimum itself, the largest maximum sensitivity the position allows.
void ControllerPage::showRobustnessFactor() {
    const char separator = LocaleDecimalSeparator();
    const int position = ScrollBar_Robust->value();
    robustnessFactorLabel->setText(
        ComboBox1->currentIndex() == OptimalMs
            ? QStringLiteral("Ms \u2264 ") +
                  QString::fromStdString(FormatFixed(OptimalMsTarget(position), 15, 2, separator))
            : QStringLiteral("Factor: ") +
                  QString::fromStdString(FormatFixed(RobustnessFactor(position), 15, 4, separator)));
}

// --- Calculation ---

void ControllerPage::CalculateController() {
    CalculateController(ComboBox1->currentIndex(), ScrollBar_Robust->value(), motnjaItems->checkedId(),
                        Edit_Vzorcenje->text(), CheckBox_CascadeReg->isChecked());
}

void ControllerPage::CalculateController(int method, int robustPosition, int responseType, const QString& samplingTime,
                                         bool cascade) {
    AppState& state = ctx_.State;
    const char separator = LocaleDecimalSeparator();

    // Rules that do not tune the models' process types are shown disabled;
    // a chosen one gives way to SIMC, which tunes every type.
    if (!enableApplicableMethods(cascade) && ComboBox1->currentIndex() == method) {
        if (ctx_.ShowStatus)
            ctx_.ShowStatus(QString::fromStdString(TuningMethodRefusal(method)) + QStringLiteral(": SIMC chosen"));
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->setCurrentIndex(Simc);
        showRobustnessFactor();
        method = Simc;
    }

    // A tuning that overflows ends the command before the page's state changes.
    // The optimal rule tunes the loop at its sampling time, so for it the
    // edit is read first.
    const double tuningTs = method == OptimalMs
                                ? ResolveLoopSamplingTime(samplingTime.toStdString(), state.LoopSamplingTime, separator)
                                : state.LoopSamplingTime;
    const ControllerTuning tuning = state.Tune(method, robustPosition, cascade, tuningTs);
    lastMethod_ = method;
    lastRobustPosition_ = robustPosition;
    lastCascade_ = cascade;
    markScaledValues();

    const ControllerLabels labels = FormatControllerLabels(tuning, separator);
    const std::pair<QLabel*, const std::string&> shown[] = {{Label_Kp_Cascade, labels.Label_Kp_Cascade},
                                                            {Label_Ki, labels.Label_Ki},
                                                            {Label_Kp_P, labels.Label_Kp_P},
                                                            {Label_PI_Kp, labels.Label_PI_Kp},
                                                            {Label_PI_Ti, labels.Label_PI_Ti},
                                                            {Label_PID_Kp, labels.Label_PID_Kp},
                                                            {Label_PID_Ti, labels.Label_PID_Ti},
                                                            {Label_PID_Td, labels.Label_PID_Td},
                                                            {Label_Priporocljiv, labels.Label_Priporocljiv}};
    for (const auto& [label, text] : shown) label->setText(QString::fromStdString(text));
    for (int type = TypeI; type <= TypeP; ++type)
        defined_[static_cast<std::size_t>(type)] = ControllerDefined(tuning, type);
    // The figures belong to the gains shown: none until they are computed.
    ShowFigures({});

    // From here on a failure leaves the chart as it was.
    const double Ts = ResolveLoopSamplingTime(samplingTime.toStdString(), state.LoopSamplingTime, separator);
    state.LoopSamplingTime = Ts;
    const ControllerSimulation simulation =
        SimulateController(tuning, responseType, Ts, state.InnerModel, state.OuterModel);
    DrawControllerChart(simulation);
    ShowFigures(ComputeControllerFigures(tuning, Ts, state.InnerModel, state.OuterModel));
    refreshCompareRules();
}

void ControllerPage::ShowFigures(const ControllerFigures& figures) {
    figures_ = figures;
    const char separator = LocaleDecimalSeparator();
    for (std::size_t type = 0; type < figures.size(); ++type) {
        const LoopFigureTexts texts = FormatLoopFigures(figures[type], separator);
        for (std::size_t c = 0; c < texts.size(); ++c) FigureLabels[type][c]->setText(QString::fromStdString(texts[c]));
        // The Ms cell shows its band by colour.
        QLabel* ms = FigureLabels[type][0];
        QPalette palette = ms->palette();
        QColor colour = Qt::white;
        QString band;
        if (figures[type] && figures[type]->Stable && figures[type]->Ms) {
            switch (BandOfMs(*figures[type]->Ms)) {
            case RobustnessBand::Robust:
                colour = QColor(200, 235, 200);
                band = QStringLiteral("robust");
                break;
            case RobustnessBand::Normal: band = QStringLiteral("normal"); break;
            case RobustnessBand::Aggressive:
                colour = QColor(255, 200, 190);
                band = QStringLiteral("aggressive");
                break;
            }
        } else if (figures[type] && !figures[type]->Stable) {
            colour = QColor(255, 200, 190);
        }
        palette.setColor(QPalette::Window, colour);
        ms->setPalette(palette);
        ms->setStatusTip(band);
    }
}

void ControllerPage::DrawControllerChart(const ControllerSimulation& simulation) {
    const int n = simulation.Horizon.SampleCount;
    const auto shown = [&](int type) { return defined_[static_cast<std::size_t>(type)] ? n : 0; };
    drawCurve(LineSeries3, simulation.Time, simulation.ClosedLoop[TypeI], shown(TypeI));
    drawCurve(LineSeries4, simulation.Time, simulation.OpenLoop, n);
    drawCurve(Series3, simulation.Time, simulation.ClosedLoop[TypePI], shown(TypePI));
    drawCurve(Series4, simulation.Time, simulation.ClosedLoop[TypePID], shown(TypePID));
    drawCurve(Series5, simulation.Time, simulation.ClosedLoop[TypeP], shown(TypeP));
    Chart1->fixValueAxis(simulation.ValueAxis.Lower, simulation.ValueAxis.Upper);
    Chart1->fitKeyAxis();
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

// Enables the methods that tune the process types of the models (both in a
// cascade), with the refusal as the tooltip of the others; whether the
// current method is one that applies.
bool ControllerPage::enableApplicableMethods(bool cascade) {
    const AppState& state = ctx_.State;
    auto* items = qobject_cast<QStandardItemModel*>(ComboBox1->model());
    if (!items) return true;
    for (int method = 0; method < ComboBox1->count(); ++method) {
        const bool applies = TuningMethodApplies(method, state.InnerModel.Type) &&
                             (!cascade || TuningMethodApplies(method, state.OuterModel.Type));
        QStandardItem* item = items->item(method);
        item->setEnabled(applies);
        item->setToolTip(applies ? QString() : QString::fromStdString(TuningMethodRefusal(method)));
    }
    const QStandardItem* current = items->item(ComboBox1->currentIndex());
    return current == nullptr || current->isEnabled();
}

// --- Comparison of the rules ---

void ControllerPage::ShowCompareRules() {
    if (!CompareRules) {
        CompareRules = new CompareRulesWindow(this);
        connect(CompareRules, &CompareRulesWindow::MethodChosen, this, [this](int method) {
            if (method != ComboBox1->currentIndex()) ComboBox1->setCurrentIndex(method);
        });
        connect(CompareRules, &CompareRulesWindow::TypeChanged, this,
                [this] { RunCommand(ctx_.Dialog, [this] { refreshCompareRules(); }); });
        // The page's controller, when it is a PI or PID one.
        if (izbiraTipaRegItems->checkedId() == 3) CompareRules->ComboBox_CompareType->setCurrentIndex(1);
    }
    CompareRules->show();
    CompareRules->raise();
    CompareRules->activateWindow();
    refreshCompareRules();
}

void ControllerPage::refreshCompareRules() {
    if (!CompareRules || !CompareRules->isVisible()) return;
    const AppState& state = ctx_.State;
    const char separator = LocaleDecimalSeparator();
    const bool cascade = CheckBox_CascadeReg->isChecked();
    const int position = ScrollBar_Robust->value();
    const double Ts = state.LoopSamplingTime;
    const auto number = [separator](double value) {
        return QString::fromStdString(FormatGeneral(value, 4, separator));
    };
    const ModelParameters& model = cascade ? state.OuterModel : state.InnerModel;
    const QString basis =
        QStringLiteral("%1 model K = %2, T = %3 s, L = %4 s; robustness %5 (factor %6); Ts = %7 s")
            .arg(cascade ? QStringLiteral("Outer") : QStringLiteral("Process"), number(model.Gain),
                 number(model.TimeConstant), number(model.DeadTime), QString::number(position),
                 QString::fromStdString(FormatFixed(RobustnessFactor(position), 15, 4, separator)), number(Ts));
    CompareRules->ShowRows(halvetra::CompareRules(CompareRules->ControllerType(), position, cascade, state.InnerModel,
                                                  state.OuterModel, Ts),
                           ComboBox1->currentIndex(), basis);
}

// --- Scaled parameters ---

void ControllerPage::ShowControllerParameters() {
    ShowControllerParameters(ComboBox_Regulator->currentIndex(), izbiraTipaRegItems->checkedId(),
                             CheckBox_CascadeReg->isChecked());
}

void ControllerPage::ShowControllerParameters(int form, int controllerType, bool cascade) {
    const AppState& state = ctx_.State;
    const char separator = LocaleDecimalSeparator();
    const double q = NonLinearityGain(cascade);
    ParametersWidgets box(*this);
    halvetra::ShowControllerParameters(
        form, controllerType, cascade, cascade ? state.CascadeResult : state.SingleLoopResult, state.RobustnessFactor,
        q,
        ScaleTexts(Edit_Reg_ScaleP->text().toStdString(), Edit_Reg_ScaleI->text().toStdString(),
                   Edit_Reg_ScaleD->text().toStdString(), separator),
        separator, box);
    lastCascade_ = cascade;
    scaledBasis_ = stateBasis(cascade);
    markScaledValues();
}

// --- Scaled values that are out of date ---

ControllerPage::GainBasis ControllerPage::stateBasis(bool cascade) const {
    const AppState& state = ctx_.State;
    GainBasis basis;
    basis.Valid = true;
    basis.Method = lastMethod_;
    basis.RobustPosition = lastRobustPosition_;
    basis.Cascade = cascade;
    basis.Inner = state.InnerModel;
    basis.Outer = state.OuterModel;
    basis.Result = cascade ? state.CascadeResult : state.SingleLoopResult;
    basis.Factor = state.RobustnessFactor;
    return basis;
}

// The values in the edits are out of date when the gains they were scaled
// from differ from the gains now tuned; the reasons are the settings of the
// tuning that differ. Moving back to the same gains makes them current again.
void ControllerPage::markScaledValues() {
    QStringList reasons;
    if (scaledBasis_.Valid) {
        const GainBasis now = stateBasis(lastCascade_);
        const GainBasis& then = scaledBasis_;
        if (now.Cascade != then.Cascade || !(now.Result == then.Result) || now.Factor != then.Factor) {
            if (now.RobustPosition != then.RobustPosition) reasons << QStringLiteral("robustness");
            if (now.Method != then.Method) reasons << QStringLiteral("method");
            if (now.Cascade != then.Cascade) reasons << QStringLiteral("cascade");
            if (!(now.Inner == then.Inner) || !(now.Outer == then.Outer)) reasons << QStringLiteral("model");
            if (reasons.isEmpty()) reasons << QStringLiteral("tuning");
        }
    }
    outOfDate_ = reasons.join(QStringLiteral(", "));
    const bool stale = !outOfDate_.isEmpty();
    Label_ScaledOutOfDate->setText(
        stale ? QStringLiteral("Scaled values computed for the previous gains (changed: %1)").arg(outOfDate_)
              : QString());
    Label_ScaledOutOfDate->setToolTip(
        stale ? QStringLiteral("Choose the controller again or press Enter in a scaling box to compute the scaled "
                               "values for the gains shown.")
              : QString());
    for (QLineEdit* edit : {Edit_Reg_Kp, Edit_Reg_Ki, Edit_Reg_Kd}) {
        QPalette palette;  // inherits every colour
        if (stale) {
            palette = edit->palette();
            palette.setColor(QPalette::Base, QColor(255, 226, 160));
        }
        edit->setPalette(palette);
    }
}

QString ControllerPage::ScaledValuesNote() const {
    if (outOfDate_.isEmpty()) return {};
    return QStringLiteral(
               "The scaled values were computed for the previous gains (changed: %1), not for the gains "
               "in the table above.")
        .arg(outOfDate_);
}

QString ControllerPage::confirmationText() const {
    const auto line = [](const std::array<QString, 3>& texts) {
        const char* terms[3] = {"P term", "I term", "D term"};
        QStringList parts;
        for (std::size_t i = 0; i < texts.size(); ++i)
            parts << QString::fromLatin1(terms[i]) + ": " + (texts[i].isEmpty() ? QStringLiteral("0") : texts[i]);
        // Not a comma between them: it may be the decimal separator.
        return QStringLiteral("    ") + parts.join(QStringLiteral("    "));
    };
    const std::array<QString, 3> written = {Edit_Reg_Kp->text(), Edit_Reg_Ki->text(), Edit_Reg_Kd->text()};
    QString present;
    try {
        // The box as a refresh would fill it, without touching the page.
        const AppState& state = ctx_.State;
        const bool cascade = CheckBox_CascadeReg->isChecked();
        const char separator = LocaleDecimalSeparator();
        ParametersBoxState box;
        halvetra::ShowControllerParameters(
            ComboBox_Regulator->currentIndex(), izbiraTipaRegItems->checkedId(), cascade,
            cascade ? state.CascadeResult : state.SingleLoopResult, state.RobustnessFactor, NonLinearityGain(cascade),
            ScaleTexts(Edit_Reg_ScaleP->text().toStdString(), Edit_Reg_ScaleI->text().toStdString(),
                       Edit_Reg_ScaleD->text().toStdString(), separator),
            separator, box);
        present = line({QString::fromStdString(box.Text(ParametersText::EditKp)),
                        QString::fromStdString(box.Text(ParametersText::EditKi)),
                        QString::fromStdString(box.Text(ParametersText::EditKd))});
    } catch (const std::exception& e) {
        present = QStringLiteral("cannot be computed: ") + QString::fromUtf8(e.what());
    }
    return QStringLiteral(
               "The scaled values were computed for the previous gains (changed: %1).\n\n"
               "The values in the boxes, which would be written:\n%2\n"
               "The values for the gains now shown:\n%3\n\n"
               "Write the values in the boxes to the controller?")
        .arg(outOfDate_, line(written), present);
}

double ControllerPage::NonLinearityGain(bool cascade) const {
    if (!cascade || !NonLinearity) return 1.0;
    const NonLinearityTexts nl = NonLinearity();
    if (!nl.Active) return 1.0;
    const char separator = LocaleDecimalSeparator();
    const double minimum = TextToFloat(nl.MinimumY1.toStdString(), separator);
    const double maximum = TextToFloat(nl.MaximumY1.toStdString(), separator);
    return MaxGainOfNL(nl.Table, minimum, maximum, separator);
}

// --- Controller file ---

void ControllerPage::saveSettings() {
    FileDialog& dialog = ctx_.Files.SaveDialog_Controller;
    if (!ctx_.Dialog.execute(dialog)) return;
    ControllerSettings settings;
    settings.SamplingTimeText = Edit_Vzorcenje->text().toStdString();
    settings.Method = ComboBox1->currentIndex();
    settings.ResponseType = motnjaItems->checkedId();
    settings.Form = ComboBox_Regulator->currentIndex();
    settings.ControllerType = izbiraTipaRegItems->checkedId();
    settings.RobustPosition = ScrollBar_Robust->value();
    settings.ScaleP = Edit_Reg_ScaleP->text().toStdString();
    settings.ScaleI = Edit_Reg_ScaleI->text().toStdString();
    settings.ScaleD = Edit_Reg_ScaleD->text().toStdString();
    settings.Cascade = CheckBox_CascadeReg->isChecked();
    const QString fileName = QDir::toNativeSeparators(WithDefaultExtension(dialog.FileName, dialog.DefaultExt));
    TRegulator::SaveControllerFile(fileName.toStdString(), ctx_.State.InnerModel, ctx_.State.OuterModel, settings,
                                   LocaleDecimalSeparator());
}

void ControllerPage::loadSettings() {
    FileDialog& dialog = ctx_.Files.OpenDialog_Controller;
    if (!ctx_.Dialog.execute(dialog)) return;
    AppState& state = ctx_.State;
    const ControllerSettings settings =
        TRegulator::LoadControllerFile(QDir::toNativeSeparators(dialog.FileName).toStdString(), state.InnerModel,
                                       state.OuterModel, LocaleDecimalSeparator());
    {
        // One recalculation with every setting in place, not one per control.
        const QScopedValueRollback<bool> quiet(settingControls_, true);
        Edit_Vzorcenje->setText(QString::fromStdString(settings.SamplingTimeText));
        ComboBox1->setCurrentIndex(settings.Method);
        ScrollBar_Robust->setValue(settings.RobustPosition);
        SetItemIndex(motnjaItems, settings.ResponseType);
        ComboBox_Regulator->setCurrentIndex(settings.Form);
        SetItemIndex(izbiraTipaRegItems, settings.ControllerType);
        Edit_Reg_ScaleP->setText(QString::fromStdString(settings.ScaleP));
        Edit_Reg_ScaleI->setText(QString::fromStdString(settings.ScaleI));
        Edit_Reg_ScaleD->setText(QString::fromStdString(settings.ScaleD));
        CheckBox_CascadeReg->setChecked(settings.Cascade);
    }
    CalculateController();
    ShowControllerParameters();
}

// --- Writing to the plant's controller ---

void ControllerPage::loadToController() {
    PlantAccess& plant = ctx_.Plant;
    AppState& state = ctx_.State;
    // Values scaled from gains the page no longer shows are written only when the user says so.
    if (!outOfDate_.isEmpty() && !ctx_.Dialog.confirm(confirmationText())) return;
    if (!state.ControllerGroup) throw HalvetraError("The controller group of the plant connection is missing.");
    // The values are the ones shown at the press, also if the user types on during the wait.
    const std::array<std::string, 3> texts = {Edit_Reg_Kp->text().toStdString(), Edit_Reg_Ki->text().toStdString(),
                                              Edit_Reg_Kd->text().toStdString()};
    const std::array<SignalRole, 3> roles = {SignalRole::InnerP, SignalRole::InnerI, SignalRole::InnerD};
    std::array<std::string, 3> ids;
    for (std::size_t i = 0; i < roles.size(); ++i) ids[i] = SignalItem ? SignalItem(roles[i]) : std::string();

    // The wait for the items' qualities keeps the window alive; the tick lets
    // it notice the end of its time when no event comes.
    QTimer tick;
    tick.start(10);
    ControllerWriteOptions options;
    options.ModeItemId = SignalItem ? SignalItem(SignalRole::InnerMA) : std::string();
    options.Previous = &previous_;
    options.Log = state.Writes;
    reportingLogFailures([&] {
        LoadToController(plant, *state.ControllerGroup, ids, texts, LocaleDecimalSeparator(), state.ControllerItems,
                         ctx_.Time, WaitingEvents, QualityWaitMs, options);
    });
}

void ControllerPage::restoreParameters() {
    AppState& state = ctx_.State;
    if (previous_.Empty()) return;
    if (!state.ControllerGroup) throw HalvetraError("The controller group of the plant connection is missing.");
    QTimer tick;
    tick.start(10);
    reportingLogFailures([&] {
        RestoreController(ctx_.Plant, *state.ControllerGroup, previous_, state.ControllerItems, ctx_.Time,
                          WaitingEvents, QualityWaitMs, state.Writes);
    });
    QStringList values;
    for (std::size_t i = 0; i < previous_.Ids.size(); ++i)
        values << QString::fromStdString(previous_.Ids[i]) + " = " +
                      QString::fromStdString(FormatGeneral(previous_.Values[i], 15, LocaleDecimalSeparator()));
    // Written back: nothing is left to restore until the next "Load to controller".
    previous_ = {};
    if (ctx_.ShowStatus)
        ctx_.ShowStatus(QStringLiteral("Previous controller parameters restored: ") + values.join(", "));
}

// Runs a write; a write log that could not take its lines is told after the
// write, with the write's own failure when there is one.
void ControllerPage::reportingLogFailures(const std::function<void()>& write) {
    WriteLog* log = ctx_.State.Writes;
    const int failures = log ? log->Failures() : 0;
    const auto logFailure = [&]() -> QString {
        return log && log->Failures() != failures ? QString::fromStdString(log->LastFailure()) : QString();
    };
    try {
        write();
    } catch (const std::exception& e) {
        const QString failure = logFailure();
        if (failure.isEmpty()) throw;
        throw HalvetraError(std::string(e.what()) + "\n\n" + failure.toStdString());
    }
    if (const QString failure = logFailure(); !failure.isEmpty()) ctx_.Dialog.showMessage(failure);
}

}  // namespace halvetra
