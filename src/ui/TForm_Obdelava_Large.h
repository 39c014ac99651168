#pragma once
// One signal's window, enlarged, always drawn as a line.
#include <QDialog>
#include <span>

class QCPGraph;

namespace halvetra {

class Chart;

class TForm_Obdelava_Large : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Obdelava_Large(QWidget* parent = nullptr);

    // Draws (times[i], signal[i]) for samples start .. end under `title`, the
    // value axis fixed a tenth of the range beyond the window's extremes.
    void ShowEnlarged(std::span<const double> times, std::span<const double> signal, int start, int end,
                      const QString& title);

    Chart* Chart1;
    QCPGraph* Series1;
};

}  // namespace halvetra
