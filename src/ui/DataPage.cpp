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
#include <QVBoxLayout>
#include <algorithm>

#include "data/NumberText.h"
#include "data/TObdelava.h"
#include "experiment/Clock.h"
#include "ui/AppState.h"
#include "ui/Chart.h"
#include "ui/Command.h"
#include "ui/MainDialogs.h"

namespace halvetra {

namespace {

const char* const DataFileFilter =
    "Measured Data (*.hvd)|*.hvd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*";

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
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

std::string text(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

DataPage::DataPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    // File and window.
    auto* fileBox = new QGroupBox(tr("Measured data"), this);
    auto* fileGrid = new QGridLayout(fileBox);
    Label_Datum = makeLabel("Label_Datum", "0", fileBox);
    Label_Ura = makeLabel("Label_Ura", "0", fileBox);
    Label_Ime = makeLabel("Label_Ime", "0", fileBox);
    Label_Ime->setWordWrap(true);
    Label_Ime->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label_Ts = makeLabel("Label_Ts", "0", fileBox);
    Label_Ns = makeLabel("Label_Ns", "0", fileBox);
    fileGrid->addWidget(new QLabel("Date:", fileBox), 0, 0);
    fileGrid->addWidget(Label_Datum, 0, 1);
    fileGrid->addWidget(new QLabel("Hour:", fileBox), 1, 0);
    fileGrid->addWidget(Label_Ura, 1, 1);
    fileGrid->addWidget(new QLabel("File name: ", fileBox), 2, 0, Qt::AlignTop);
    fileGrid->addWidget(Label_Ime, 2, 1);
    fileGrid->addWidget(new QLabel("Ts [s]:", fileBox), 3, 0);
    fileGrid->addWidget(Label_Ts, 3, 1);
    fileGrid->addWidget(new QLabel("Samples:", fileBox), 4, 0);
    fileGrid->addWidget(Label_Ns, 4, 1);
    fileGrid->setColumnStretch(1, 1);

    Button3 = new QPushButton("Load from file", this);
    Button3->setObjectName("Button3");
    Button4 = new QPushButton("Save to file", this);
    Button4->setObjectName("Button4");

    auto* windowBox = new QGroupBox(tr("Window"), this);
    auto* windowLayout = new QVBoxLayout(windowBox);
    ScrollBar3 = makeScrollBar("ScrollBar3", 1, 500, 1, windowBox);
    ScrollBar4 = makeScrollBar("ScrollBar4", 2, 600, 600, windowBox);
    windowLayout->addWidget(new QLabel("Start of experiment", windowBox));
    windowLayout->addWidget(ScrollBar3);
    windowLayout->addWidget(new QLabel("End of experiment", windowBox));
    windowLayout->addWidget(ScrollBar4);

    auto* filterBox = new QGroupBox("Signal filtering", this);
    auto* filterLayout = new QHBoxLayout(filterBox);
    Edit8 = makeEdit("Edit8", "0", filterBox);
    filterLayout->addWidget(new QLabel("Time [s]", filterBox));
    filterLayout->addWidget(Edit8);

    auto* actuatorBox = new QGroupBox("Actuator constraints", this);
    auto* actuatorGrid = new QGridLayout(actuatorBox);
    Edit_Actuator_Maximum = makeEdit("Edit_Actuator_Maximum", "100", actuatorBox);
    Edit_Actuator_Minimum = makeEdit("Edit_Actuator_Minimum", "0", actuatorBox);
    Edit_Actuator_Velocity = makeEdit("Edit_Actuator_Velocity", "1", actuatorBox);
    actuatorGrid->addWidget(new QLabel("Max:", actuatorBox), 0, 0);
    actuatorGrid->addWidget(Edit_Actuator_Maximum, 0, 1);
    actuatorGrid->addWidget(new QLabel("Min:", actuatorBox), 1, 0);
    actuatorGrid->addWidget(Edit_Actuator_Minimum, 1, 1);
    actuatorGrid->addWidget(new QLabel("Opening [s]:", actuatorBox), 2, 0);
    actuatorGrid->addWidget(Edit_Actuator_Velocity, 2, 1);

    Button2 = new QPushButton("Use filter and constraints", this);
    Button2->setObjectName("Button2");

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
    left->addStretch(1);

    // The four signals, each with its column selector and statistics.
    Chart_MV = new Chart("Chart_MV", "Manipulative signal", this);
    Chart_U = new Chart("Chart_U", "Process input", this);
    Chart_Y = new Chart("Chart_Y", "Process output 1 (inner loop)", this);
    Chart2 = new Chart("Chart2", "Process output 2 (outer loop)", this);
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

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);
    page->addLayout(left, 0);
    page->addLayout(right, 1);

    connect(Button3, &QPushButton::clicked, this, &DataPage::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &DataPage::Button4Click);
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
    side->addWidget(description, 1, 0, 1, 2);
    side->addWidget(new QLabel("Max:", row), 2, 0);
    side->addWidget(maximum, 2, 1);
    side->addWidget(new QLabel("Min:", row), 3, 0);
    side->addWidget(minimum, 3, 1);
    side->addWidget(new QLabel("STD:", row), 4, 0);
    side->addWidget(deviation, 4, 1);
    auto* sideWidget = new QWidget(row);
    sideWidget->setLayout(side);
    sideWidget->setFixedWidth(180);
    layout->addWidget(sideWidget);
    return row;
}

void DataPage::Button3Click() { RunCommand(ctx_.Dialog, [this] { loadFromFile(); }); }

void DataPage::Button4Click() { RunCommand(ctx_.Dialog, [this] { saveToFile(); }); }

void DataPage::loadFromFile() {
    FileDialog& dialog = ctx_.Files.OpenDialog1;
    dialog.Filter = DataFileFilter;
    dialog.FilterIndex = 1;
    dialog.DefaultExt = "hvd";
    if (!ctx_.Dialog.execute(dialog)) return;

    MeasuredData& data = ctx_.State.Data;
    const DataFileHeader loaded =
        TObdelava().LoadDataFile(QDir::toNativeSeparators(dialog.FileName).toStdString(), data, LocaleDecimalSeparator());
    const int n = data.SampleCount;

    Label_Ts->setText(QString::fromStdString(FormatShortest15(data.SamplingTime, LocaleDecimalSeparator())));
    Label_Ns->setText(QString::number(n));

    // Column selectors on MV, U, Y and Y2 of an experiment's layout.
    const int columns = std::max(1, data.ColumnCount);
    const std::pair<QScrollBar*, QLineEdit*> selectors[] = {
        {ScrollBar_MV, Edit_Stolpec_MV}, {ScrollBar1, Edit_Stolpec_U}, {ScrollBar2, Edit_Stolpec_Y}, {ScrollBar5, Edit_Stolpec_Y1}};
    const int proposed[] = {1, 3, 5, 6};
    for (int k = 0; k < 4; ++k) {
        setSlider(selectors[k].first, 1, columns, proposed[k]);
        selectors[k].second->setText(QString::number(proposed[k]));
    }

    // Window sliders: the window comes from the file, held inside the ranges.
    data.MinWindowSpan = n <= 10 ? n - 1 : 10;
    const int start = TextToInt(loaded.windowStart);
    const int end = TextToInt(loaded.windowEnd);
    setSlider(ScrollBar3, 1, n - data.MinWindowSpan, start);
    setSlider(ScrollBar4, data.MinWindowSpan, n, end);

    for (Chart* chart : {Chart_MV, Chart_U, Chart_Y, Chart2}) {
        chart->clearGraphs();
        chart->clearPlottables();
        chart->replot();
    }

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
    Chart2->setVisible(data.ColumnCount >= 6);
}

void DataPage::saveToFile() {
    FileDialog& dialog = ctx_.Files.SaveDialog2;
    dialog.Filter = DataFileFilter;
    dialog.FilterIndex = 1;
    dialog.DefaultExt = "hvd";
    if (!ctx_.Dialog.execute(dialog)) return;

    const char separator = LocaleDecimalSeparator();
    const double filter = TextToFloat(text(Edit8), separator);
    const double maximum = TextToFloat(text(Edit_Actuator_Maximum), separator);
    const double minimum = TextToFloat(text(Edit_Actuator_Minimum), separator);
    const double opening = TextToFloat(text(Edit_Actuator_Velocity), separator);

    const MeasuredData& data = ctx_.State.Data;
    const std::array<int, 6> columns = {ScrollBar_MV->value(), ScrollBar_MV->value(), ScrollBar1->value(),
                                        ScrollBar1->value(),   ScrollBar2->value(),   ScrollBar5->value()};
    std::array<std::string, 6> descriptions;
    for (std::size_t k = 0; k < columns.size(); ++k)
        descriptions[k] = data.SignalDescriptions.at(static_cast<std::size_t>(columns[k] - 1));

    const QLocale locale;
    const QDateTime now = ctx_.Time.now();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));  // the time of day only, without a time zone
    TObdelava().SaveDataFile(QDir::toNativeSeparators(WithDefaultExtension(dialog.FileName, dialog.DefaultExt)).toStdString(),
                             locale.toString(now.date(), QLocale::ShortFormat).toStdString(),
                             now.time().toString(timeFormat.trimmed()).toStdString(), data.SamplingTime,
                             data.SampleCount, ScrollBar3->value(), ScrollBar4->value(), columns, filter, maximum,
                             minimum, opening, descriptions, data, separator);
}

}  // namespace halvetra
