#pragma once
// One signal's window, enlarged, always drawn as a line. Unlike the page
// charts it can be explored: the wheel zooms the time axis (with Ctrl the
// value axis), dragging pans, Shift and dragging zooms to a rectangle, and
// "reset view" (or a double click) brings back the whole window. Moving the
// mouse over the chart reads out the nearest sample's number, time and value.
#include <QDialog>
#include <span>

#include <qcustomplot.h>

class QLabel;
class QPushButton;

namespace halvetra {

class Chart;

class TForm_Obdelava_Large : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Obdelava_Large(QWidget* parent = nullptr);

    // Draws (times[i], signal[i]) for samples start .. end under `title`, the
    // value axis fixed a tenth of the range beyond the window's extremes; the
    // view and the readout start afresh.
    void ShowEnlarged(std::span<const double> times, std::span<const double> signal, int start, int end,
                      const QString& title);

    // The axes as ShowEnlarged set them.
    void ResetView();
    // Marks the sample nearest to time `key` and reads it out; false (and no
    // mark) when the chart holds no points.
    bool ShowReadout(double key);

    Chart* Chart1;                  // the enlarged signal
    QCPGraph* Series1;              // its curve
    QPushButton* Button_ResetView;  // "reset view"
    QLabel* Label_Readout;

private:
    void mousePressed(QMouseEvent* event);
    void wheelTurned(QWheelEvent* event);
    void mouseMoved(QMouseEvent* event);

    QCPItemTracer* tracer_;
    QCPRange keyRange_;
    QCPRange valueRange_;
    int firstSample_ = 1;
};

}  // namespace halvetra
