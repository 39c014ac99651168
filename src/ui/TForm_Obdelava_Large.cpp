#include "ui/TForm_Obdelava_Large.h"

#include <QVBoxLayout>

#include "data/SignalWindow.h"
#include "data/GlobalProcedures.h"
#include "ui/Chart.h"

namespace halvetra {

TForm_Obdelava_Large::TForm_Obdelava_Large(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_Obdelava_Large");
    setWindowTitle("Prikaz signala");
    Chart1 = new Chart("Chart1", "Signal time response", this, 19);
    Chart1->setGradientBackground(ColorFromBgr(0xFFE8BF), ColorFromBgr(0xFF9D3C));
    Chart1->setLegendVisible(false);
    Series1 = Chart1->addLineSeries("Series1", Qt::blue);
    Chart1->setMinimumSize(300, 200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Chart1);
    resize(593, 425);
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
    Chart1->replot();
}

}  // namespace halvetra
