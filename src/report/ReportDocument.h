#pragma once
// The report's content as a QTextDocument, typed in the order of the report:
// title block, OPC settings and tables 1 to 3, then the Data, Model and
// Controller sections that are included.
#include <QByteArray>
#include <QHash>
#include <QSizeF>
#include <QString>

class QTextDocument;

namespace halvetra {

struct ReportInputs;

// One picture file: its name (the key of the document's image resource) and bytes.
struct ReportPicture {
    QString Name;
    QByteArray Bytes;
    QSizeF SizePt;  // the picture's natural size in points
};

// How lengths are measured in the document being built.
struct ReportGeometry {
    double TextWidthPt = 481.9;  // the page width between the margins (A4, 2 cm)
    double TextHeightPt = 685.9;
    double PixelsPerPt = 96.0 / 72.0;  // document pixels per point (images, layout)
    // Table column widths are given per point in these units: the ODF writer
    // takes the raw numbers as points, Qt's own layout as pixels.
    double TableUnitsPerPt = 1.0;
    QString FontFamily;  // the body font the columns are measured in; empty: the default
    // The document is laid out by Qt itself (PDF) rather than written as a package.
    bool QtLayout = false;
};

// The natural size of a picture in points (from its resolution, 96 dpi when it has none);
// empty when the bytes are no picture.
QSizeF PictureSizePt(const QByteArray& bytes);

// Types the report into the empty document. pictures holds every picture of
// the included sections, keyed by file name.
void BuildReportDocument(QTextDocument& document, const ReportInputs& inputs,
                         const QHash<QString, ReportPicture>& pictures, const ReportGeometry& geometry);

}  // namespace halvetra
