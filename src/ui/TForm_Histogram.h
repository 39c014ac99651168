#pragma once
// The histogram of one signal's window: 20 bars between the window's extremes.
#include <QDialog>
#include <span>

class QCPAxisTickerFixed;
class QCPBars;

namespace halvetra {

class Chart;

class TForm_Histogram : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Histogram(QWidget* parent = nullptr);

    // Fills the chart with bars first .. last (counted from 1) of the given
    // left edges and counts under `title`. The key axis steps by a tenth of
    // the range (two bars) unless maximum equals minimum, when it keeps its
    // previous step.
    void ShowHistogram(std::span<const double> leftEdges, std::span<const double> counts, int firstBar, int lastBar,
                       const QString& title, double minimum, double maximum);

    Chart* Chart1;     // the histogram
    QCPBars* Series1;  // its bars

private:
    QSharedPointer<QCPAxisTickerFixed> ticker_;
};

}  // namespace halvetra
