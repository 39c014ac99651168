#pragma once
// The chart every page and window draws on, built on QCustomPlot: a title row
// above one axis rectangle, line series (optionally as stairs) and bar series
// with their own colours and dash styles, an optional legend, a plain or
// gradient background, a value axis that can be fixed to a range, a key axis
// that follows the data, and export of the whole chart to a PNG picture.
#include <qcustomplot.h>

#include <span>

namespace halvetra {

// A colour written as 0xBBGGRR (blue, green, red bytes).
QColor ColorFromBgr(unsigned bgr);

class Chart : public QCustomPlot {
    Q_OBJECT
public:
    Chart(const QString& objectName, const QString& title, QWidget* parent = nullptr, int titlePixelSize = 16);

    void setTitle(const QString& title);
    QString title() const;

    // A line series; `stairs` holds each value until the next point.
    QCPGraph* addLineSeries(const QString& name, const QColor& color, bool stairs = false,
                            Qt::PenStyle style = Qt::SolidLine, double width = 1.0);
    QCPBars* addBarSeries(const QString& name, const QColor& color);

    void setLegendVisible(bool visible);
    void setPlainBackground(const QColor& color);
    // A vertical gradient from `top` to `bottom` behind the axis rectangle.
    void setGradientBackground(const QColor& top, const QColor& bottom);

    // The value (left) axis fixed to lower .. upper.
    void fixValueAxis(double lower, double upper);
    // The key (bottom) axis to the extent of the data of every series.
    void fitKeyAxis();

    // Removes the points of every series, keeping the series.
    void clearPoints();

    // Replaces a series' points by (x[i - 1], y[i - 1]) for i = first .. last,
    // reusing the series' storage.
    static void setPoints(QCPGraph* series, std::span<const double> x, std::span<const double> y, int first, int last);

    // The whole chart area as a PNG picture at twice the chart's size on
    // screen. False when the file could not be written.
    bool exportPng(const QString& fileName);

signals:
    void contextPopup();  // right click (or the menu key) on the chart
    void doubleClicked();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QCPTextElement* title_;
};

}  // namespace halvetra
