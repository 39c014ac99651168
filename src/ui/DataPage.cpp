#include "ui/DataPage.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "data/GlobalProcedures.h"
#include "data/NumberText.h"
#include "data/SignalWindow.h"
#include "data/TObdelava.h"
#include "experiment/Clock.h"
#include "ui/AppState.h"
#include "ui/Chart.h"
#include "ui/Command.h"
#include "ui/MainDialogs.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"

namespace halvetra {

namespace {

const char* const DataFileFilter = "Measured Data (*.hvd)|*.hvd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*";

// The open or save dialog of a measured-data file.
FileDialog& dataFileDialog(FileDialog& dialog) {
    dialog.Filter = DataFileFilter;
    dialog.FilterIndex = 1;
    dialog.DefaultExt = "hvd";
    return dialog;
}

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// A caption whose abbreviation the tooltip spells out, on the caption and on
// the control it describes.
QLabel* captionWithTip(const QString& text, const QString& tip, QWidget* described, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setToolTip(tip);
    if (described) described->setToolTip(tip);
    return label;
}

QLineEdit* makeEdit(const QString& name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    return edit;
}

QScrollBar* makeScrollBar(const QString& name, int minimum, int maximum, int position, QWidget* parent) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(minimum, maximum);
    bar->setValue(position);
    bar->setPageStep(10);
    return bar;
}

// Sets a slider's range and position without running its change handler.
void setSlider(QScrollBar* bar, int minimum, int maximum, int position) {
    const QSignalBlocker block(bar);
    bar->setRange(minimum, std::max(minimum, maximum));
    bar->setValue(position);
}

void setSlider(QScrollBar* bar, const SliderState& state) {
    setSlider(bar, state.Minimum, state.Maximum, state.Position);
}

SliderState sliderState(const QScrollBar* bar) { return {bar->minimum(), bar->maximum(), bar->value()}; }

// What the "Measured data" box shows before there are data.
const QString NoDetail = QStringLiteral("\u2014");

// The window sliders span thousands of samples with a large step of 10,
// which leaves a thumb of a few pixels in a light groove: these sliders get a
// dark thumb at least a finger wide. Their arrows are left out: the boxes
// beside them step one sample at a time.
const char* const WindowSliderStyle =
    "QScrollBar:horizontal { height: 16px; margin: 0; background: #dfe4ea; border: 1px solid #b3bcc7;"
    " border-radius: 4px; }"
    "QScrollBar::handle:horizontal { min-width: 28px; background: #3f72b8; border: 1px solid #2b568f;"
    " border-radius: 4px; }"
    "QScrollBar::handle:horizontal:hover { background: #4d82cc; }"
    "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; border: none; background: none; }"
    "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: none; }";

// Date and time of day as the data file's header gives them.
std::pair<QString, QString> headerDateAndTime(const QDateTime& now) {
    const QLocale locale;
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));  // the time of day only, without a time zone
    return {locale.toString(now.date(), QLocale::ShortFormat), now.time().toString(timeFormat.trimmed())};
}

}  // namespace

DataPage::DataPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    QVBoxLayout* left = buildLeftColumn();
    QVBoxLayout* right = buildSignalRows();

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);
    page->addLayout(left, 0);
    page->addLayout(right, 1);

    views_ = {{
        {Chart_MV, LineSeries6, &MeasuredData::ConditionedMV, Label_MaksMV1, Label_MinMV1, Label_STDMV1,
         Label_MVDescription, ScrollBar_MV, Edit_Stolpec_MV, "Histogram of manipulative signal", "Manipulative signal"},
        {Chart_U, Series1, &MeasuredData::ConditionedU, Label_MaksU1, Label_MinU1, Label_STDU1, Label22, ScrollBar1,
         Edit_Stolpec_U, "Histogram of process input", "Process input"},
        {Chart_Y, Series2, &MeasuredData::ConditionedY, Label_MaksY1, Label_MinY1, Label_STDY1, Label20, ScrollBar2,
         Edit_Stolpec_Y, "Histogram of inner process output", "Process inner output"},
        {Chart2, LineSeries5, &MeasuredData::ConditionedY2, Label_MaksY2, Label_MinY2, Label_STDY2, Label68, ScrollBar5,
         Edit_Stolpec_Y1, "Histogram of outer process output", "Process outer output"},
    }};

    connectSignals();
    showWindowPositions();
}

// The left column: the data's details, the file buttons, the window, the
// filter, the actuator's constraints and the buttons that use them.
QVBoxLayout* DataPage::buildLeftColumn() {
    QGroupBox* fileBox = buildFileBox();

    Button3 = new QPushButton("&Load from file", this);
    Button3->setObjectName("Button3");
    Button4 = new QPushButton("&Save to file", this);
    Button4->setObjectName("Button4");

    QGroupBox* windowBox = buildWindowBox();
    QGroupBox* filterBox = buildFilterBox();
    QGroupBox* actuatorBox = buildActuatorBox();

    Button2 = new QPushButton("&Use filter and constraints", this);
    Button2->setObjectName("Button2");
    Button_Izracun = new QPushButton("&Calculate model", this);
    Button_Izracun->setObjectName("Button_Izracun");

    auto* left = new QVBoxLayout;
    left->addWidget(fileBox);
    auto* fileButtons = new QHBoxLayout;
    fileButtons->addWidget(Button3);
    fileButtons->addWidget(Button4);
    left->addLayout(fileButtons);
    left->addWidget(windowBox);
    left->addWidget(filterBox);
    left->addWidget(actuatorBox);
    left->addWidget(Button2);
    left->addWidget(Button_Izracun);
    left->addStretch(1);
    return left;
}

// "Measured data": date, hour, file name, sampling time and sample count.
QGroupBox* DataPage::buildFileBox() {
    auto* fileBox = new QGroupBox(tr("Measured data"), this);
    auto* fileGrid = new QGridLayout(fileBox);
    // Until data are loaded or recorded the box has nothing to describe.
    Label_Datum = makeLabel("Label_Datum", NoDetail, fileBox);
    Label_Ura = makeLabel("Label_Ura", NoDetail, fileBox);
    Label_Ime = makeLabel("Label_Ime", NoDetail, fileBox);
    Label_Ime->setWordWrap(true);
    Label_Ime->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label_Ts = makeLabel("Label_Ts", NoDetail, fileBox);
    Label_Ns = makeLabel("Label_Ns", NoDetail, fileBox);
    fileGrid->addWidget(new QLabel("Date:", fileBox), 0, 0);
    fileGrid->addWidget(Label_Datum, 0, 1);
    fileGrid->addWidget(new QLabel("Hour:", fileBox), 1, 0);
    fileGrid->addWidget(Label_Ura, 1, 1);
    fileGrid->addWidget(new QLabel("File name: ", fileBox), 2, 0, Qt::AlignTop);
    fileGrid->addWidget(Label_Ime, 2, 1);
    fileGrid->addWidget(captionWithTip("Ts [s]:", "Sampling time in seconds", Label_Ts, fileBox), 3, 0);
    fileGrid->addWidget(Label_Ts, 3, 1);
    fileGrid->addWidget(new QLabel("Samples:", fileBox), 4, 0);
    fileGrid->addWidget(Label_Ns, 4, 1);
    fileGrid->setColumnStretch(1, 1);
    return fileBox;
}

// "Window": the sliders of the first and the last sample used, each with its
// sample number and time.
QGroupBox* DataPage::buildWindowBox() {
    auto* windowBox = new QGroupBox(tr("Window"), this);
    auto* windowLayout = new QVBoxLayout(windowBox);
    ScrollBar3 = makeScrollBar("ScrollBar3", 1, 500, 1, windowBox);
    ScrollBar4 = makeScrollBar("ScrollBar4", 2, 600, 600, windowBox);
    for (QScrollBar* bar : {ScrollBar3, ScrollBar4}) bar->setStyleSheet(WindowSliderStyle);
    const auto positionBox = [windowBox](const char* name, const char* tip) {
        auto* box = new QSpinBox(windowBox);
        box->setObjectName(name);
        box->setKeyboardTracking(false);  // the slider moves on Enter, not at every digit
        box->setToolTip(QString::fromUtf8(tip));
        box->setMinimumWidth(64);
        return box;
    };
    SpinEdit_WindowStart =
        positionBox("SpinEdit_WindowStart", "First sample of the window; type a number to move the slider");
    SpinEdit_WindowEnd =
        positionBox("SpinEdit_WindowEnd", "Last sample of the window; type a number to move the slider");
    Label_WindowStartTime = makeLabel("Label_WindowStartTime", QString(), windowBox);
    Label_WindowEndTime = makeLabel("Label_WindowEndTime", QString(), windowBox);
    for (QLabel* label : {Label_WindowStartTime, Label_WindowEndTime}) {
        label->setToolTip("Time of the sample");
        label->setMinimumWidth(64);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    const auto sliderRow = [windowBox, windowLayout](const char* caption, QScrollBar* bar, QSpinBox* box,
                                                     QLabel* time) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(caption, windowBox), 1);
        row->addWidget(box);
        row->addWidget(time);
        windowLayout->addLayout(row);
        windowLayout->addWidget(bar);
    };
    sliderRow("Start of experiment", ScrollBar3, SpinEdit_WindowStart, Label_WindowStartTime);
    sliderRow("End of experiment", ScrollBar4, SpinEdit_WindowEnd, Label_WindowEndTime);
    return windowBox;
}

// "Signal filtering": the filter's time constant.
QGroupBox* DataPage::buildFilterBox() {
    auto* filterBox = new QGroupBox("Signal filtering", this);
    auto* filterLayout = new QHBoxLayout(filterBox);
    Edit8 = makeEdit("Edit8", "0", filterBox);
    filterLayout->addWidget(
        captionWithTip("Time [s]", "Time constant of the signal filter in seconds (0: no filter)", Edit8, filterBox));
    filterLayout->addWidget(Edit8);
    return filterBox;
}

// "Actuator constraints": maximum, minimum and opening time.
QGroupBox* DataPage::buildActuatorBox() {
    auto* actuatorBox = new QGroupBox("Actuator constraints", this);
    auto* actuatorGrid = new QGridLayout(actuatorBox);
    Edit_Actuator_Maximum = makeEdit("Edit_Actuator_Maximum", "100", actuatorBox);
    Edit_Actuator_Minimum = makeEdit("Edit_Actuator_Minimum", "0", actuatorBox);
    Edit_Actuator_Velocity = makeEdit("Edit_Actuator_Velocity", "1", actuatorBox);
    actuatorGrid->addWidget(captionWithTip("Max:", "Actuator maximum", Edit_Actuator_Maximum, actuatorBox), 0, 0);
    actuatorGrid->addWidget(Edit_Actuator_Maximum, 0, 1);
    actuatorGrid->addWidget(captionWithTip("Min:", "Actuator minimum", Edit_Actuator_Minimum, actuatorBox), 1, 0);
    actuatorGrid->addWidget(Edit_Actuator_Minimum, 1, 1);
    actuatorGrid->addWidget(
        captionWithTip("Opening [s]:", "Actuator opening time: seconds from fully closed to fully open",
                       Edit_Actuator_Velocity, actuatorBox),
        2, 0);
    actuatorGrid->addWidget(Edit_Actuator_Velocity, 2, 1);
    return actuatorBox;
}

// The four signals, each with its column selector and statistics.
QVBoxLayout* DataPage::buildSignalRows() {
    Chart_MV = new Chart("Chart_MV", "Manipulative signal", this);
    Chart_U = new Chart("Chart_U", "Process input", this);
    Chart_Y = new Chart("Chart_Y", "Process output 1 (inner loop)", this);
    Chart2 = new Chart("Chart2", "Process output 2 (outer loop)", this);
    for (Chart* chart : {Chart_MV, Chart_U, Chart_Y, Chart2}) chart->setPlainBackground(Qt::white);
    LineSeries6 = Chart_MV->addLineSeries("LineSeries6", Qt::red, true);
    Series1 = Chart_U->addLineSeries("Series1", QColor(128, 0, 0), true);
    Series2 = Chart_Y->addLineSeries("Series2", Qt::blue);
    LineSeries5 = Chart2->addLineSeries("LineSeries5", QColor(0, 128, 0));
    ScrollBar_MV = makeScrollBar("ScrollBar_MV", 1, 20, 1, this);
    ScrollBar1 = makeScrollBar("ScrollBar1", 1, 20, 1, this);
    ScrollBar2 = makeScrollBar("ScrollBar2", 1, 20, 1, this);
    ScrollBar5 = makeScrollBar("ScrollBar5", 1, 20, 1, this);
    for (QScrollBar* s : {ScrollBar_MV, ScrollBar1, ScrollBar2, ScrollBar5}) s->setPageStep(1);
    Edit_Stolpec_MV = makeEdit("Edit_Stolpec_MV", "1", this);
    Edit_Stolpec_U = makeEdit("Edit_Stolpec_U", "1", this);
    Edit_Stolpec_Y = makeEdit("Edit_Stolpec_Y", "2", this);
    Edit_Stolpec_Y1 = makeEdit("Edit_Stolpec_Y1", "3", this);
    Label_MVDescription = makeLabel("Label_MVDescription", "", this);
    Label22 = makeLabel("Label22", "", this);
    Label20 = makeLabel("Label20", "", this);
    Label68 = makeLabel("Label68", "", this);
    Label_MaksMV1 = makeLabel("Label_MaksMV1", "", this);
    Label_MinMV1 = makeLabel("Label_MinMV1", "", this);
    Label_STDMV1 = makeLabel("Label_STDMV1", "", this);
    Label_MaksU1 = makeLabel("Label_MaksU1", "", this);
    Label_MinU1 = makeLabel("Label_MinU1", "", this);
    Label_STDU1 = makeLabel("Label_STDU1", "", this);
    Label_MaksY1 = makeLabel("Label_MaksY1", "", this);
    Label_MinY1 = makeLabel("Label_MinY1", "", this);
    Label_STDY1 = makeLabel("Label_STDY1", "", this);
    Label_MaksY2 = makeLabel("Label_MaksY2", "", this);
    Label_MinY2 = makeLabel("Label_MinY2", "", this);
    Label_STDY2 = makeLabel("Label_STDY2", "", this);

    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(buildSignalRow(Chart_MV, ScrollBar_MV, Edit_Stolpec_MV, Label_MVDescription, Label_MaksMV1,
                                    Label_MinMV1, Label_STDMV1));
    right->addWidget(
        buildSignalRow(Chart_U, ScrollBar1, Edit_Stolpec_U, Label22, Label_MaksU1, Label_MinU1, Label_STDU1));
    right->addWidget(
        buildSignalRow(Chart_Y, ScrollBar2, Edit_Stolpec_Y, Label20, Label_MaksY1, Label_MinY1, Label_STDY1));
    right->addWidget(
        buildSignalRow(Chart2, ScrollBar5, Edit_Stolpec_Y1, Label68, Label_MaksY2, Label_MinY2, Label_STDY2));
    return right;
}

// The buttons, the window's sliders and boxes, the column selectors and the
// charts' histogram and enlargement.
void DataPage::connectSignals() {
    connect(Button3, &QPushButton::clicked, this, &DataPage::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &DataPage::Button4Click);
    connect(Button2, &QPushButton::clicked, this, &DataPage::Button2Click);
    connect(Button_Izracun, &QPushButton::clicked, this, &DataPage::Button_IzracunClick);
    connect(ScrollBar3, &QScrollBar::valueChanged, this, &DataPage::ScrollBar3Change);
    connect(ScrollBar4, &QScrollBar::valueChanged, this, &DataPage::ScrollBar4Change);
    connect(SpinEdit_WindowStart, &QSpinBox::valueChanged, ScrollBar3, &QScrollBar::setValue);
    connect(SpinEdit_WindowEnd, &QSpinBox::valueChanged, ScrollBar4, &QScrollBar::setValue);
    connect(ScrollBar_MV, &QScrollBar::valueChanged, this, &DataPage::ScrollBar_MVChange);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &DataPage::ScrollBar1Change);
    connect(ScrollBar2, &QScrollBar::valueChanged, this, &DataPage::ScrollBar2Change);
    connect(ScrollBar5, &QScrollBar::valueChanged, this, &DataPage::ScrollBar5Change);
    for (int k = 0; k < 4; ++k) {
        const auto signal = static_cast<Signal>(k);
        connect(views_[k].chart, &Chart::contextPopup, this,
                [this, signal] { RunCommand(ctx_.Dialog, [this, signal] { showHistogram(signal); }); });
        connect(views_[k].chart, &Chart::doubleClicked, this,
                [this, signal] { RunCommand(ctx_.Dialog, [this, signal] { showEnlarged(signal); }); });
    }
}

void DataPage::attachWindows(TForm_Histogram* histogram, TForm_Obdelava_Large* enlarged) {
    histogram_ = histogram;
    enlarged_ = enlarged;
}

QWidget* DataPage::buildSignalRow(Chart* chart, QScrollBar* selector, QLineEdit* columnBox, QLabel* description,
                                  QLabel* maximum, QLabel* minimum, QLabel* deviation) {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    chart->setMinimumSize(380, 100);
    layout->addWidget(chart, 1);

    auto* side = new QGridLayout;
    side->setVerticalSpacing(0);
    columnBox->setReadOnly(true);
    columnBox->setMaximumWidth(32);
    selector->setMinimumWidth(60);
    side->addWidget(new QLabel("Column:", row), 0, 0);
    auto* columnRow = new QHBoxLayout;
    columnRow->addWidget(selector, 1);
    columnRow->addWidget(columnBox);
    side->addLayout(columnRow, 0, 1);
    description->setMaximumWidth(170);
    description->setWordWrap(true);  // long signal names ("Measurement 1 (simulation)") stay whole
    side->addWidget(description, 1, 0, 1, 2);
    side->addWidget(captionWithTip("Max:", "Maximum of the signal over the window", maximum, row), 2, 0);
    side->addWidget(maximum, 2, 1);
    side->addWidget(captionWithTip("Min:", "Minimum of the signal over the window", minimum, row), 3, 0);
    side->addWidget(minimum, 3, 1);
    side->addWidget(captionWithTip("STD:", "Standard deviation of the signal over the window", deviation, row), 4, 0);
    side->addWidget(deviation, 4, 1);
    auto* sideWidget = new QWidget(row);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(180);
    layout->addWidget(sideWidget);
    return row;
}

void DataPage::Button3Click() {
    RunCommand(ctx_.Dialog, [this] { loadFromFile(); });
}

void DataPage::Button4Click() {
    RunCommand(ctx_.Dialog, [this] { saveToFile(); });
}

void DataPage::Button2Click() {
    RunCommand(ctx_.Dialog, [this] { useFilterAndConstraints(); });
}

void DataPage::Button_IzracunClick() {
    RunCommand(ctx_.Dialog, [this] {
        if (ModelCalculation) ModelCalculation(ScrollBar3->value(), ScrollBar4->value());
    });
}

void DataPage::ScrollBar3Change() {
    RunCommand(ctx_.Dialog, [this] { windowChanged(true); });
}

void DataPage::ScrollBar4Change() {
    RunCommand(ctx_.Dialog, [this] { windowChanged(false); });
}

void DataPage::ScrollBar_MVChange() {
    RunCommand(ctx_.Dialog, [this] { columnChanged(MV); });
}

void DataPage::ScrollBar1Change() {
    RunCommand(ctx_.Dialog, [this] { columnChanged(U); });
}

void DataPage::ScrollBar2Change() {
    RunCommand(ctx_.Dialog, [this] { columnChanged(Y); });
}

void DataPage::ScrollBar5Change() {
    RunCommand(ctx_.Dialog, [this] { columnChanged(Y2); });
}

double DataPage::readNumber(const QLineEdit* edit) const {
    return TextToFloat(edit->text().toStdString(), LocaleDecimalSeparator());
}

void DataPage::ShowSignal(Signal signal, int start, int end) {
    const SignalView& view = views_[signal];
    const MeasuredData& data = ctx_.State.Data;
    const std::vector<double>& values = data.*(view.values);
    Chart::setPoints(view.series, data.SampleTimes, values, start, end);

    const SignalStatistics statistics = ComputeSignalStatistics(values, start, end);
    const SignalStatisticsTexts texts = FormatSignalStatistics(statistics, LocaleDecimalSeparator());
    view.maximum->setText(QString::fromStdString(texts.Maximum));
    view.minimum->setText(QString::fromStdString(texts.Minimum));
    view.deviation->setText(QString::fromStdString(texts.StandardDeviation));

    const AxisRange axis = ValueAxisRange(statistics.Maximum, statistics.Minimum);
    view.chart->fixValueAxis(axis.Lower, axis.Upper);
    view.chart->fitKeyAxis();
    view.chart->replot(QCustomPlot::rpQueuedReplot);
}

void DataPage::showDescription(Signal signal, bool withColumnNumber) {
    const SignalView& view = views_[signal];
    const int column = view.selector->value();
    view.description->setText(QString::fromStdString(
        ctx_.State.Data.SignalDescriptions.at(static_cast<std::size_t>(std::clamp(column, 1, MaxColumns) - 1))));
    if (withColumnNumber) view.columnBox->setText(QString::number(column));
}

void DataPage::columnChanged(Signal signal) {
    MeasuredData& data = ctx_.State.Data;
    const int column = views_[signal].selector->value();
    const TObdelava obdelava;
    switch (signal) {
    case MV: obdelava.ConditionMV(data, column, data.SamplingTime, data.SampleCount); break;
    case U: {
        const double filter = readNumber(Edit8);
        const double maximum = readNumber(Edit_Actuator_Maximum);
        const double minimum = readNumber(Edit_Actuator_Minimum);
        const double opening = readNumber(Edit_Actuator_Velocity);
        obdelava.ConditionU(data, column, maximum, minimum, opening, filter, data.SamplingTime, data.SampleCount);
        break;
    }
    case Y: obdelava.ConditionY(data, column, readNumber(Edit8), data.SamplingTime, data.SampleCount); break;
    case Y2: obdelava.ConditionY2(data, column, readNumber(Edit8), data.SamplingTime, data.SampleCount); break;
    }
    ShowSignal(signal, ScrollBar3->value(), ScrollBar4->value());
    showDescription(signal, true);
}

void DataPage::useFilterAndConstraints() {
    const double filter = readNumber(Edit8);
    const double maximum = readNumber(Edit_Actuator_Maximum);
    const double minimum = readNumber(Edit_Actuator_Minimum);
    const double opening = readNumber(Edit_Actuator_Velocity);
    MeasuredData& data = ctx_.State.Data;
    TObdelava().ConditionSignals(data, ScrollBar_MV->value(), ScrollBar1->value(), ScrollBar2->value(),
                                 ScrollBar5->value(), maximum, minimum, opening, filter, data.SamplingTime,
                                 data.SampleCount);
    for (Signal signal : {MV, U, Y, Y2}) {
        ShowSignal(signal, ScrollBar3->value(), ScrollBar4->value());
        showDescription(signal, signal != MV);
    }
}

void DataPage::windowChanged(bool startMoved) {
    const MeasuredData& data = ctx_.State.Data;
    WindowSliders sliders{sliderState(ScrollBar3), sliderState(ScrollBar4)};
    if (startMoved)
        StartSliderMoved(sliders, data.SampleCount);
    else
        EndSliderMoved(sliders, data.SampleCount, data.MinWindowSpan);
    setSlider(ScrollBar3, sliders.Start);
    setSlider(ScrollBar4, sliders.End);
    redrawWindow();
}

void DataPage::showWindowPositions() {
    const MeasuredData& data = ctx_.State.Data;
    const auto show = [&data](const QScrollBar* bar, QSpinBox* box, QLabel* time) {
        const QSignalBlocker block(box);
        box->setRange(bar->minimum(), bar->maximum());
        box->setValue(bar->value());
        const int sample = bar->value();
        if (sample >= 1 && sample <= data.SampleCount && static_cast<std::size_t>(sample) <= data.SampleTimes.size())
            time->setText(QString::fromStdString(FormatGeneral(data.SampleTimes[static_cast<std::size_t>(sample - 1)],
                                                               8, LocaleDecimalSeparator())) +
                          QStringLiteral(" s"));
        else
            time->setText(NoDetail);
    };
    show(ScrollBar3, SpinEdit_WindowStart, Label_WindowStartTime);
    show(ScrollBar4, SpinEdit_WindowEnd, Label_WindowEndTime);
}

void DataPage::showDataDetails(const QString& date, const QString& hour, const QString& name) {
    const MeasuredData& data = ctx_.State.Data;
    Label_Datum->setText(date);
    Label_Ura->setText(hour);
    Label_Ime->setText(name);
    Label_Ts->setText(QString::fromStdString(FormatShortest15(data.SamplingTime, LocaleDecimalSeparator())));
    Label_Ns->setText(QString::number(data.SampleCount));
}

void DataPage::redrawWindow() {
    showWindowPositions();
    const int start = ScrollBar3->value();
    const int end = ScrollBar4->value();
    ShowSignal(MV, start, end);
    ShowSignal(U, start, end);
    ShowSignal(Y, start, end);
    if (ctx_.State.Data.ColumnCount > 2) {
        Chart2->show();
        ShowSignal(Y2, start, end);
    } else {
        Chart2->hide();
    }
}

void DataPage::showHistogram(Signal signal) {
    if (!histogram_) return;
    const SignalView& view = views_[signal];
    std::array<double, HistogramBins> edges{};
    std::array<double, HistogramBins> counts{};
    double minimum = 0.0;
    double maximum = 0.0;
    Histogram20(ctx_.State.Data.*(view.values), ScrollBar3->value(), ScrollBar4->value(), edges, counts, minimum,
                maximum);
    // Extremes whose range overflows have no bins to draw: the command ends
    // with the floating-point error before the histogram window changes.
    RequireFinite(maximum - minimum);
    for (const double edge : edges) RequireFinite(edge);
    histogram_->ShowHistogram(edges, counts, 1, HistogramBins, view.histogramTitle, minimum, maximum);
    histogram_->show();
    histogram_->raise();
}

void DataPage::showEnlarged(Signal signal) {
    if (!enlarged_) return;
    const SignalView& view = views_[signal];
    const MeasuredData& data = ctx_.State.Data;
    enlarged_->ShowEnlarged(data.SampleTimes, data.*(view.values), ScrollBar3->value(), ScrollBar4->value(),
                            view.enlargedTitle);
    enlarged_->show();
    enlarged_->raise();
}

void DataPage::loadFromFile() {
    FileDialog& dialog = dataFileDialog(ctx_.Files.OpenDialog1);
    if (!ctx_.Dialog.execute(dialog)) return;

    MeasuredData& data = ctx_.State.Data;
    const DataFileHeader loaded = TObdelava().LoadDataFile(QDir::toNativeSeparators(dialog.FileName).toStdString(),
                                                           data, LocaleDecimalSeparator());
    const int n = data.SampleCount;

    Label_Ts->setText(QString::fromStdString(FormatShortest15(data.SamplingTime, LocaleDecimalSeparator())));
    Label_Ns->setText(QString::number(n));

    // Column selectors on MV, U, Y and Y2 of an experiment's layout.
    const int columns = std::max(1, data.ColumnCount);
    const std::pair<QScrollBar*, QLineEdit*> selectors[] = {{ScrollBar_MV, Edit_Stolpec_MV},
                                                            {ScrollBar1, Edit_Stolpec_U},
                                                            {ScrollBar2, Edit_Stolpec_Y},
                                                            {ScrollBar5, Edit_Stolpec_Y1}};
    const int proposed[] = {1, 3, 5, 6};
    for (int k = 0; k < 4; ++k) {
        setSlider(selectors[k].first, 1, columns, proposed[k]);
        selectors[k].second->setText(QString::number(proposed[k]));
    }

    // Window sliders: the window comes from the file, held inside the ranges.
    const int start = TextToInt(loaded.windowStart);
    const int end = TextToInt(loaded.windowEnd);
    const LoadedWindow window = WindowAfterLoad(n, start, end);
    data.MinWindowSpan = window.MinWindowSpan;
    setSlider(ScrollBar3, window.Sliders.Start);
    setSlider(ScrollBar4, window.Sliders.End);
    showWindowPositions();

    for (Chart* chart : {Chart_MV, Chart_U, Chart_Y, Chart2}) chart->clearPoints();

    auto description = [&data](int column) {
        return QString::fromStdString(data.SignalDescriptions[static_cast<std::size_t>(column - 1)]);
    };
    Label_MVDescription->setText(description(1));
    Label22->setText(description(3));
    Label20->setText(description(5));
    if (data.ColumnCount >= 6) {
        Label68->setText(description(6));
        setSlider(ScrollBar5, 1, columns, 6);
    } else {
        Label68->clear();
    }

    Label_Datum->setText(QString::fromStdString(loaded.date));
    Label_Ura->setText(QString::fromStdString(loaded.hour));
    Label_Ime->setText(dialog.FileName);
    Edit8->setText(QString::fromStdString(loaded.filterTimeConstant));
    Edit_Actuator_Maximum->setText(QString::fromStdString(loaded.actuatorMaximum));
    Edit_Actuator_Minimum->setText(QString::fromStdString(loaded.actuatorMinimum));
    Edit_Actuator_Velocity->setText(QString::fromStdString(loaded.actuatorOpeningTime));

    if (loaded.unreadableFields > 0) {
        ctx_.ShowStatus(loaded.unreadableFields == 1
                            ? QStringLiteral("1 data field of the file is not a number and was read as 0")
                            : QStringLiteral("%1 data fields of the file are not numbers and were read as 0")
                                  .arg(loaded.unreadableFields));
        statusShowsUnreadable_ = true;
    } else if (statusShowsUnreadable_) {
        ctx_.ShowStatus(QString());
        statusShowsUnreadable_ = false;
    }

    TObdelava().ConditionSignals(data, ScrollBar_MV->value(), ScrollBar1->value(), ScrollBar2->value(),
                                 ScrollBar5->value(), readNumber(Edit_Actuator_Maximum),
                                 readNumber(Edit_Actuator_Minimum), readNumber(Edit_Actuator_Velocity),
                                 readNumber(Edit8), data.SamplingTime, n);
    ShowSignal(MV, ScrollBar3->value(), ScrollBar4->value());
    ShowSignal(U, ScrollBar3->value(), ScrollBar4->value());
    ShowSignal(Y, ScrollBar3->value(), ScrollBar4->value());
    if (data.ColumnCount < 6) {
        Chart2->hide();
    } else {
        Chart2->show();
        ShowSignal(Y2, ScrollBar3->value(), ScrollBar4->value());
    }
}

void DataPage::LoadRecordedData(const QString& filterTimeConstant, const QString& actuatorMaximum,
                                const QString& actuatorMinimum, const QString& actuatorOpeningTime) {
    MeasuredData& data = ctx_.State.Data;
    const int n = data.SampleCount;

    // The window over the whole record (ranges of at least 1 .. 2).
    const int startMaximum = n <= 2 ? 2 : n - 2;
    const int endMaximum = n <= 2 ? 2 : n;
    setSlider(ScrollBar3, 1, startMaximum, 1);
    setSlider(ScrollBar4, 1, endMaximum, std::clamp(n, 1, endMaximum));

    // The experiment's layout: MV1, MV1, U1, U1, Y1, Y2.
    const std::pair<QScrollBar*, QLineEdit*> selectors[] = {{ScrollBar_MV, Edit_Stolpec_MV},
                                                            {ScrollBar1, Edit_Stolpec_U},
                                                            {ScrollBar2, Edit_Stolpec_Y},
                                                            {ScrollBar5, Edit_Stolpec_Y1}};
    const int columns[] = {1, 3, 5, 6};
    QLabel* const descriptions[] = {Label_MVDescription, Label22, Label20, Label68};
    for (int k = 0; k < 4; ++k) {
        setSlider(selectors[k].first, 1, 6, columns[k]);
        selectors[k].second->setText(QString::number(columns[k]));
        descriptions[k]->setText(
            QString::fromStdString(data.SignalDescriptions[static_cast<std::size_t>(columns[k] - 1)]));
    }

    // The box describes the record, not the file loaded before it, even when
    // a settings text below stops the conditioning.
    const auto [date, hour] = headerDateAndTime(ctx_.Time.now());
    showDataDetails(date, hour, RecordedDataName);
    showWindowPositions();

    const char separator = LocaleDecimalSeparator();
    const double filter = TextToFloat(filterTimeConstant.toStdString(), separator);
    const double maximum = TextToFloat(actuatorMaximum.toStdString(), separator);
    const double minimum = TextToFloat(actuatorMinimum.toStdString(), separator);
    const double opening = TextToFloat(actuatorOpeningTime.toStdString(), separator);
    TObdelava().ConditionSignals(data, columns[0], columns[1], columns[2], columns[3], maximum, minimum, opening,
                                 filter, data.SamplingTime, n);
    redrawWindow();
}

void DataPage::SetWindowStart(int position) { ScrollBar3->setValue(position); }

void DataPage::saveToFile() {
    FileDialog& dialog = dataFileDialog(ctx_.Files.SaveDialog2);
    if (!ctx_.Dialog.execute(dialog)) return;
    SaveDataFile(QDir::toNativeSeparators(WithDefaultExtension(dialog.FileName, dialog.DefaultExt)));
}

ProcessingRecord DataPage::Record() const {
    ProcessingRecord record;
    record.Filter = readNumber(Edit8);
    record.ActuatorMaximum = readNumber(Edit_Actuator_Maximum);
    record.ActuatorMinimum = readNumber(Edit_Actuator_Minimum);
    record.ActuatorOpening = readNumber(Edit_Actuator_Velocity);
    record.WindowStart = ScrollBar3->value();
    record.WindowEnd = ScrollBar4->value();
    record.Columns = {ScrollBar_MV->value(), ScrollBar_MV->value(), ScrollBar1->value(),
                      ScrollBar1->value(),   ScrollBar2->value(),   ScrollBar5->value()};
    const auto [date, hour] = headerDateAndTime(ctx_.Time.now());
    record.Date = date.toStdString();
    record.Time = hour.toStdString();
    return record;
}

void DataPage::SaveDataFile(const QString& fileName) {
    const ProcessingRecord record = Record();
    SaveRecordFile(fileName.toStdString(), record, ctx_.State.Data, LocaleDecimalSeparator());
    // The data shown are now those of the saved file, with its header's date and hour.
    showDataDetails(QString::fromStdString(record.Date), QString::fromStdString(record.Time), fileName);
}

void DataPage::ShowSavedFile(const QString& fileName) {
    const ProcessingRecord record = Record();
    showDataDetails(QString::fromStdString(record.Date), QString::fromStdString(record.Time), fileName);
}

}  // namespace halvetra
