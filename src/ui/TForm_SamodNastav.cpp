#include "ui/RadioItems.h"
#include "ui/TForm_SamodNastav.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <tuple>

#include "controller/TRegulator.h"
#include "data/NumberText.h"
#include "ui/Command.h"
#include "ui/PageContext.h"

namespace halvetra {

namespace {

// The layout of a radio group's items: one under the other.
QVBoxLayout* verticalItems(QGroupBox* group) {
    auto* layout = new QVBoxLayout(group);
    layout->setSpacing(2);
    return layout;
}

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QLineEdit* edit(const char* name, const char* text, QWidget* parent) {
    auto* box = named(new QLineEdit(QString::fromUtf8(text), parent), name);
    box->setAlignment(Qt::AlignRight);
    box->setMaximumWidth(90);
    return box;
}

QCheckBox* check(const char* name, const char* caption, bool checked, QWidget* parent) {
    auto* box = named(new QCheckBox(QString::fromUtf8(caption), parent), name);
    box->setChecked(checked);
    return box;
}

std::string text(const QLineEdit* box) { return box->text().toStdString(); }
void setText(QLineEdit* box, const std::string& value) { box->setText(QString::fromStdString(value)); }

}  // namespace

TForm_SamodNastav::TForm_SamodNastav(Dialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setObjectName("Form_SamodNastav");
    setWindowTitle("Additional settings for automatic experiment");

    QGroupBox* filterBox = buildFilterBox();
    QGroupBox* actuatorBox = buildActuatorBox();
    QGroupBox* methodBox = buildMethodBox();
    QGroupBox* samplingBox = buildSamplingBox();
    QGroupBox* robustBox = buildRobustnessBox();
    QGroupBox* responseBox = buildResponseTypeBox();
    QGroupBox* scaledBox = buildScaledParametersBox();

    CheckBox_Sam_Cascade = check("CheckBox_Sam_Cascade", "Cascade controller", false, this);
    CheckBox_Sam_Nalozi = check("CheckBox_Sam_Nalozi", "Save parameters to controller", false, this);
    CheckBox_Sam_Nalozi->setEnabled(false);
    CheckBox_Sam_Nalozi->setVisible(false);

    QGroupBox* reportBox = buildReportBox();

    Button_Sam_OK = named(new QPushButton("&OK", this), "Button_Sam_OK");

    auto* left = new QVBoxLayout;
    left->addWidget(filterBox);
    left->addWidget(actuatorBox);
    left->addWidget(samplingBox);
    left->addWidget(CheckBox_Sam_Cascade);
    left->addWidget(CheckBox_Sam_Nalozi);
    left->addStretch(1);
    auto* middle = new QVBoxLayout;
    middle->addWidget(methodBox);
    middle->addWidget(robustBox);
    middle->addWidget(responseBox);
    middle->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(scaledBox);
    right->addWidget(reportBox);
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(middle);
    columns->addLayout(right);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_Sam_OK);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(columns);
    whole->addLayout(buttons);

    connectSignals();
}

// "Signal filtering": the filter's time constant.
QGroupBox* TForm_SamodNastav::buildFilterBox() {
    auto* filterBox = new QGroupBox("Signal filtering", this);
    auto* filterForm = new QFormLayout(filterBox);
    Edit_Sam_Filt = edit("Edit_Sam_Filt", "0", filterBox);
    filterForm->addRow("Filter time constant:", Edit_Sam_Filt);
    return filterBox;
}

// "Actuator limitations": maximum, minimum and opening time.
QGroupBox* TForm_SamodNastav::buildActuatorBox() {
    auto* actuatorBox = new QGroupBox("Actuator limitations", this);
    auto* actuatorForm = new QFormLayout(actuatorBox);
    Edit_Sam_Max = edit("Edit_Sam_Max", "100", actuatorBox);
    Edit_Sam_Min = edit("Edit_Sam_Min", "0", actuatorBox);
    Edit_Sam_Velocity = edit("Edit_Sam_Velocity", "1", actuatorBox);
    actuatorForm->addRow("MAX:", Edit_Sam_Max);
    actuatorForm->addRow("MIN:", Edit_Sam_Min);
    actuatorForm->addRow("Opening [s]:", Edit_Sam_Velocity);
    const std::pair<QWidget*, const char*> actuatorTips[] = {
        {Edit_Sam_Max, "Actuator maximum"},
        {Edit_Sam_Min, "Actuator minimum"},
        {Edit_Sam_Velocity, "Actuator opening time: seconds from fully closed to fully open"}};
    for (const auto& [field, tip] : actuatorTips) {
        field->setToolTip(tip);
        if (QWidget* label = actuatorForm->labelForField(field)) label->setToolTip(tip);
    }
    return actuatorBox;
}

// "Tuning method".
QGroupBox* TForm_SamodNastav::buildMethodBox() {
    auto* methodBox = new QGroupBox("Tuning method", this);
    auto* methodLayout = new QVBoxLayout(methodBox);
    ComboBox_Sam_IzbMetode = named(new QComboBox(methodBox), "ComboBox_Sam_IzbMetode");
    // The item's data is the method's number, which the settings file keeps:
    // the list leaves out the Controller page's empty entry (6).
    for (int method = 0; method < TuningMethodCount; ++method)
        if (method != NoMethod) ComboBox_Sam_IzbMetode->addItem(QString::fromUtf8(TuningMethodName(method)), method);
    ComboBox_Sam_IzbMetode->setCurrentIndex(0);
    methodLayout->addWidget(ComboBox_Sam_IzbMetode);
    return methodBox;
}

// "Closed-loop sampling time".
QGroupBox* TForm_SamodNastav::buildSamplingBox() {
    auto* samplingBox = new QGroupBox("Closed-loop sampling time", this);
    auto* samplingForm = new QFormLayout(samplingBox);
    Edit_Sam_Ts = edit("Edit_Sam_Ts", "1", samplingBox);
    samplingForm->addRow("Sampling time [s]:", Edit_Sam_Ts);
    return samplingBox;
}

// "Robustness-speed selection": the slider and its factor.
QGroupBox* TForm_SamodNastav::buildRobustnessBox() {
    auto* robustBox = new QGroupBox("Robustness-speed selection", this);
    auto* robustLayout = new QGridLayout(robustBox);
    ScrollBar_Sam_Robust = named(new QScrollBar(Qt::Horizontal, robustBox), "ScrollBar_Sam_Robust");
    ScrollBar_Sam_Robust->setRange(0, 20);
    ScrollBar_Sam_Robust->setPageStep(5);
    ScrollBar_Sam_Robust->setValue(10);
    Label_Sam_Robust = named(new QLabel("1", robustBox), "Label_Sam_Robust");
    Label_Sam_Robust->setAlignment(Qt::AlignCenter);
    robustLayout->addWidget(new QLabel("Robustness", robustBox), 0, 0);
    robustLayout->addWidget(ScrollBar_Sam_Robust, 0, 1);
    robustLayout->addWidget(new QLabel("Speed", robustBox), 0, 2);
    robustLayout->addWidget(Label_Sam_Robust, 1, 1);
    robustLayout->setColumnStretch(1, 1);
    return robustBox;
}

// "Type of closed-loop response": reference tracking or disturbance rejection.
QGroupBox* TForm_SamodNastav::buildResponseTypeBox() {
    RadioGroup_Sam_Prikaz = named(new QGroupBox("Type of closed-loop response", this), "RadioGroup_Sam_Prikaz");
    prikazItems = AddRadioItems(RadioGroup_Sam_Prikaz, {"Reference tracking", "Disturbance-rejection response"}, 0,
                                verticalItems(RadioGroup_Sam_Prikaz));
    return RadioGroup_Sam_Prikaz;
}

// "Calculation of scaled parameters": the controller's form, the additional
// scaling and the controller selection.
QGroupBox* TForm_SamodNastav::buildScaledParametersBox() {
    auto* scaledBox = new QGroupBox("Calculation of scaled parameters", this);
    auto* scaledLayout = new QGridLayout(scaledBox);
    ComboBox_Sam_TipReg = named(new QComboBox(scaledBox), "ComboBox_Sam_TipReg");
    ComboBox_Sam_TipReg->addItems(
        {"General parallel (Kp, Ki, Kd)", "Parallel (Kp, Ti, Td)", "Parallel (Kp, 1/Ti, Td)", "Serial (Kp, Ti, Td)"});
    ComboBox_Sam_TipReg->setCurrentIndex(0);
    Edit_Sam_SkalP = edit("Edit_Sam_SkalP", "1", scaledBox);
    Edit_Sam_SkalI = edit("Edit_Sam_SkalI", "1", scaledBox);
    Edit_Sam_SkalD = edit("Edit_Sam_SkalD", "1", scaledBox);
    RadioGroup_Sam_PID = named(new QGroupBox("Controller selection:", scaledBox), "RadioGroup_Sam_PID");
    pidItems = AddRadioItems(RadioGroup_Sam_PID, {"P", "I", "PI", "PID"}, 2, verticalItems(RadioGroup_Sam_PID));
    scaledLayout->addWidget(ComboBox_Sam_TipReg, 0, 0, 1, 4);
    scaledLayout->addWidget(new QLabel("Additional scaling:", scaledBox), 1, 0, 1, 4);
    const std::tuple<const char*, QLineEdit*, const char*> scalings[] = {
        {"P:", Edit_Sam_SkalP, "Additional scaling of the proportional term"},
        {"I:", Edit_Sam_SkalI, "Additional scaling of the integral term"},
        {"D:", Edit_Sam_SkalD, "Additional scaling of the derivative term"}};
    int scalingRow = 2;
    for (const auto& [caption, field, tip] : scalings) {
        auto* label = new QLabel(caption, scaledBox);
        label->setToolTip(tip);
        field->setToolTip(tip);
        scaledLayout->addWidget(label, scalingRow, 0);
        scaledLayout->addWidget(field, scalingRow, 1);
        ++scalingRow;
    }
    scaledLayout->addWidget(RadioGroup_Sam_PID, 2, 2, 3, 2);
    return scaledBox;
}

// "Report content": the report's parts and its template.
QGroupBox* TForm_SamodNastav::buildReportBox() {
    auto* reportBox = new QGroupBox("Report content", this);
    auto* reportLayout = new QVBoxLayout(reportBox);
    CheckBox_Sam_PorocObd = check("CheckBox_Sam_PorocObd", "Measured data", true, reportBox);
    CheckBox_Sam_PorocMod = check("CheckBox_Sam_PorocMod", "Process model", true, reportBox);
    CheckBox_Sam_PorocReg = check("CheckBox_Sam_PorocReg", "Controller", true, reportBox);
    reportLayout->addWidget(CheckBox_Sam_PorocObd);
    reportLayout->addWidget(CheckBox_Sam_PorocMod);
    reportLayout->addWidget(CheckBox_Sam_PorocReg);
    auto* templateRow = new QHBoxLayout;
    Label13 = named(new QLabel("normal.dot", reportBox), "Label13");
    Button_Sam_IzberiPredlogo = named(new QPushButton("Select &dot file", reportBox), "Button_Sam_IzberiPredlogo");
    templateRow->addWidget(new QLabel("Dot file:", reportBox));
    templateRow->addWidget(Label13, 1);
    reportLayout->addLayout(templateRow);
    reportLayout->addWidget(Button_Sam_IzberiPredlogo);
    return reportBox;
}

void TForm_SamodNastav::connectSignals() {
    connect(ScrollBar_Sam_Robust, &QScrollBar::valueChanged, this, &TForm_SamodNastav::ScrollBar_Sam_RobustChange);
    connect(Button_Sam_IzberiPredlogo, &QPushButton::clicked, this, &TForm_SamodNastav::Button_Sam_IzberiPredlogoClick);
    connect(Button_Sam_OK, &QPushButton::clicked, this, &TForm_SamodNastav::Button_Sam_OKClick);
}

QString TForm_SamodNastav::RobustnessText(int position) {
    return QString::fromStdString(FormatFixed(RobustnessFactor(position), 6, 3, LocaleDecimalSeparator()));
}

void TForm_SamodNastav::ScrollBar_Sam_RobustChange() {
    Label_Sam_Robust->setText(RobustnessText(ScrollBar_Sam_Robust->value()));
}

void TForm_SamodNastav::Button_Sam_IzberiPredlogoClick() {
    RunCommand(dialogs_, [this] {
        if (!dialogs_.execute(OpenDialog_Predloga)) return;
        Label13->setText(QDir::toNativeSeparators(OpenDialog_Predloga.FileName));
    });
}

void TForm_SamodNastav::Button_Sam_OKClick() { hide(); }

AutomaticExperimentSettings TForm_SamodNastav::Values() const {
    AutomaticExperimentSettings v;
    v.Edit_Sam_Filt = text(Edit_Sam_Filt);
    v.Edit_Sam_Max = text(Edit_Sam_Max);
    v.Edit_Sam_Min = text(Edit_Sam_Min);
    v.Edit_Sam_Velocity = text(Edit_Sam_Velocity);
    v.ComboBox_Sam_IzbMetode =
        ComboBox_Sam_IzbMetode->currentIndex() < 0 ? -1 : ComboBox_Sam_IzbMetode->currentData().toInt();
    v.Edit_Sam_Ts = text(Edit_Sam_Ts);
    v.ScrollBar_Sam_Robust = ScrollBar_Sam_Robust->value();
    v.RadioGroup_Sam_Prikaz = prikazItems->checkedId();
    v.ComboBox_Sam_TipReg = ComboBox_Sam_TipReg->currentIndex();
    v.Edit_Sam_SkalP = text(Edit_Sam_SkalP);
    v.Edit_Sam_SkalI = text(Edit_Sam_SkalI);
    v.Edit_Sam_SkalD = text(Edit_Sam_SkalD);
    v.RadioGroup_Sam_PID = pidItems->checkedId();
    v.CheckBox_Sam_Cascade = CheckBox_Sam_Cascade->isChecked();
    v.CheckBox_Sam_Nalozi = CheckBox_Sam_Nalozi->isChecked();
    v.CheckBox_Sam_PorocObd = CheckBox_Sam_PorocObd->isChecked();
    v.CheckBox_Sam_PorocMod = CheckBox_Sam_PorocMod->isChecked();
    v.CheckBox_Sam_PorocReg = CheckBox_Sam_PorocReg->isChecked();
    v.Label13 = Label13->text().toStdString();
    return v;
}

void TForm_SamodNastav::SetValues(const AutomaticExperimentSettings& v) {
    setText(Edit_Sam_Filt, v.Edit_Sam_Filt);
    setText(Edit_Sam_Max, v.Edit_Sam_Max);
    setText(Edit_Sam_Min, v.Edit_Sam_Min);
    setText(Edit_Sam_Velocity, v.Edit_Sam_Velocity);
    ComboBox_Sam_IzbMetode->setCurrentIndex(ComboBox_Sam_IzbMetode->findData(v.ComboBox_Sam_IzbMetode));
    setText(Edit_Sam_Ts, v.Edit_Sam_Ts);
    // A position beyond the slider's range is held to it (the label follows).
    ScrollBar_Sam_Robust->setValue(v.ScrollBar_Sam_Robust);
    SetItemIndex(prikazItems, v.RadioGroup_Sam_Prikaz);
    ComboBox_Sam_TipReg->setCurrentIndex(v.ComboBox_Sam_TipReg);
    setText(Edit_Sam_SkalP, v.Edit_Sam_SkalP);
    setText(Edit_Sam_SkalI, v.Edit_Sam_SkalI);
    setText(Edit_Sam_SkalD, v.Edit_Sam_SkalD);
    SetItemIndex(pidItems, v.RadioGroup_Sam_PID);
    CheckBox_Sam_Cascade->setChecked(v.CheckBox_Sam_Cascade);
    CheckBox_Sam_Nalozi->setChecked(v.CheckBox_Sam_Nalozi);
    CheckBox_Sam_PorocObd->setChecked(v.CheckBox_Sam_PorocObd);
    CheckBox_Sam_PorocMod->setChecked(v.CheckBox_Sam_PorocMod);
    CheckBox_Sam_PorocReg->setChecked(v.CheckBox_Sam_PorocReg);
    Label13->setText(QString::fromStdString(v.Label13));
}

}  // namespace halvetra
