#include "report/ReportPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>

#include "report/ReportTemplate.h"

namespace halvetra {

namespace {

constexpr int Resolution = 300;

double MmToDots(double mm) { return mm / 25.4 * Resolution; }

QFont LineFont(const TemplateHeaderLine& line, const QFont& body) {
    QFont font = body;
    if (!line.FontFamily.isEmpty()) font.setFamilies({line.FontFamily});
    if (line.FontSizePt > 0) font.setPointSizeF(line.FontSizePt);
    font.setBold(line.Bold);
    font.setItalic(line.Italic);
    return font;
}

Qt::Alignment LineAlignment(const QString& alignment) {
    if (alignment == u"center") return Qt::AlignHCenter;
    if (alignment == u"end" || alignment == u"right") return Qt::AlignRight;
    return Qt::AlignLeft;
}

QString LineText(const TemplateHeaderLine& line, int page, int pages) {
    QString text = line.Text;
    text.replace(ReportTemplate::PageNumberMark, QString::number(page));
    text.replace(ReportTemplate::PageCountMark, QString::number(pages));
    return text;
}

// The height of the lines in dots.
double LinesHeight(const std::vector<TemplateHeaderLine>& lines, const QFont& body, QPaintDevice* device) {
    double height = 0.0;
    for (const TemplateHeaderLine& line : lines) height += QFontMetricsF(LineFont(line, body), device).lineSpacing();
    return height;
}

// Draws the lines from top downwards within the width.
void DrawLines(QPainter& painter, const std::vector<TemplateHeaderLine>& lines, const QFont& body, double left,
               double top, double width, int page, int pages) {
    for (const TemplateHeaderLine& line : lines) {
        const QFont font = LineFont(line, body);
        const double height = QFontMetricsF(font, painter.device()).lineSpacing();
        painter.setFont(font);
        painter.drawText(QRectF(left, top, width, height), LineAlignment(line.Alignment) | Qt::AlignVCenter,
                         LineText(line, page, pages));
        top += height;
    }
}

}  // namespace

void WriteReportPdf(QTextDocument& document, const ReportTemplate& reportTemplate, const QString& title,
                    QIODevice& out) {
    const TemplatePageLayout& page = reportTemplate.Layout;
    QPdfWriter pdf(&out);
    pdf.setResolution(Resolution);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Halvetra"));
    // A page size is named upright and turned by the orientation: a
    // landscape page is its portrait size turned, not its width and height
    // as they stand (which the orientation would turn back to portrait).
    const bool landscape = page.WidthMm > page.HeightMm;
    const QPageSize size(QSizeF(std::min(page.WidthMm, page.HeightMm), std::max(page.WidthMm, page.HeightMm)),
                         QPageSize::Millimeter);
    pdf.setPageLayout(QPageLayout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(),
                                  QPageLayout::Millimeter));

    QFont body = document.defaultFont();
    if (!reportTemplate.FontFamily.isEmpty()) body.setFamilies({reportTemplate.FontFamily});
    body.setPointSizeF(reportTemplate.FontSizePt);
    document.setDefaultFont(body);

    // The body lies between the margins, below the header and above the footer.
    const double left = MmToDots(page.LeftMm);
    const double width = MmToDots(page.TextWidthMm());
    const double headerHeight = LinesHeight(reportTemplate.Header, body, &pdf);
    const double footerHeight = LinesHeight(reportTemplate.Footer, body, &pdf);
    const double headerTop = MmToDots(page.TopMm);
    const double bodyTop =
        headerTop + (reportTemplate.Header.empty() ? 0.0 : headerHeight + MmToDots(page.HeaderSpacingMm));
    const double footerTop = MmToDots(page.HeightMm - page.BottomMm) - footerHeight;
    const double bodyBottom = footerTop - (reportTemplate.Footer.empty() ? 0.0 : MmToDots(page.FooterSpacingMm));
    const double height = std::max(bodyBottom - bodyTop, MmToDots(20.0));

    document.setDocumentMargin(0);
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    layout->setPaintDevice(&pdf);
    document.setPageSize(QSizeF(width, height));
    const int pages = std::max(1, document.pageCount());

    QPainter painter(&pdf);
    for (int index = 0; index < pages; ++index) {
        if (index > 0) pdf.newPage();
        painter.save();
        painter.translate(left, bodyTop - index * height);
        const QRectF view(0, index * height, width, height);
        painter.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = view;
        context.palette.setColor(QPalette::Text, Qt::black);
        layout->draw(&painter, context);
        painter.restore();

        painter.setPen(Qt::black);
        DrawLines(painter, reportTemplate.Header, body, left, headerTop, width, index + 1, pages);
        DrawLines(painter, reportTemplate.Footer, body, left, footerTop, width, index + 1, pages);
    }
    painter.end();
}

}  // namespace halvetra
