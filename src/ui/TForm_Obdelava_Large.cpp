#include "ui/TForm_Obdelava_Large.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "data/GlobalProcedures.h"
#include "data/NumberText.h"
#include "data/SignalWindow.h"
#include "ui/Chart.h"
#include "ui/PageContext.h"

namespace halvetra {

TForm_Obdelava_Large::TForm_Obdelava_Large(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_Obdelava_Large");
    setWindowTitle("Prikaz signala");
    Chart1 = new Chart("Chart1", "Signal time response", this, 19);
    Chart1->setGradientBackground(ColorFromBgr(0xFFE8BF), ColorFromBgr(0xFF9D3C));
    Chart1->setLegendVisible(false);
    Series1 = Chart1->addLineSeries("Series1", Qt::blue);
    Chart1->setMinimumSize(300, 200);
    Chart1->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    Chart1->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    Chart1->axisRect()->setRangeZoom(Qt::Horizontal);
    Chart1->selectionRect()->setPen(QPen(QColor(40, 40, 40), 1, Qt::DashLine));
    Chart1->selectionRect()->setBrush(QColor(255, 255, 255, 70));
    Chart1->setCursor(Qt::CrossCursor);

    // The mark of the sample read out; never part of an exported picture,
    // since every ShowEnlarged hides it.
    tracer_ = new QCPItemTracer(Chart1);
    tracer_->setStyle(QCPItemTracer::tsCrosshair);
    tracer_->setPen(QPen(QColor(90, 90, 90), 1, Qt::DotLine));
    tracer_->setVisible(false);

    Button_ResetView = new QPushButton("&reset view", this);
    Button_ResetView->setObjectName("Button_ResetView");
    Button_ResetView->setToolTip("Show the whole window of samples again (or double-click the chart)");
    Button_ResetView->setAutoDefault(false);
    Label_Readout = new QLabel(this);
    Label_Readout->setObjectName("Label_Readout");
    Label_Readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* hint = new QLabel("Wheel: zoom time (Ctrl: value)   Drag: pan   Shift+drag: zoom to a rectangle", this);
    hint->setObjectName("Label_ViewHint");
    QPalette hintPalette = hint->palette();
    hintPalette.setColor(QPalette::WindowText, QColor(90, 90, 90));
    hint->setPalette(hintPalette);

    auto* bar = new QHBoxLayout;
    bar->addWidget(Label_Readout, 1);
    bar->addWidget(Button_ResetView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Chart1, 1);
    layout->addLayout(bar);
    layout->addWidget(hint);
    resize(640, 480);

    connect(Button_ResetView, &QPushButton::clicked, this, &TForm_Obdelava_Large::ResetView);
    connect(Chart1, &Chart::doubleClicked, this, &TForm_Obdelava_Large::ResetView);
    connect(Chart1, &QCustomPlot::mousePress, this, &TForm_Obdelava_Large::mousePressed);
    connect(Chart1, &QCustomPlot::mouseWheel, this, &TForm_Obdelava_Large::wheelTurned);
    connect(Chart1, &QCustomPlot::mouseMove, this, &TForm_Obdelava_Large::mouseMoved);
}

void TForm_Obdelava_Large::ShowEnlarged(std::span<const double> times, std::span<const double> signal, int start,
                                        int end, const QString& title) {
    Chart1->setTitle(title);
    Chart::setPoints(Series1, times, signal, start, end);
    double maximum = 0.0;
    double minimum = 0.0;
    MaxMin(signal, maximum, minimum, start, end);
    const AxisRange axis = ValueAxisRange(maximum, minimum);
    Chart1->fixValueAxis(axis.Lower, axis.Upper);
    Chart1->fitKeyAxis();
    keyRange_ = Chart1->xAxis->range();
    valueRange_ = Chart1->yAxis->range();
    firstSample_ = std::max(start, 1);
    tracer_->setVisible(false);
    Label_Readout->clear();
    Chart1->replot();
}

void TForm_Obdelava_Large::ResetView() {
    Chart1->xAxis->setRange(keyRange_);
    Chart1->yAxis->setRange(valueRange_);
    Chart1->replot();
}

bool TForm_Obdelava_Large::ShowReadout(double key) {
    const QSharedPointer<QCPGraphDataContainer> data = Series1->data();
    if (data->isEmpty()) {
        tracer_->setVisible(false);
        Label_Readout->clear();
        return false;
    }
    // The nearest point: the first at or after the key, or the one before it.
    auto it = data->findBegin(key, false);
    if (it == data->constEnd()) it = data->constEnd() - 1;
    if (it != data->constBegin() && key - (it - 1)->key < it->key - key) --it;
    const int sample = firstSample_ + static_cast<int>(std::distance(data->constBegin(), it));
    const char separator = LocaleDecimalSeparator();
    Label_Readout->setText(QStringLiteral("Sample %1:  t = %2 s,  value = %3")
                               .arg(sample)
                               .arg(QString::fromStdString(FormatGeneral(it->key, 8, separator)),
                                    QString::fromStdString(FormatGeneral(it->value, 8, separator))));
    tracer_->position->setCoords(it->key, it->value);
    tracer_->setVisible(true);
    Chart1->replot(QCustomPlot::rpQueuedReplot);
    return true;
}

void TForm_Obdelava_Large::mousePressed(QMouseEvent* event) {
    // Shift and drag draws a rectangle to zoom to; a plain drag pans.
    Chart1->setSelectionRectMode(event->modifiers() & Qt::ShiftModifier ? QCP::srmZoom : QCP::srmNone);
}

void TForm_Obdelava_Large::wheelTurned(QWheelEvent* event) {
    Chart1->axisRect()->setRangeZoom(event->modifiers() & Qt::ControlModifier ? Qt::Vertical : Qt::Horizontal);
}

void TForm_Obdelava_Large::mouseMoved(QMouseEvent* event) {
    if (!Chart1->axisRect()->rect().contains(event->pos())) return;
    ShowReadout(Chart1->xAxis->pixelToCoord(event->pos().x()));
}

}  // namespace halvetra
