#include "report/TPorocilo.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QScreen>
#include <QTextDocument>
#include <QTextDocumentWriter>

#include <algorithm>
#include <vector>

#include "data/Errors.h"
#include "data/NumberText.h"
#include "report/ReportDocument.h"
#include "report/ReportPackage.h"
#include "report/ReportPdf.h"
#include "report/ReportTemplate.h"

// The shipped template is compiled into this static library as a resource,
// which the library registers itself before its first use.
static void InitReportResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(halvetra_report);
        return true;
    }();
    (void)registered;
}

namespace halvetra {

namespace {

constexpr double PtPerMm = 72.0 / 25.4;

// The pictures of the included sections, read whole before anything is written.
QHash<QString, ReportPicture> LoadPictures(const ReportInputs& inputs, const QString& folder) {
    QStringList names;
    if (inputs.IncludeData)
        for (int i = 0; i < 8; ++i) names << QString::fromLatin1(TPorocilo::PictureFiles[static_cast<size_t>(i)]);
    if (inputs.IncludeModel) names << QString::fromLatin1(TPorocilo::PictureFiles[8]);
    if (inputs.IncludeController) names << QString::fromLatin1(TPorocilo::PictureFiles[9]);

    QHash<QString, ReportPicture> pictures;
    for (const QString& name : names) {
        const QString path = QDir(folder).filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw FileError(QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(path)).toStdString());
        ReportPicture picture;
        picture.Name = name;
        picture.Bytes = file.readAll();
        picture.SizePt = PictureSizePt(picture.Bytes);
        if (picture.SizePt.isEmpty())
            throw FileError(QStringLiteral("%1 is not a picture").arg(QDir::toNativeSeparators(path)).toStdString());
        pictures.insert(name, picture);
    }
    return pictures;
}

// The figures of the included sections are printed as the pages show them;
// a figure that names a value that is not finite ("NAN", "INF", typed into an
// edit box) ends the report with the floating-point error before any file is
// read or written. The defined texts of the Data page's statistics pass.
void RequireFiniteFigures(const ReportInputs& inputs) {
    std::vector<const QString*> figures;
    if (inputs.IncludeData)
        for (const ReportSignalStatistics& s : inputs.Statistics)
            figures.insert(figures.end(), {&s.Max, &s.Min, &s.Std});
    if (inputs.IncludeModel)
        figures.insert(figures.end(), {&inputs.Model.Gain, &inputs.Model.TimeConstant, &inputs.Model.DeadTime,
                                       &inputs.Model.ModelStd, &inputs.Model.RelativeError});
    if (inputs.IncludeController)
        figures.insert(figures.end(),
                       {&inputs.I_Ki, &inputs.P_Kp, &inputs.PI_Kp, &inputs.PI_Ki, &inputs.PID_Kp, &inputs.PID_Ki,
                        &inputs.PID_Kd, &inputs.ScaledP, &inputs.ScaledI, &inputs.ScaledD});
    for (const QString* figure : figures) {
        const std::string fault = NonFiniteTextFault(figure->toStdString());
        if (!fault.empty()) throw FloatingPointError(fault);
    }
}

ReportGeometry Geometry(const ReportTemplate& reportTemplate, bool pdf) {
    ReportGeometry geometry;
    geometry.TextWidthPt = reportTemplate.Layout.TextWidthMm() * PtPerMm;
    // The body's height is the page's between the margins less the header
    // and the footer with their spacing.
    const auto linesPt = [&reportTemplate](const std::vector<TemplateHeaderLine>& lines) {
        double height = 0.0;
        for (const TemplateHeaderLine& line : lines)
            height += 1.2 * (line.FontSizePt > 0 ? line.FontSizePt : reportTemplate.FontSizePt);
        return height;
    };
    double bodyPt = reportTemplate.Layout.TextHeightMm() * PtPerMm;
    if (!reportTemplate.Header.empty())
        bodyPt -= linesPt(reportTemplate.Header) + reportTemplate.Layout.HeaderSpacingMm * PtPerMm;
    if (!reportTemplate.Footer.empty())
        bodyPt -= linesPt(reportTemplate.Footer) + reportTemplate.Layout.FooterSpacingMm * PtPerMm;
    geometry.TextHeightPt = std::max(bodyPt, 20.0 * PtPerMm);
    geometry.FontFamily = reportTemplate.FontFamily;
    if (pdf) {
        // Qt's layout counts in pixels of the screen's resolution and scales
        // them to the printer's.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double dpi = screen != nullptr ? qRound(screen->logicalDotsPerInchY()) : 96.0;
        geometry.PixelsPerPt = dpi / 72.0;
        geometry.TableUnitsPerPt = geometry.PixelsPerPt;
        geometry.QtLayout = true;
    } else {
        // The ODF writer turns pixels into points at 96 dpi, and writes table
        // widths as points unchanged.
        geometry.PixelsPerPt = 96.0 / 72.0;
        geometry.TableUnitsPerPt = 1.0;
    }
    return geometry;
}

}  // namespace

QString TPorocilo::TemplatePath(const QString& templateName, const QString& reportFolder) {
    if (templateName.isEmpty() || templateName.compare(DefaultTemplateName(), Qt::CaseInsensitive) == 0)
        return ShippedTemplatePath();
    if (QFileInfo(templateName).isRelative()) return QDir(reportFolder).filePath(templateName);
    return templateName;
}

void TPorocilo::CheckTemplate(const QString& templateName, const QString& reportFolder) {
    InitReportResources();
    ReportTemplate::Load(TemplatePath(templateName, reportFolder));
}

void TPorocilo::Make(const ReportInputs& inputs) const {
    InitReportResources();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        throw HalvetraError("The report needs a running application");
    if (inputs.ReportFileName.isEmpty()) throw FileError("Cannot create file (no report file name)");
    RequireFiniteFigures(inputs);

    const QFileInfo report(inputs.ReportFileName);
    const QString folder = report.absolutePath();
    const bool pdf = report.suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0;
    const ReportTemplate reportTemplate = ReportTemplate::Load(TemplatePath(inputs.TemplateName, folder));
    const QHash<QString, ReportPicture> pictures =
        LoadPictures(inputs, inputs.PictureFolder.isEmpty() ? folder : inputs.PictureFolder);

    QTextDocument document;
    BuildReportDocument(document, inputs, pictures, Geometry(reportTemplate, pdf));

    // The document is made in memory first, then written through a temporary
    // file renamed over the target: an existing report is replaced whole or
    // not at all. A write that stops short (a full disk) is caught by its
    // count, which the file device does not report as an error, and the last
    // buffered bytes by flush(), which commit() would not check.
    QByteArray bytes;
    if (pdf) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        WriteReportPdf(document, reportTemplate, QStringLiteral("Report on experiment"), buffer);
    } else {
        QBuffer odf;
        odf.open(QIODevice::WriteOnly);
        QTextDocumentWriter writer(&odf, "odf");
        if (!writer.write(&document)) throw HalvetraError("Cannot write the report: the document writer failed");
        bytes = MergeReportPackage(odf.data(), reportTemplate);
    }
    const QString target = QDir::toNativeSeparators(inputs.ReportFileName);
    QSaveFile file(inputs.ReportFileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        throw FileError(QStringLiteral("Cannot create file %1").arg(target).toStdString());
}

void TPorocilo::RemovePictureFiles(const QString& folder) {
    for (const char* name : PictureFiles) QFile::remove(QDir(folder).filePath(QString::fromLatin1(name)));
}

}  // namespace halvetra
