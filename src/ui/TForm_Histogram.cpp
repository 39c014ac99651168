#include "ui/TForm_Histogram.h"

#include <QVBoxLayout>
#include <algorithm>

#include "ui/Chart.h"

namespace halvetra {

namespace {

// Fixed steps between labelled ticks, four minor ticks between them.
class HistogramTicker : public QCPAxisTickerFixed {
protected:
    int getSubTickCount(double) override { return 4; }
};

}  // namespace

TForm_Histogram::TForm_Histogram(QWidget* parent) : QDialog(parent) {
    setObjectName("Form_Histogram");
    setWindowTitle("Histogram");
    Chart1 = new Chart("Chart1", "Histogram", this, 19);
    Chart1->setGradientBackground(Qt::white, ColorFromBgr(0xFFB00D));
    Chart1->setLegendVisible(false);
    Series1 = Chart1->addBarSeries("Series1", Qt::blue);
    ticker_.reset(new HistogramTicker);
    ticker_->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    Chart1->xAxis->setTicker(ticker_);
    Chart1->xAxis->setSubTicks(true);
    // Ten labels across a narrow window: four significant digits keep them apart.
    Chart1->xAxis->setNumberFormat("g");
    Chart1->xAxis->setNumberPrecision(4);
    Chart1->setMinimumSize(400, 250);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Chart1);
    setFixedSize(416, 266);
}

void TForm_Histogram::ShowHistogram(std::span<const double> leftEdges, std::span<const double> counts, int firstBar,
                                    int lastBar, const QString& title, double minimum, double maximum) {
    Chart1->setTitle(title);
    Series1->data()->clear();
    double highest = 0.0;
    const int last = std::min<long long>({static_cast<long long>(lastBar), static_cast<long long>(leftEdges.size()),
                                          static_cast<long long>(counts.size())});
    for (int k = std::max(firstBar, 1); k <= last; ++k) {
        const double count = counts[static_cast<std::size_t>(k - 1)];
        Series1->addData(leftEdges[static_cast<std::size_t>(k - 1)], count);
        highest = std::max(highest, count);
    }
    const double range = maximum - minimum;
    if (maximum != minimum) {
        ticker_->setTickStep(range * 0.1);
        Series1->setWidth(range * 0.05);  // one bin
    }
    const double width = Series1->width();
    Chart1->xAxis->setRange(minimum - width, maximum + width);
    Chart1->yAxis->setRange(0.0, highest > 0.0 ? highest * 1.1 : 1.0);
    Chart1->replot();
}

}  // namespace halvetra
