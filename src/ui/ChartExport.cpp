#include "ui/ChartExport.h"

#include <QDir>
#include <QFile>
#include <QLayout>

#include "data/Errors.h"
#include "data/GlobalProcedures.h"
#include "data/MeasuredData.h"
#include "ui/Chart.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"

namespace halvetra {

namespace {

using SignalValues = std::vector<double> MeasuredData::*;
constexpr std::array<SignalValues, 4> ConditionedSignals = {&MeasuredData::ConditionedMV, &MeasuredData::ConditionedU,
                                                            &MeasuredData::ConditionedY, &MeasuredData::ConditionedY2};

// A window that has never been shown has not laid out its chart yet: lay it
// out at the window's size, so the picture has the size the user sees.
void layOut(QWidget& window) {
    if (!window.isVisible() && window.layout()) window.layout()->activate();
}

// Puts a chart's gradient back when it goes out of scope.
class GradientRestore {
public:
    GradientRestore(Chart& chart, QColor start, QColor end) : chart_(chart), start_(start), end_(end) {}
    ~GradientRestore() { chart_.setGradientBackground(start_, end_); }
    GradientRestore(const GradientRestore&) = delete;
    GradientRestore& operator=(const GradientRestore&) = delete;

private:
    Chart& chart_;
    QColor start_;
    QColor end_;
};

// Puts a chart's axis titles back when it goes out of scope.
class AxisTitlesRestore {
public:
    explicit AxisTitlesRestore(Chart& chart)
        : chart_(chart), key_(chart.xAxis->label()), value_(chart.yAxis->label()) {}
    ~AxisTitlesRestore() {
        chart_.xAxis->setLabel(key_);
        chart_.yAxis->setLabel(value_);
    }
    AxisTitlesRestore(const AxisTitlesRestore&) = delete;
    AxisTitlesRestore& operator=(const AxisTitlesRestore&) = delete;

private:
    Chart& chart_;
    QString key_;
    QString value_;
};

// A window's chart drawing pictures: laid out at the window's size, on a
// white background; its gradient and axis titles come back afterwards, also
// on a failure.
class PictureChart {
public:
    PictureChart(QWidget& window, Chart& chart, unsigned gradientStart, unsigned gradientEnd)
        : gradient_(chart, ColorFromBgr(gradientStart), ColorFromBgr(gradientEnd)), titles_(chart) {
        layOut(window);
        chart.setPlainBackground(Qt::white);
    }

private:
    GradientRestore gradient_;
    AxisTitlesRestore titles_;
};

// The value axis's title of signal k: its description, or its name.
QString ValueTitle(const PictureTitles& titles, std::size_t k) {
    static const char* const Names[4] = {"Manipulative signal MV1", "Process input U1", "Measurement Y1",
                                         "Measurement Y2"};
    return titles.Descriptions[k].isEmpty() ? QString::fromLatin1(Names[k]) : titles.Descriptions[k];
}

}  // namespace

QStringList ReportPictureNames() {
    QStringList names;
    for (const char* name : SignalPictureNames) names << name;
    for (const char* name : HistogramPictureNames) names << name;
    names << ModelPictureName << ControllerPictureName;
    return names;
}

PictureTitles ReportPictureTitles() {
    return {{"Manipulative signal", "Process input", "Process output (inner loop)", "Process output (outer loop)"},
            {"Histogram of manipulative signal", "Histogram of process input", "Histogram of inner process output",
             "Histogram of outer process output"},
            {}};
}

PictureTitles AutomaticPictureTitles() {
    return {{"Manipulativni signal", "Izhod regulatorja", "Meritev 1", "Meritev 2"},
            {"Histogram manipulativnega signala", "Histogram izhoda regulatorja", "Histogram meritve 1",
             "Histogram meritve 2"},
            {}};
}

QString ExportChartPicture(Chart& chart, const QString& folder, const QString& name) {
    const QString path = QDir::toNativeSeparators(QDir(folder).filePath(name));
    if (!chart.exportPng(path)) throw FileError("Cannot create file " + path.toStdString());
    return path;
}

QStringList ExportSignalPictures(TForm_Obdelava_Large& window, const MeasuredData& data, int start, int end,
                                 const PictureTitles& titles, const QString& folder) {
    const PictureChart picture(window, *window.Chart1, EnlargedGradientStart, EnlargedGradientEnd);
    Chart& chart = *window.Chart1;
    chart.xAxis->setLabel(QStringLiteral("Time [s]"));
    QStringList written;
    for (std::size_t k = 0; k < ConditionedSignals.size(); ++k) {
        chart.yAxis->setLabel(ValueTitle(titles, k));
        window.ShowEnlarged(data.SampleTimes, data.*ConditionedSignals[k], start, end, titles.Signals[k]);
        written << ExportChartPicture(chart, folder, SignalPictureNames[k]);
    }
    return written;
}

QStringList ExportHistogramPictures(TForm_Histogram& window, const MeasuredData& data, int start, int end,
                                    const PictureTitles& titles, const QString& folder) {
    const PictureChart picture(window, *window.Chart1, HistogramGradientStart, HistogramGradientEnd);
    Chart& chart = *window.Chart1;
    chart.yAxis->setLabel(QStringLiteral("Number of samples"));
    QStringList written;
    for (std::size_t k = 0; k < ConditionedSignals.size(); ++k) {
        chart.xAxis->setLabel(ValueTitle(titles, k));
        std::array<double, HistogramBins> edges{};
        std::array<double, HistogramBins> counts{};
        double minimum = 0.0;
        double maximum = 0.0;
        Histogram20(data.*ConditionedSignals[k], start, end, edges, counts, minimum, maximum);
        window.ShowHistogram(edges, counts, 1, HistogramBins, titles.Histograms[k], minimum, maximum);
        written << ExportChartPicture(chart, folder, HistogramPictureNames[k]);
    }
    return written;
}

QString ExportPageChartPicture(Chart& chart, const QString& folder, const QString& name) {
    chart.setGradientBackground(ColorFromBgr(EnlargedGradientStart), ColorFromBgr(EnlargedGradientEnd));
    struct PlainAgain {
        Chart& chart;
        ~PlainAgain() { chart.setPlainBackground(Qt::white); }
    } plainAgain{chart};
    return ExportChartPicture(chart, folder, name);
}

void DeleteReportPictures(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name : ReportPictureNames()) QFile::remove(dir.filePath(name));
}

}  // namespace halvetra
