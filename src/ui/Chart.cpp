#include "ui/Chart.h"

#include <QContextMenuEvent>
#include <QBuffer>
#include <QSaveFile>
#include <algorithm>

namespace halvetra {

QColor ColorFromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

Chart::Chart(const QString& objectName, const QString& title, QWidget* parent, int titlePixelSize)
    : QCustomPlot(parent) {
    setObjectName(objectName);
    plotLayout()->insertRow(0);
    QFont font(QStringLiteral("Comic Sans MS"));
    font.setPixelSize(titlePixelSize);
    font.setStyleHint(QFont::SansSerif);
    title_ = new QCPTextElement(this, title, font);
    title_->setMargins(QMargins(0, 2, 0, 0));
    plotLayout()->addElement(0, 0, title_);
    plotLayout()->setRowSpacing(0);
    legend->setVisible(false);
    setInteractions({});
    setNoAntialiasingOnDrag(true);
    QFont tickFont = font;
    tickFont.setFamily(QStringLiteral("DejaVu Sans"));
    tickFont.setPixelSize(10);
    for (QCPAxis* axis : {xAxis, yAxis}) {
        axis->setTickLabelFont(tickFont);
        axis->setLabelFont(tickFont);
    }
    axisRect()->setMinimumMargins(QMargins(4, 2, 8, 2));
}

void Chart::setTitle(const QString& title) { title_->setText(title); }

QString Chart::title() const { return title_->text(); }

QCPGraph* Chart::addLineSeries(const QString& name, const QColor& color, bool stairs, Qt::PenStyle style,
                               double width) {
    QCPGraph* series = addGraph();
    series->setName(name);
    series->setPen(QPen(color, width, style));
    series->setLineStyle(stairs ? QCPGraph::lsStepLeft : QCPGraph::lsLine);
    series->setAdaptiveSampling(true);
    return series;
}

QCPBars* Chart::addBarSeries(const QString& name, const QColor& color) {
    auto* bars = new QCPBars(xAxis, yAxis);
    bars->setName(name);
    bars->setPen(QPen(color.darker(130)));
    bars->setBrush(color);
    return bars;
}

void Chart::setLegendVisible(bool visible) { legend->setVisible(visible); }

void Chart::setPlainBackground(const QColor& color) {
    setBackground(QBrush(color));
    axisRect()->setBackground(QBrush(color));
}

void Chart::setGradientBackground(const QColor& top, const QColor& bottom) {
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    setBackground(QBrush(gradient));
    axisRect()->setBackground(QBrush(Qt::NoBrush));
}

void Chart::fixValueAxis(double lower, double upper) { yAxis->setRange(lower, upper); }

void Chart::fitKeyAxis() {
    bool found = false;
    QCPRange range;
    for (int i = 0; i < plottableCount(); ++i) {
        bool ok = false;
        const QCPRange r = plottable(i)->getKeyRange(ok);
        if (!ok) continue;
        range = found ? QCPRange(std::min(range.lower, r.lower), std::max(range.upper, r.upper)) : r;
        found = true;
    }
    if (!found) return;
    if (range.lower == range.upper) range = QCPRange(range.lower - 0.5, range.upper + 0.5);
    xAxis->setRange(range);
}

void Chart::clearPoints() {
    for (int i = 0; i < graphCount(); ++i) graph(i)->data()->clear();
    for (int i = 0; i < plottableCount(); ++i)
        if (auto* bars = qobject_cast<QCPBars*>(plottable(i))) bars->data()->clear();
}

void Chart::setPoints(QCPGraph* series, std::span<const double> x, std::span<const double> y, int first, int last) {
    QSharedPointer<QCPGraphDataContainer> data = series->data();
    data->clear();  // keeps the storage for the next points
    const int lo = std::max(first, 1);
    const int hi = std::min<long long>(
        {static_cast<long long>(last), static_cast<long long>(x.size()), static_cast<long long>(y.size())});
    for (int i = lo; i <= hi; ++i)
        data->add(QCPGraphData(x[static_cast<std::size_t>(i - 1)], y[static_cast<std::size_t>(i - 1)]));
}

bool Chart::exportPng(const QString& fileName) {
    // The picture is encoded in memory and then written through a temporary
    // file, so a failed write never leaves half a picture. A write that stops
    // short (a full disk) shows only in its count, and the last buffered
    // bytes only in flush(), so both are checked before the rename.
    const QPixmap picture = toPixmap(0, 0, 2.0);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) return false;
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit();
}

void Chart::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    emit contextPopup();
}

void Chart::mouseDoubleClickEvent(QMouseEvent* event) {
    QCustomPlot::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

}  // namespace halvetra
