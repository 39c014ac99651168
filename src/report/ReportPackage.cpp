#include "report/ReportPackage.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <functional>

#include "data/Errors.h"
#include "report/ReportTemplate.h"
#include "report/ZipPackage.h"

namespace halvetra {

namespace {

const QString TextMimeType = QStringLiteral("application/vnd.oasis.opendocument.text");

QString FileMediaType(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (name.endsWith(QStringLiteral(".xml"))) return QStringLiteral("text/xml");
    if (suffix == u"png") return QStringLiteral("image/png");
    if (suffix == u"jpg" || suffix == u"jpeg") return QStringLiteral("image/jpeg");
    if (suffix == u"gif") return QStringLiteral("image/gif");
    if (suffix == u"svg") return QStringLiteral("image/svg+xml");
    return QStringLiteral("application/octet-stream");
}

// Copies an XML document token by token, letting edit change the attributes
// of each element (by qualified name: the content is Qt's own, with fixed prefixes).
QByteArray RewriteXml(const QByteArray& xml, const std::function<void(QStringView, QXmlStreamAttributes&)>& edit) {
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError()) break;
        if (reader.isStartElement()) {
            writer.writeStartElement(reader.qualifiedName().toString());
            QXmlStreamAttributes attributes = reader.attributes();
            edit(reader.qualifiedName(), attributes);
            for (const QXmlStreamAttribute& attribute : attributes)
                writer.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
        } else {
            writer.writeCurrentToken(reader);
        }
    }
    if (reader.hasError())
        throw HalvetraError(QStringLiteral("Cannot write the report: content.xml, line %1: %2")
                                .arg(reader.lineNumber())
                                .arg(reader.errorString())
                                .toStdString());
    return out;
}

void SetAttribute(QXmlStreamAttributes& attributes, const QString& name, const QString& value) {
    for (qsizetype i = 0; i < attributes.size(); ++i)
        if (attributes[i].qualifiedName() == name) {
            attributes.remove(i);
            break;
        }
    attributes.append(name, value);
}

void RemoveAttribute(QXmlStreamAttributes& attributes, QStringView name) {
    for (qsizetype i = attributes.size() - 1; i >= 0; --i)
        if (attributes[i].qualifiedName() == name) attributes.remove(i);
}

// The style of the body's first paragraph.
QString FirstParagraphStyle(const QByteArray& content) {
    QXmlStreamReader reader(content);
    reader.setNamespaceProcessing(false);
    bool inBody = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) continue;
        if (reader.qualifiedName() == u"office:text")
            inBody = true;
        else if (inBody && (reader.qualifiedName() == u"text:p" || reader.qualifiedName() == u"text:h"))
            return reader.attributes().value(QStringLiteral("text:style-name")).toString();
    }
    return {};
}

QByteArray Manifest(const std::vector<ZipEntry>& entries, const QString& version) {
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("manifest:manifest"));
    writer.writeAttribute(QStringLiteral("xmlns:manifest"),
                          QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"));
    writer.writeAttribute(QStringLiteral("manifest:version"), version);
    writer.writeEmptyElement(QStringLiteral("manifest:file-entry"));
    writer.writeAttribute(QStringLiteral("manifest:full-path"), QStringLiteral("/"));
    writer.writeAttribute(QStringLiteral("manifest:version"), version);
    writer.writeAttribute(QStringLiteral("manifest:media-type"), TextMimeType);
    for (const ZipEntry& entry : entries) {
        if (entry.Name == u"mimetype") continue;
        writer.writeEmptyElement(QStringLiteral("manifest:file-entry"));
        writer.writeAttribute(QStringLiteral("manifest:full-path"), entry.Name);
        writer.writeAttribute(QStringLiteral("manifest:media-type"), FileMediaType(entry.Name));
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return out;
}

// The package's ODF version: the template's when it is one we know, else 1.2.
QString PackageVersion(const ReportTemplate& reportTemplate) {
    static const QSet<QString> KnownVersions = {QStringLiteral("1.0"), QStringLiteral("1.1"), QStringLiteral("1.2"),
                                                QStringLiteral("1.3"), QStringLiteral("1.4")};
    return KnownVersions.contains(reportTemplate.OfficeVersion) ? reportTemplate.OfficeVersion : QStringLiteral("1.2");
}

// The package names of the report's pictures (writer's name -> package name).
// The template's own files keep their names; the pictures are named after
// their frames (or their files), clear of those.
QHash<QString, QString> NamePictures(const QByteArray& content, const std::vector<ZipEntry>& written,
                                     const ReportTemplate& reportTemplate) {
    QSet<QString> used;
    for (const ZipEntry& file : reportTemplate.StyleFiles) used.insert(file.Name);
    used.insert(QStringLiteral("content.xml"));
    used.insert(QStringLiteral("styles.xml"));
    used.insert(QStringLiteral("mimetype"));
    used.insert(QStringLiteral("META-INF/manifest.xml"));

    QHash<QString, QString> pictureNames;
    static const QRegularExpression Plain(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    QXmlStreamReader reader(content);
    reader.setNamespaceProcessing(false);
    QString frameName;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) continue;
        if (reader.qualifiedName() == u"draw:frame") {
            frameName = reader.attributes().value(QStringLiteral("draw:name")).toString();
        } else if (reader.qualifiedName() == u"draw:image") {
            const QString href = reader.attributes().value(QStringLiteral("xlink:href")).toString();
            if (pictureNames.contains(href) || FindEntry(written, href) == nullptr) continue;
            QString base = Plain.match(frameName).hasMatch() ? frameName : QFileInfo(href).fileName();
            QString name = QStringLiteral("Pictures/") + base;
            for (int n = 2; used.contains(name); ++n) name = QStringLiteral("Pictures/%1_%2").arg(n).arg(base);
            used.insert(name);
            pictureNames.insert(href, name);
        }
    }
    return pictureNames;
}

// The writer's content.xml as the report's: the package's version, the
// template's body and page styles, no fonts of the writer's own, and the
// pictures under their package names.
QByteArray ReportContent(const QByteArray& content, const ReportTemplate& reportTemplate, const QString& version,
                         const QHash<QString, QString>& pictureNames) {
    const QString firstStyle = FirstParagraphStyle(content);
    return RewriteXml(content, [&](QStringView element, QXmlStreamAttributes& attributes) {
        if (element == u"office:document-content") {
            SetAttribute(attributes, QStringLiteral("office:version"), version);
        } else if (element == u"style:style" && attributes.value(QStringLiteral("style:family")) == u"paragraph") {
            // Paragraphs take the template's body style; the first one starts
            // the template's page style (page size, margins, header, footer).
            if (reportTemplate.HasStandardStyle)
                SetAttribute(attributes, QStringLiteral("style:parent-style-name"), QStringLiteral("Standard"));
            if (!reportTemplate.MasterPageName.isEmpty() &&
                attributes.value(QStringLiteral("style:name")) == firstStyle)
                SetAttribute(attributes, QStringLiteral("style:master-page-name"), reportTemplate.MasterPageName);
        } else if (element == u"style:text-properties") {
            // The writer names a font on every run; the template's body font is meant.
            RemoveAttribute(attributes, u"fo:font-family");
        } else if (element == u"draw:image") {
            const QString href = attributes.value(QStringLiteral("xlink:href")).toString();
            if (pictureNames.contains(href))
                SetAttribute(attributes, QStringLiteral("xlink:href"), pictureNames.value(href));
            SetAttribute(attributes, QStringLiteral("xlink:type"), QStringLiteral("simple"));
            SetAttribute(attributes, QStringLiteral("xlink:show"), QStringLiteral("embed"));
            SetAttribute(attributes, QStringLiteral("xlink:actuate"), QStringLiteral("onLoad"));
        }
    });
}

}  // namespace

QByteArray MergeReportPackage(const QByteArray& odf, const ReportTemplate& reportTemplate) {
    const auto written = ReadZip(odf);
    const ZipEntry* content = written ? FindEntry(*written, QStringLiteral("content.xml")) : nullptr;
    if (content == nullptr) throw HalvetraError("Cannot write the report: the document writer gave no content");

    const QString version = PackageVersion(reportTemplate);
    const QHash<QString, QString> pictureNames = NamePictures(content->Data, *written, reportTemplate);
    const QByteArray contentXml = ReportContent(content->Data, reportTemplate, version, pictureNames);

    std::vector<ZipEntry> package;
    package.push_back({QStringLiteral("mimetype"), TextMimeType.toLatin1(), true});
    package.push_back({QStringLiteral("content.xml"), contentXml, false});
    package.push_back({QStringLiteral("styles.xml"), reportTemplate.StylesXml, false});
    for (const ZipEntry& entry : *written)
        if (pictureNames.contains(entry.Name)) package.push_back({pictureNames.value(entry.Name), entry.Data, false});
    for (const ZipEntry& file : reportTemplate.StyleFiles) package.push_back({file.Name, file.Data, false});
    package.push_back({QStringLiteral("META-INF/manifest.xml"), Manifest(package, version), false});
    return WriteZip(package);
}

}  // namespace halvetra
