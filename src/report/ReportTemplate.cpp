#include "report/ReportTemplate.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <functional>
#include <set>

#include "data/Errors.h"
#include "data/TextFile.h"

namespace halvetra {

namespace {

const QString OfficeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString StyleNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString TextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString FoNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
const QString SvgNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
const QString XlinkNs = QStringLiteral("http://www.w3.org/1999/xlink");

// What a paragraph style says about alignment and font, before inheritance.
struct StyleInfo {
    QString Parent;
    QString Alignment;
    QString FontName;    // style:font-name, a name of the font-face declarations
    QString FontFamily;  // fo:font-family
    std::optional<double> SizePt;
    std::optional<double> SizeFactor;  // a size in percent of the parent's
    std::optional<bool> Bold;
    std::optional<bool> Italic;
};

struct PageLayoutInfo {
    TemplatePageLayout Layout;
};

struct RawHeaderLine {
    QString StyleName;
    QString Text;
};

bool Is(const QXmlStreamReader& reader, const QString& ns, QLatin1StringView name) {
    return reader.namespaceUri() == ns && reader.name() == name;
}

QString Attribute(const QXmlStreamReader& reader, const QString& ns, QLatin1StringView name) {
    return reader.attributes().value(ns, name).toString();
}

void SetLength(const QXmlStreamReader& reader, QLatin1StringView name, double& target) {
    if (const auto mm = OdfLengthToMm(reader.attributes().value(FoNs, name))) target = *mm;
}

void ReadTextProperties(const QXmlStreamReader& reader, StyleInfo& style) {
    const QXmlStreamAttributes attributes = reader.attributes();
    if (attributes.hasAttribute(StyleNs, QLatin1StringView("font-name")))
        style.FontName = attributes.value(StyleNs, QLatin1StringView("font-name")).toString();
    if (attributes.hasAttribute(FoNs, QLatin1StringView("font-family")))
        style.FontFamily = attributes.value(FoNs, QLatin1StringView("font-family")).toString();
    const QStringView size = attributes.value(FoNs, QLatin1StringView("font-size"));
    if (size.endsWith(u'%')) {
        bool ok = false;
        const double percent = size.chopped(1).toDouble(&ok);
        if (ok && percent > 0) style.SizeFactor = percent / 100.0;
    } else if (const auto mm = OdfLengthToMm(size); mm && *mm > 0) {
        style.SizePt = *mm / 25.4 * 72.0;
    }
    if (attributes.hasAttribute(FoNs, QLatin1StringView("font-weight"))) {
        const QStringView weight = attributes.value(FoNs, QLatin1StringView("font-weight"));
        style.Bold = weight == u"bold" || weight.toInt() >= 600;
    }
    if (attributes.hasAttribute(FoNs, QLatin1StringView("font-style")))
        style.Italic = attributes.value(FoNs, QLatin1StringView("font-style")) != u"normal";
}

using ElementSeen = std::function<void(const QXmlStreamReader&)>;

// The plain text of a header or footer paragraph; the reader stands on its start.
QString ReadParagraphText(QXmlStreamReader& reader, const ElementSeen& seen) {
    QString text;
    int depth = 1;
    while (depth > 0 && !reader.atEnd()) {
        reader.readNext();
        if (reader.isCharacters()) {
            text += reader.text();
        } else if (reader.isStartElement()) {
            seen(reader);
            if (Is(reader, TextNs, QLatin1StringView("page-number")) ||
                Is(reader, TextNs, QLatin1StringView("page-count"))) {
                text += Is(reader, TextNs, QLatin1StringView("page-number")) ? ReportTemplate::PageNumberMark
                                                                             : ReportTemplate::PageCountMark;
                reader.skipCurrentElement();  // its content is a stale value
            } else if (Is(reader, TextNs, QLatin1StringView("s"))) {
                const int count = Attribute(reader, TextNs, QLatin1StringView("c")).toInt();
                text += QString(count > 0 ? count : 1, u' ');
                reader.skipCurrentElement();
            } else if (Is(reader, TextNs, QLatin1StringView("tab")) ||
                       Is(reader, TextNs, QLatin1StringView("line-break"))) {
                text += u' ';
                reader.skipCurrentElement();
            } else {
                ++depth;
            }
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    return text;
}

// The paragraphs of a style:header or style:footer; the reader stands on its start.
std::vector<RawHeaderLine> ReadHeaderFooter(QXmlStreamReader& reader, const ElementSeen& seen) {
    std::vector<RawHeaderLine> lines;
    int depth = 1;
    while (depth > 0 && !reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            seen(reader);
            if (Is(reader, TextNs, QLatin1StringView("p")) || Is(reader, TextNs, QLatin1StringView("h"))) {
                RawHeaderLine line;
                line.StyleName = Attribute(reader, TextNs, QLatin1StringView("style-name"));
                line.Text = ReadParagraphText(reader, seen);
                lines.push_back(std::move(line));
            } else {
                ++depth;
            }
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    return lines;
}

QString Unquote(QString family) {
    family = family.trimmed();
    if (family.size() >= 2 && (family.front() == u'\'' || family.front() == u'"') && family.back() == family.front())
        family = family.mid(1, family.size() - 2);
    return family;
}

// A relative reference into the package ("Pictures/x.png", "./Pictures/x.png").
std::optional<QString> PackagePath(QString href) {
    if (href.isEmpty() || href.startsWith(u'#') || href.startsWith(u'/') || href.contains(QStringLiteral("://")) ||
        href.startsWith(QStringLiteral("..")))
        return std::nullopt;
    while (href.startsWith(QStringLiteral("./"))) href.remove(0, 2);
    return href;
}

class StylesReader {
public:
    StylesReader(ReportTemplate& result, const std::vector<ZipEntry>& package) : result_(result), package_(package) {}

    void Read(const QByteArray& xml, const QString& path) {
        QXmlStreamReader reader(xml);
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement())
                StartElement(reader);
            else if (reader.isEndElement())
                EndElement(reader);
        }
        if (reader.hasError())
            throw HalvetraError(QStringLiteral("The report template %1 is damaged: styles.xml, line %2: %3")
                                    .arg(path)
                                    .arg(reader.lineNumber())
                                    .arg(reader.errorString())
                                    .toStdString());

        if (const auto it = layouts_.find(masterLayout_); it != layouts_.end()) result_.Layout = it->Layout;
        const Resolved body = Resolve(QStringLiteral("Standard"));
        result_.FontFamily = body.Family;
        result_.FontSizePt = body.SizePt;
        result_.Header = Lines(header_);
        result_.Footer = Lines(footer_);
    }

private:
    struct Resolved {
        QString Alignment = QStringLiteral("start");
        QString Family;
        double SizePt = 12.0;
        bool Bold = false;
        bool Italic = false;
    };

    // The style with its ancestors and the default paragraph style, nearest first.
    std::vector<const StyleInfo*> Chain(const QString& name) const {
        std::vector<const StyleInfo*> chain;
        std::set<QString> seen;
        QString next = name;
        while (!next.isEmpty() && seen.insert(next).second) {
            const auto it = styles_.find(next);
            if (it == styles_.end()) break;
            chain.push_back(&*it);
            next = it->Parent;
        }
        chain.push_back(&default_);
        return chain;
    }

    Resolved Resolve(const QString& name) const {
        Resolved resolved;
        const std::vector<const StyleInfo*> chain = Chain(name);
        bool alignment = false, family = false, bold = false, italic = false;
        double factor = 1.0;
        std::optional<double> size;
        for (const StyleInfo* style : chain) {
            if (!alignment && !style->Alignment.isEmpty()) resolved.Alignment = style->Alignment, alignment = true;
            if (!family && !style->FontName.isEmpty() && fontFaces_.contains(style->FontName))
                resolved.Family = fontFaces_.value(style->FontName), family = true;
            if (!family && !style->FontFamily.isEmpty()) resolved.Family = Unquote(style->FontFamily), family = true;
            if (!size) {
                if (style->SizePt)
                    size = *style->SizePt;
                else if (style->SizeFactor)
                    factor *= *style->SizeFactor;
            }
            if (!bold && style->Bold) resolved.Bold = *style->Bold, bold = true;
            if (!italic && style->Italic) resolved.Italic = *style->Italic, italic = true;
        }
        resolved.SizePt = size.value_or(12.0) * factor;
        return resolved;
    }

    std::vector<TemplateHeaderLine> Lines(const std::vector<RawHeaderLine>& raw) const {
        std::vector<TemplateHeaderLine> lines;
        for (const RawHeaderLine& line : raw) {
            const Resolved style = Resolve(line.StyleName);
            TemplateHeaderLine out;
            out.Text = line.Text;
            out.Alignment = style.Alignment;
            out.FontFamily = style.Family;
            out.FontSizePt = style.SizePt;
            out.Bold = style.Bold;
            out.Italic = style.Italic;
            lines.push_back(std::move(out));
        }
        return lines;
    }

    void CollectReference(const QXmlStreamReader& reader) {
        const auto path = PackagePath(reader.attributes().value(XlinkNs, QLatin1StringView("href")).toString());
        if (!path || referenced_.contains(*path)) return;
        const ZipEntry* entry = FindEntry(package_, *path);
        if (entry == nullptr) return;
        referenced_.insert(*path);
        result_.StyleFiles.push_back(*entry);
    }

    void StartElement(QXmlStreamReader& reader) {
        CollectReference(reader);
        if (ReadStyleElement(reader)) return;
        if (ReadPageLayoutElement(reader)) return;
        ReadMasterPageElement(reader);
    }

    void EndElement(const QXmlStreamReader& reader) {
        if (Is(reader, StyleNs, QLatin1StringView("style")) || Is(reader, StyleNs, QLatin1StringView("default-style")))
            current_ = nullptr;
        else if (Is(reader, StyleNs, QLatin1StringView("master-page")) && inMasterPage_)
            inMasterPage_ = false, masterPageDone_ = true;
    }

    // The document's version, the font faces and the paragraph styles; false
    // for any other element.
    bool ReadStyleElement(const QXmlStreamReader& reader) {
        if (Is(reader, OfficeNs, QLatin1StringView("document-styles"))) {
            const QString version = Attribute(reader, OfficeNs, QLatin1StringView("version"));
            if (!version.isEmpty()) result_.OfficeVersion = version;
        } else if (Is(reader, StyleNs, QLatin1StringView("font-face"))) {
            fontFaces_.insert(Attribute(reader, StyleNs, QLatin1StringView("name")),
                              Unquote(Attribute(reader, SvgNs, QLatin1StringView("font-family"))));
        } else if (Is(reader, StyleNs, QLatin1StringView("default-style"))) {
            current_ = Attribute(reader, StyleNs, QLatin1StringView("family")) == u"paragraph" ? &default_ : nullptr;
        } else if (Is(reader, StyleNs, QLatin1StringView("style"))) {
            current_ = nullptr;
            if (Attribute(reader, StyleNs, QLatin1StringView("family")) == u"paragraph") {
                const QString name = Attribute(reader, StyleNs, QLatin1StringView("name"));
                current_ = &styles_[name];
                current_->Parent = Attribute(reader, StyleNs, QLatin1StringView("parent-style-name"));
                if (name == u"Standard") result_.HasStandardStyle = true;
            }
        } else if (Is(reader, StyleNs, QLatin1StringView("paragraph-properties")) && current_ != nullptr) {
            const QString align = Attribute(reader, FoNs, QLatin1StringView("text-align"));
            if (!align.isEmpty()) current_->Alignment = align;
        } else if (Is(reader, StyleNs, QLatin1StringView("text-properties")) && current_ != nullptr) {
            ReadTextProperties(reader, *current_);
        } else {
            return false;
        }
        return true;
    }

    // The page layouts: page size and margins, and the spacing of their
    // header and footer; false for any other element.
    bool ReadPageLayoutElement(const QXmlStreamReader& reader) {
        if (Is(reader, StyleNs, QLatin1StringView("page-layout"))) {
            currentLayout_ = Attribute(reader, StyleNs, QLatin1StringView("name"));
            layouts_[currentLayout_] = PageLayoutInfo{};
            layoutPart_ = LayoutPart::Page;
        } else if (Is(reader, StyleNs, QLatin1StringView("header-style"))) {
            layoutPart_ = LayoutPart::Header;
        } else if (Is(reader, StyleNs, QLatin1StringView("footer-style"))) {
            layoutPart_ = LayoutPart::Footer;
        } else if (Is(reader, StyleNs, QLatin1StringView("page-layout-properties")) &&
                   layouts_.contains(currentLayout_)) {
            ReadPageLayoutProperties(reader, layouts_[currentLayout_].Layout);
        } else if (Is(reader, StyleNs, QLatin1StringView("header-footer-properties")) &&
                   layouts_.contains(currentLayout_)) {
            TemplatePageLayout& layout = layouts_[currentLayout_].Layout;
            if (layoutPart_ == LayoutPart::Header)
                SetLength(reader, QLatin1StringView("margin-bottom"), layout.HeaderSpacingMm);
            else if (layoutPart_ == LayoutPart::Footer)
                SetLength(reader, QLatin1StringView("margin-top"), layout.FooterSpacingMm);
        } else {
            return false;
        }
        return true;
    }

    static void ReadPageLayoutProperties(const QXmlStreamReader& reader, TemplatePageLayout& layout) {
        SetLength(reader, QLatin1StringView("page-width"), layout.WidthMm);
        SetLength(reader, QLatin1StringView("page-height"), layout.HeightMm);
        double margin = -1;
        SetLength(reader, QLatin1StringView("margin"), margin);
        if (margin >= 0) layout.TopMm = layout.BottomMm = layout.LeftMm = layout.RightMm = margin;
        SetLength(reader, QLatin1StringView("margin-top"), layout.TopMm);
        SetLength(reader, QLatin1StringView("margin-bottom"), layout.BottomMm);
        SetLength(reader, QLatin1StringView("margin-left"), layout.LeftMm);
        SetLength(reader, QLatin1StringView("margin-right"), layout.RightMm);
    }

    // The first master page: its name, its page layout, its header and footer.
    void ReadMasterPageElement(QXmlStreamReader& reader) {
        const auto collect = [this](const QXmlStreamReader& r) { CollectReference(r); };
        if (Is(reader, StyleNs, QLatin1StringView("master-page")) && !masterPageDone_) {
            inMasterPage_ = true;
            result_.MasterPageName = Attribute(reader, StyleNs, QLatin1StringView("name"));
            masterLayout_ = Attribute(reader, StyleNs, QLatin1StringView("page-layout-name"));
        } else if (inMasterPage_ && Is(reader, StyleNs, QLatin1StringView("header"))) {
            header_ = ReadHeaderFooter(reader, collect);
        } else if (inMasterPage_ && Is(reader, StyleNs, QLatin1StringView("footer"))) {
            footer_ = ReadHeaderFooter(reader, collect);
        }
    }

    ReportTemplate& result_;
    const std::vector<ZipEntry>& package_;
    StyleInfo default_;
    QHash<QString, StyleInfo> styles_;
    QHash<QString, QString> fontFaces_;
    QHash<QString, PageLayoutInfo> layouts_;
    std::set<QString> referenced_;

    // Where the reading stands.
    enum class LayoutPart { Page, Header, Footer };
    StyleInfo* current_ = nullptr;  // the paragraph style being read
    QString currentLayout_;
    LayoutPart layoutPart_ = LayoutPart::Page;
    bool inMasterPage_ = false;
    bool masterPageDone_ = false;
    QString masterLayout_;
    std::vector<RawHeaderLine> header_, footer_;
};

}  // namespace

std::optional<double> OdfLengthToMm(QStringView text) {
    text = text.trimmed();
    qsizetype split = text.size();
    while (split > 0 && text[split - 1].isLetter()) --split;
    const QStringView unit = text.mid(split);
    bool ok = false;
    const double value = text.first(split).toDouble(&ok);
    if (!ok) return std::nullopt;
    if (unit == u"mm") return value;
    if (unit == u"cm") return value * 10.0;
    if (unit == u"in" || unit == u"inch") return value * 25.4;
    if (unit == u"pt") return value * 25.4 / 72.0;
    if (unit == u"pc") return value * 12.0 * 25.4 / 72.0;
    if (unit == u"px") return value * 25.4 / 96.0;
    return std::nullopt;
}

ReportTemplate ReportTemplate::Load(const QString& path) {
    // As every file Halvetra reads: a FIFO or a device would block the
    // report or never end, and a template has no reason to be huge.
    const QFileInfo info(path);
    if (info.exists() && !info.isDir() && !info.isFile())
        throw FileError(QStringLiteral("Cannot open file %1: it is not a regular file").arg(path).toStdString());
    if (info.isFile() && info.size() > static_cast<qint64>(MaxTextFileBytes))
        throw FileError(QStringLiteral("Cannot open file %1: it is larger than %2 MB")
                            .arg(path)
                            .arg(MaxTextFileBytes / (1024 * 1024))
                            .toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw FileError(QStringLiteral("Cannot open file %1").arg(path).toStdString());
    return FromBytes(file.readAll(), path);
}

ReportTemplate ReportTemplate::FromBytes(const QByteArray& bytes, const QString& path) {
    const auto package = ReadZip(bytes);
    const ZipEntry* styles = package ? FindEntry(*package, QStringLiteral("styles.xml")) : nullptr;
    const ZipEntry* mimetype = package ? FindEntry(*package, QStringLiteral("mimetype")) : nullptr;
    const bool text =
        mimetype == nullptr || mimetype->Data.trimmed().startsWith("application/vnd.oasis.opendocument.text");
    if (styles == nullptr || !text)
        throw HalvetraError(
            QStringLiteral("%1 is not an OpenDocument text template (.ott or .odt)").arg(path).toStdString());

    ReportTemplate result;
    result.StylesXml = styles->Data;
    StylesReader(result, *package).Read(styles->Data, path);
    return result;
}

}  // namespace halvetra
