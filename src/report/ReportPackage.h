#pragma once
// The OpenDocument package of the report: the text writer's content merged
// with the template's styles, so that its page layout, header and footer
// carry into the report.
#include <QByteArray>

namespace halvetra {

class ReportTemplate;

// odf: the package QTextDocumentWriter wrote (format "odf"). Returns the
// finished .odt: "mimetype" stored first, content.xml, the template's
// styles.xml and the files it refers to, the pictures, a manifest of them all.
// Throws HalvetraError when odf is not a package of content.
QByteArray MergeReportPackage(const QByteArray& odf, const ReportTemplate& reportTemplate);

}  // namespace halvetra
