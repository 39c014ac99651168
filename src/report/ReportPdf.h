#pragma once
// The report as a PDF: the document laid out on the template's page, with the
// template's header and footer lines on every page.
#include <QString>

class QIODevice;
class QTextDocument;

namespace halvetra {

class ReportTemplate;

// Lays the document out on the template's pages and writes the PDF to out.
// The document's lengths are pixels of the screen resolution.
void WriteReportPdf(QTextDocument& document, const ReportTemplate& reportTemplate, const QString& title,
                    QIODevice& out);

}  // namespace halvetra
