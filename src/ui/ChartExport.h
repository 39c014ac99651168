#pragma once
// The pictures a report is built from: the four signal charts and the four
// histograms over the Data page's window, drawn in the enlarged-signal and
// histogram windows, and the Model and Controller page charts. "Make report"
// and the automatic processing share them; only the chart titles differ.
//
// Each picture is a PNG of the chart's whole area at twice its size on
// screen, written into the report's folder under a fixed name, and removed
// again once the report is written.
#include <QString>
#include <QStringList>
#include <array>

namespace halvetra {

class Chart;
class TForm_Histogram;
class TForm_Obdelava_Large;
struct MeasuredData;

// The file names, in the signal order MV1, U1, Y1, Y2.
inline constexpr std::array<const char*, 4> SignalPictureNames = {"grafik0.png", "grafik.png", "grafik1.png",
                                                                  "grafik2.png"};
inline constexpr std::array<const char*, 4> HistogramPictureNames = {"grafik_HMV.png", "grafik_HU.png", "grafik_HY.png",
                                                                     "grafik_HY1.png"};
inline constexpr const char* ModelPictureName = "grafik3.png";
inline constexpr const char* ControllerPictureName = "grafik4.png";
// All ten.
QStringList ReportPictureNames();

// The titles of the four signal charts and of the four histograms.
struct PictureTitles {
    std::array<QString, 4> Signals;
    std::array<QString, 4> Histograms;
    // The signals' descriptions, for the value axes of the pictures; an empty
    // one gives the signal's name.
    std::array<QString, 4> Descriptions;
};
// As "Make report" draws them, and as the automatic processing does.
PictureTitles ReportPictureTitles();
PictureTitles AutomaticPictureTitles();

// The background gradients of the charts (colours 0xBBGGRR).
inline constexpr unsigned EnlargedGradientStart = 0xFFE8BF;
inline constexpr unsigned EnlargedGradientEnd = 0xFF9D3C;
inline constexpr unsigned HistogramGradientStart = 0xFFFFFF;
inline constexpr unsigned HistogramGradientEnd = 0xFFB00D;

// Writes `chart` to folder/name; FileError "Cannot create file <path>" when
// the picture cannot be written. Returns the picture's full name.
QString ExportChartPicture(Chart& chart, const QString& folder, const QString& name);

// The four conditioned signals over samples start .. end, one after the other
// in the enlarged window's chart on a white background, each exported under
// its name, with "Time [s]" and the signal's description as axis titles. The
// chart's gradient and axis titles are restored afterwards, also on a failure.
QStringList ExportSignalPictures(TForm_Obdelava_Large& window, const MeasuredData& data, int start, int end,
                                 const PictureTitles& titles, const QString& folder);

// The 20-class histograms of the four conditioned signals over the same
// window, in the histogram window's chart on a white background, each
// exported under its name with the signal's description and "Number of
// samples" as axis titles; the gradient and titles are restored afterwards.
QStringList ExportHistogramPictures(TForm_Histogram& window, const MeasuredData& data, int start, int end,
                                    const PictureTitles& titles, const QString& folder);

// A page chart exported with the background gradient shown for the picture;
// the page's own plain white background is back afterwards.
QString ExportPageChartPicture(Chart& chart, const QString& folder, const QString& name);

// Removes the ten pictures from `folder`; a missing one is skipped.
void DeleteReportPictures(const QString& folder);

// Removes the ten pictures from its folder when it goes out of scope, so that
// a failed report leaves none behind.
class ReportPictureCleanup {
public:
    explicit ReportPictureCleanup(QString folder) : folder_(std::move(folder)) {}
    ~ReportPictureCleanup() { DeleteReportPictures(folder_); }
    ReportPictureCleanup(const ReportPictureCleanup&) = delete;
    ReportPictureCleanup& operator=(const ReportPictureCleanup&) = delete;

private:
    QString folder_;
};

}  // namespace halvetra
