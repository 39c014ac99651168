#pragma once
// The report's template: an OpenDocument text template (.ott) or document
// (.odt) whose styles, page layout, header and footer the report takes over.
#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "report/ZipPackage.h"

namespace halvetra {

// Page geometry in millimetres.
struct TemplatePageLayout {
    double WidthMm = 210.0;
    double HeightMm = 297.0;
    double TopMm = 20.0;
    double BottomMm = 20.0;
    double LeftMm = 20.0;
    double RightMm = 20.0;
    double HeaderSpacingMm = 0.0;  // between the header and the body
    double FooterSpacingMm = 0.0;  // between the body and the footer

    double TextWidthMm() const { return WidthMm - LeftMm - RightMm; }
    double TextHeightMm() const { return HeightMm - TopMm - BottomMm; }
};

// One paragraph of the header or footer as plain text. The page number and
// page count fields stand as PageNumberMark and PageCountMark.
struct TemplateHeaderLine {
    QString Text;
    QString Alignment = QStringLiteral("start");  // fo:text-align: start, center, end, left, right, justify
    QString FontFamily;                           // empty: the body font
    double FontSizePt = 0.0;                      // 0: the body size
    bool Bold = false;
    bool Italic = false;
};

class ReportTemplate {
public:
    static constexpr QChar PageNumberMark = QChar(0xE000);
    static constexpr QChar PageCountMark = QChar(0xE001);

    // Reads the template file (a path or a Qt resource). Throws FileError
    // "Cannot open file <path>" when it cannot be read, and HalvetraError when
    // it is not an OpenDocument text package with styles.
    static ReportTemplate Load(const QString& path);
    // The same from the bytes of the package; path only names it in errors.
    static ReportTemplate FromBytes(const QByteArray& bytes, const QString& path);

    QByteArray StylesXml;              // the template's styles.xml, unchanged
    std::vector<ZipEntry> StyleFiles;  // files of the package that styles.xml refers to (header pictures)
    QString OfficeVersion = QStringLiteral("1.2");
    QString MasterPageName;         // the first master page; empty when there is none
    bool HasStandardStyle = false;  // a paragraph style "Standard" exists
    TemplatePageLayout Layout;
    QString FontFamily;  // the body font; empty when the template names none
    double FontSizePt = 12.0;
    std::vector<TemplateHeaderLine> Header;
    std::vector<TemplateHeaderLine> Footer;
};

// An ODF length ("2cm", "20mm", "0.7874in", "56.7pt", "4pc", "96px") in millimetres.
std::optional<double> OdfLengthToMm(QStringView text);

}  // namespace halvetra
