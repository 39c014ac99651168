// The Report page: its controls, "Select dot file", and "Make report" with the
// pictures it draws for the document and removes again, the document itself
// (OpenDocument text or PDF) and the hand-over to the desktop; and the picture
// export that the automatic processing shares.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>
#include <cstdlib>

#include "FakeDialogs.h"
#include "FakePlantAccess.h"
#include "StepRecord.h"
#include "app/TForm1.h"
#include "experiment/Clock.h"
#include "report/TPorocilo.h"
#include "report/ZipPackage.h"
#include "ui/Chart.h"
#include "ui/ChartExport.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"
#include "ui/ReportPage.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"

using namespace halvetra;

namespace {

struct Fixture {
    Fixture() {
        form.attachChartWindows(&histogram, &enlarged);
        page.OpenDocument = [this](const QString& fileName) { opened << fileName; };
    }

    FakeDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 5, 4), QTime(9, 30, 0))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    TForm_Histogram histogram;
    TForm_Obdelava_Large enlarged;
    ReportPage& page = *form.ReportPage_;
    QTemporaryDir dir;
    QStringList opened;

    QString path(const QString& name) const { return dir.filePath(name); }

    // A recorded step response on the Data page, its models and controllers
    // worked out as the user would.
    void recordAndTune() {
        test::FillStepRecord(form.State.Data);
        form.DataPage_->LoadRecordedData("0", "100", "0", "1");
        form.DataPage_->SetWindowStart(50);
        form.DataPage_->Button_IzracunClick();
        form.ModelPage_->Button_PIDClick();
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.messages.join('\n')));
    }

    QStringList picturesLeft() const { return QDir(dir.path()).entryList({"grafik*"}, QDir::Files); }
};

std::vector<ZipEntry> packageOf(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ReadZip(file.readAll()).value_or(std::vector<ZipEntry>{});
}

int pictureCount(const std::vector<ZipEntry>& package) {
    int count = 0;
    for (const ZipEntry& entry : package)
        if (entry.Name.startsWith("Pictures/") && entry.Data.startsWith("\x89PNG")) ++count;
    return count;
}

QString contentText(const std::vector<ZipEntry>& package) {
    const ZipEntry* content = FindEntry(package, "content.xml");
    return content ? QString::fromUtf8(content->Data) : QString();
}

// A colour near the top-left or bottom-left corner of the chart as drawn now.
QColor cornerColor(Chart& chart, bool bottom) {
    const QImage image = chart.toPixmap(0, 0, 1.0).toImage();
    return image.pixelColor(1, bottom ? image.height() - 2 : 1);
}

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
           std::abs(a.blue() - b.blue()) <= 8;
}

// The chart shows its own gradient from `start` (top) to `end` (bottom).
bool showsGradient(Chart& chart, unsigned start, unsigned end) {
    return near(cornerColor(chart, false), ColorFromBgr(start)) && near(cornerColor(chart, true), ColorFromBgr(end));
}

bool showsPlainWhite(Chart& chart) {
    return cornerColor(chart, false) == QColor(Qt::white) && cornerColor(chart, true) == QColor(Qt::white) &&
           chart.axisRect()->backgroundBrush().color() == QColor(Qt::white);
}

}  // namespace

class ReportPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void controlsStartWithEverySectionAndTheShippedTemplate() {
        Fixture f;
        const std::pair<QCheckBox*, const char*> boxes[] = {
            {f.page.CheckBox1, "Measured data"}, {f.page.CheckBox2, "Process model"}, {f.page.CheckBox3, "Controller"}};
        for (const auto& [box, text] : boxes) {
            QCOMPARE(box->text(), QString(text));
            QVERIFY(box->isChecked());
        }
        QCOMPARE(f.page.CheckBox1->objectName(), QString("CheckBox1"));
        QCOMPARE(f.page.Label63->objectName(), QString("Label63"));
        QCOMPARE(f.page.Label63->text(), QString("normal.dot"));
        QCOMPARE(f.page.Button_IzberiPredlogo->text(), QString("Select dot file"));
        QCOMPARE(f.page.Button_Naredi_porocilo->text(), QString("Make report"));
        QCOMPARE(f.page.Button_Naredi_porocilo->objectName(), QString("Button_Naredi_porocilo"));
    }

    void selectDotFileShowsTheChosenTemplate() {
        Fixture f;
        f.page.Button_IzberiPredlogo->click();  // cancelled
        QCOMPARE(f.page.Label63->text(), QString("normal.dot"));
        QCOMPARE(f.dialogs.shown.back().name, QString("OpenDialog2"));

        f.dialogs.answer(f.path("plant.ott"));
        f.page.Button_IzberiPredlogo->click();
        QCOMPARE(f.page.Label63->text(), QDir::toNativeSeparators(f.path("plant.ott")));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void cancelledMakeReportDrawsAndWritesNothing() {
        Fixture f;
        f.recordAndTune();
        f.page.Button_Naredi_porocilo->click();
        QCOMPARE(f.dialogs.shown.back().name, QString("SaveDialog_Porocilo"));
        QVERIFY(QDir(f.dir.path()).isEmpty());
        QVERIFY(f.opened.isEmpty());
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.enlarged.Chart1->title(), QString("Signal time response"));
        QCOMPARE(f.histogram.Chart1->title(), QString("Histogram"));
    }

    void makeReportWritesTheDocumentOpensItAndRemovesThePictures() {
        Fixture f;
        f.recordAndTune();
        f.form.OpcPage_->SetItemId(SignalRole::Y2, "ns=1;s=Loop1.Level");
        f.form.OpcPage_->SetDescription(SignalRole::Y2, "Tank level");
        f.form.ControllerPage_->ScrollBar_Robust->setValue(14);  // the scaled values are left from earlier gains
        QFile other(f.path("notes.txt"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();

        f.dialogs.answer(f.path("tuning"));  // no extension: the document's is added
        f.page.Button_Naredi_porocilo->click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));

        const FakeDialogs::Shown& shown = f.dialogs.shown.back();
        QCOMPARE(shown.name, QString("SaveDialog_Porocilo"));
        QCOMPARE(shown.defaultExt, QString("odt"));
        QVERIFY(shown.filter.contains("*.odt") && shown.filter.contains("*.pdf"));

        const QString document = QDir::toNativeSeparators(f.path("tuning.odt"));
        QCOMPARE(f.opened, QStringList{document});
        QVERIFY(f.picturesLeft().isEmpty());
        QVERIFY(QFile::exists(f.path("notes.txt")));  // only the pictures are removed

        // Every picture went into the document, with the texts the pages show.
        const std::vector<ZipEntry> package = packageOf(document);
        QCOMPARE(pictureCount(package), 10);
        const QString content = contentText(package);
        const QStringList pageTexts = {f.form.ModelPage_->Edit_Gain->text(),
                                       f.form.ModelPage_->Label_RefinedDelay->text(),
                                       f.form.ControllerPage_->Label_PID_Kp->text(),
                                       f.form.ControllerPage_->ScaledValuesNote(),
                                       f.form.DataPage_->Label_STDY1->text(),
                                       "ns=1;s=Loop1.Level",
                                       "Tank level",
                                       QString(MainWindowCaption).trimmed()};
        for (const QString& shownText : pageTexts) {
            QVERIFY(!shownText.isEmpty());
            QVERIFY2(content.contains(shownText), qPrintable(shownText));
        }

        // The windows keep the last picture drawn, on their own backgrounds again.
        QCOMPARE(f.enlarged.Chart1->title(), QString("Process output (outer loop)"));
        QCOMPARE(f.histogram.Chart1->title(), QString("Histogram of outer process output"));
        QVERIFY(showsGradient(*f.enlarged.Chart1, EnlargedGradientStart, EnlargedGradientEnd));
        QVERIFY(showsGradient(*f.histogram.Chart1, HistogramGradientStart, HistogramGradientEnd));
        QVERIFY(showsPlainWhite(*f.form.ModelPage_->Chart_Model));
        QVERIFY(showsPlainWhite(*f.form.ControllerPage_->Chart1));
    }

    void sectionsFollowTheCheckBoxes() {
        Fixture f;
        f.recordAndTune();
        f.page.CheckBox2->setChecked(false);
        f.page.CheckBox3->setChecked(false);
        f.dialogs.answer(f.path("data.odt"));
        f.page.Button_Naredi_porocilo->click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(pictureCount(packageOf(f.path("data.odt"))), 8);
        QVERIFY(f.picturesLeft().isEmpty());
    }

    void aPdfNameGivesAPdf() {
        Fixture f;
        f.recordAndTune();
        f.dialogs.answer(f.path("tuning.pdf"));
        f.page.Button_Naredi_porocilo->click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QFile pdf(f.path("tuning.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        QVERIFY(f.picturesLeft().isEmpty());
    }

    void aFailedReportIsShownAndLeavesNoPictures() {
        Fixture f;
        f.recordAndTune();
        f.page.Label63->setText(f.path("missing.ott"));
        f.dialogs.answer(f.path("tuning.odt"));
        f.page.Button_Naredi_porocilo->click();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(!QFile::exists(f.path("tuning.odt")));
        QVERIFY(f.picturesLeft().isEmpty());
        QVERIFY(f.opened.isEmpty());
        // The windows are back on their own backgrounds.
        QVERIFY(showsGradient(*f.enlarged.Chart1, EnlargedGradientStart, EnlargedGradientEnd));
        QVERIFY(showsGradient(*f.histogram.Chart1, HistogramGradientStart, HistogramGradientEnd));
    }

    // A figure typed as the word for a value that is not finite is not
    // printed: the report ends with the error text before anything is
    // written. The words are refused only in the sections that print them.
    void aFigureThatNamesAnInfinityStopsTheReport_data() {
        QTest::addColumn<QString>("gain");
        QTest::addColumn<QString>("scaledKi");
        QTest::addColumn<bool>("modelSection");
        QTest::addColumn<QString>("message");
        QTest::newRow("gain INF") << "INF"
                                  << "" << true << "Floating point overflow";
        QTest::newRow("gain -inf") << "-inf"
                                   << "" << true << "Floating point overflow";
        QTest::newRow("scaled Ki nan") << ""
                                       << "nan" << true << "Invalid floating point operation";
        QTest::newRow("gain INF, model section left out") << "INF"
                                                          << "" << false << "";
    }
    void aFigureThatNamesAnInfinityStopsTheReport() {
        QFETCH(QString, gain);
        QFETCH(QString, scaledKi);
        QFETCH(bool, modelSection);
        QFETCH(QString, message);
        Fixture f;
        f.recordAndTune();
        if (!gain.isEmpty()) f.form.ModelPage_->Edit_Gain->setText(gain);
        if (!scaledKi.isEmpty()) f.form.ControllerPage_->Edit_Reg_Ki->setText(scaledKi);
        f.page.CheckBox2->setChecked(modelSection);
        f.dialogs.answer(f.path("tuning.odt"));
        f.page.Button_Naredi_porocilo->click();
        QCOMPARE(f.dialogs.messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(QFile::exists(f.path("tuning.odt")), message.isEmpty());
        QVERIFY(f.picturesLeft().isEmpty());
        QCOMPARE(f.opened.isEmpty(), !message.isEmpty());
    }

    // A record whose spread overflows: the statistics print as their error
    // text, the way the Data page shows them, and nothing prints as an
    // infinity or NaN.
    void extremeDataPrintsTheDefinedTexts() {
        Fixture f;
        f.recordAndTune();
        MeasuredData& data = f.form.State.Data;
        for (int c = 1; c <= 6; ++c)
            for (int i = 0; i < data.SampleCount; ++i)
                data.Column(c)[static_cast<std::size_t>(i)] = (i / 20) % 2 == 0 ? 1e308 : -1e308;
        f.form.DataPage_->LoadRecordedData("0", "100", "0", "1");
        QCOMPARE(f.form.DataPage_->Label_STDY1->text(), QString("Invalid floating point operation"));
        f.dialogs.answer(f.path("extreme.odt"));
        f.page.Button_Naredi_porocilo->click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        const QString content = contentText(packageOf(f.path("extreme.odt")));
        QVERIFY(content.contains("Invalid floating point operation"));
        QVERIFY(!content.contains(QRegularExpression("\\b(INF|NAN)\\b", QRegularExpression::CaseInsensitiveOption)));
        QVERIFY(f.picturesLeft().isEmpty());
    }

    void anUnwritableFolderFailsAtTheFirstPicture() {
        Fixture f;
        f.recordAndTune();
        f.dialogs.answer(f.path("no such folder/tuning.odt"));
        f.page.Button_Naredi_porocilo->click();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY2(f.dialogs.messages[0].startsWith("Cannot create file"), qPrintable(f.dialogs.messages[0]));
        QVERIFY(f.dialogs.messages[0].contains("grafik0.png"));
        QVERIFY(f.opened.isEmpty());
        QVERIFY(showsGradient(*f.enlarged.Chart1, EnlargedGradientStart, EnlargedGradientEnd));
    }

    // --- The picture export ---

    void theTenPicturesAreTheOnesTheDocumentReads() {
        QStringList expected;
        for (const char* name : TPorocilo::PictureFiles) expected << name;
        QStringList names = ReportPictureNames();
        QCOMPARE(names.size(), 10);
        names.sort();
        expected.sort();
        QCOMPARE(names, expected);
    }

    void dataPicturesAreTheWholeChartsAtTwiceTheirSize() {
        Fixture f;
        f.recordAndTune();
        const QStringList written =
            ExportDataPictures(f.page.Sources(), f.form.State.Data, AutomaticPictureTitles(), f.dir.path());
        QStringList expected;
        for (const char* name : SignalPictureNames) expected << QDir::toNativeSeparators(f.path(name));
        for (const char* name : HistogramPictureNames) expected << QDir::toNativeSeparators(f.path(name));
        QCOMPARE(written, expected);

        const QSize enlargedSize = f.enlarged.Chart1->size() * 2;
        const QSize histogramSize = f.histogram.Chart1->size() * 2;
        QVERIFY(enlargedSize.width() >= 2 * 500);  // laid out at the window's size, not at its minimum
        for (const char* name : SignalPictureNames) QCOMPARE(QImage(f.path(name)).size(), enlargedSize);
        for (const char* name : HistogramPictureNames) QCOMPARE(QImage(f.path(name)).size(), histogramSize);
        // The charts were drawn on white: a corner of each picture is white.
        QCOMPARE(QImage(f.path("grafik0.png")).pixelColor(1, 1), QColor(Qt::white));
        QCOMPARE(QImage(f.path("grafik_HMV.png")).pixelColor(1, 1), QColor(Qt::white));
        QCOMPARE(f.enlarged.Chart1->title(), QString("Meritev 2"));
        QCOMPARE(f.histogram.Chart1->title(), QString("Histogram meritve 2"));

        DeleteReportPictures(f.dir.path());
        DeleteReportPictures(f.dir.path());  // nothing left to delete is fine
        QVERIFY(f.picturesLeft().isEmpty());
    }

    void pageChartsShowTheirGradientOnlyInThePicture() {
        Fixture f;
        f.recordAndTune();
        Chart& chart = *f.form.ModelPage_->Chart_Model;
        const QString written = ExportPageChartPicture(chart, f.dir.path(), ModelPictureName);
        QCOMPARE(written, QDir::toNativeSeparators(f.path("grafik3.png")));
        const QImage picture(written);
        QCOMPARE(picture.size(), chart.size() * 2);
        QVERIFY(near(picture.pixelColor(1, 1), ColorFromBgr(EnlargedGradientStart)));
        QVERIFY(near(picture.pixelColor(1, picture.height() - 2), ColorFromBgr(EnlargedGradientEnd)));
        QVERIFY(showsPlainWhite(chart));
    }
};

QTEST_MAIN(ReportPageTest)
#include "tst_ReportPage.moc"
