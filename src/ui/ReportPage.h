#pragma once
// The Report page: what the report document holds (measured data, process
// model, controller), its template, and "Make report", which exports the
// charts as pictures, writes the document from the texts the pages show and
// opens it.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "ui/PageContext.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace halvetra {

struct AppState;
class ControllerPage;
class DataPage;
class ModelPage;
class OpcPage;
class TForm_Histogram;
class TForm_Obdelava_Large;
struct MeasuredData;
struct PictureTitles;

// Where a report takes its texts and pictures from: the pages as they show
// them, the two chart windows of the Data page, the main window's caption.
struct ReportSources {
    DataPage* Data = nullptr;
    ModelPage* Model = nullptr;
    ControllerPage* Controller = nullptr;
    OpcPage* Opc = nullptr;
    TForm_Histogram* Histogram = nullptr;
    TForm_Obdelava_Large* Enlarged = nullptr;
    QString WindowCaption;
};

// What one report holds and where it goes.
struct ReportRequest {
    bool Data = true;                 // "Measured data"
    bool Model = true;                // "Process model"
    bool Controller = true;           // "Controller"
    QString Template;                 // the template's file name
    QString FileName;                 // the document, .odt (or .pdf); the pictures lie in its folder
    QStringList RunEvents;            // the experiment's events, listed in the report (see ReportInputs)
    QString Plant;                    // the server's URL when connected; empty: not known
    const AppState* State = nullptr;  // the data and tuning for the summary block; none: no block
};

// Writes the report document from the texts the pages show and the pictures
// in the document's folder. The document is saved and closed; showing it to
// the user is left to the interactive command.
void WriteReportDocument(const ReportSources& sources, const ReportRequest& request);

// The value axes' titles of the pictures: the OPC table's descriptions of
// MV1, U1, Y1 and Y2.
void DescribeSignals(PictureTitles& titles, const OpcPage& opc);

// The four signal pictures and the four histograms over the Data page's
// window (its sliders ScrollBar3 and ScrollBar4), written into `folder`.
QStringList ExportDataPictures(const ReportSources& sources, const MeasuredData& data, const PictureTitles& titles,
                               const QString& folder);

class ReportPage : public QWidget {
    Q_OBJECT
public:
    ReportPage(PageContext context, QWidget* parent = nullptr);

    // Set by the main window once the pages and windows exist.
    void attachSources(const ReportSources& sources) { sources_ = sources; }
    const ReportSources& Sources() const { return sources_; }

    QCheckBox* CheckBox1;                 // "Measured data"
    QCheckBox* CheckBox2;                 // "Process model"
    QCheckBox* CheckBox3;                 // "Controller"
    QLabel* Label63;                      // the template's file name
    QPushButton* Button_IzberiPredlogo;   // "Select dot file"
    QPushButton* Button_Naredi_porocilo;  // "Make report"

    // Opens a written document for the user; by default with the desktop's
    // application for its type. Tests replace it.
    std::function<void(const QString& fileName)> OpenDocument;

public slots:
    void Button_IzberiPredlogoClick();   // "Select dot file"
    void Button_Naredi_porociloClick();  // "Make report"

private:
    void selectTemplate();
    void makeReport();

    PageContext ctx_;
    ReportSources sources_;
};

}  // namespace halvetra
