// "Load from file" and "Save to file" of the Data page, driven through
// scripted dialogs: what each sets on the page and in the measured data.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include "FakeDialogs.h"
#include "FakePlantAccess.h"
#include "app/TForm1.h"
#include "experiment/Clock.h"
#include "ui/Chart.h"
#include "ui/DataPage.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"
#include "ui/UnreadableField.h"

using namespace halvetra;

namespace {

// An .hvd file of n samples: MV = i, U = 2i, Y = 3i, Y2 = 4i (each pair twice).
QString writeHvd(const QString& path, int n, const QString& samplingTime, int start, int end,
                 const QStringList& settings = {"0", "100", "0", "1"}) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    QTextStream out(&file);
    out << "HALVETRA Mesurements\r\nV1.0\r\n1.2.2026\r\n10:00:00\r\n"
        << samplingTime << "\r\n"
        << n << "\r\n"
        << start << "\r\n"
        << end << "\r\n";
    for (const QString& s : settings) out << s << "\r\n";
    for (const char* d : {"MV a", "MV b", "U a", "U b", "Y", "Y2"}) out << d << "\r\n";
    for (int i = 1; i <= n; ++i)
        out << (i - 1) << '\t' << i << '\t' << i << '\t' << 2 * i << '\t' << 2 * i << '\t' << 3 * i << '\t' << 4 * i
            << "\r\n";
    return path;
}

QString writeText(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(content);
    return path;
}

struct Fixture {
    Fixture() { page.attachWindows(&histogram, &enlarged); }
    FakeDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 5, 4), QTime(13, 14, 15))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    DataPage& page = *form.DataPage_;
    TForm_Histogram histogram;
    TForm_Obdelava_Large enlarged;
};

int pointCount(const QCPGraph* series) { return series->data()->size(); }

}  // namespace

class DataPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void loadsAnHvdFileIntoEveryControl() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 500, "0.5", 20, 480, {"2.5", "90", "10", "30"}));
        f.page.Button3Click();

        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.shown.at(0).name, QString("OpenDialog1"));
        QCOMPARE(f.dialogs.shown.at(0).filter,
                 QString("Measured Data (*.hvd)|*.hvd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*"));
        QCOMPARE(f.dialogs.shown.at(0).filterIndex, 1);
        QCOMPARE(f.dialogs.shown.at(0).defaultExt, QString("hvd"));

        QCOMPARE(f.page.Label_Ts->text(), QString("0.5"));
        QCOMPARE(f.page.Label_Ns->text(), QString("500"));
        QCOMPARE(f.page.Label_Datum->text(), QString("1.2.2026"));
        QCOMPARE(f.page.Label_Ura->text(), QString("10:00:00"));
        QCOMPARE(f.page.Label_Ime->text(), dir.filePath("run.hvd"));
        QCOMPARE(f.page.Edit8->text(), QString("2.5"));
        QCOMPARE(f.page.Edit_Actuator_Maximum->text(), QString("90"));
        QCOMPARE(f.page.Edit_Actuator_Minimum->text(), QString("10"));
        QCOMPARE(f.page.Edit_Actuator_Velocity->text(), QString("30"));

        QCOMPARE(f.form.State.Data.MinWindowSpan, 10);
        QCOMPARE(f.page.ScrollBar3->minimum(), 1);
        QCOMPARE(f.page.ScrollBar3->maximum(), 490);
        QCOMPARE(f.page.ScrollBar3->value(), 20);
        QCOMPARE(f.page.ScrollBar4->minimum(), 10);
        QCOMPARE(f.page.ScrollBar4->maximum(), 500);
        QCOMPARE(f.page.ScrollBar4->value(), 480);

        const QScrollBar* selectors[] = {f.page.ScrollBar_MV, f.page.ScrollBar1, f.page.ScrollBar2, f.page.ScrollBar5};
        const int positions[] = {1, 3, 5, 6};
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(selectors[k]->minimum(), 1);
            QCOMPARE(selectors[k]->maximum(), 6);
            QCOMPARE(selectors[k]->value(), positions[k]);
        }
        QCOMPARE(f.page.Edit_Stolpec_U->text(), QString("3"));
        QCOMPARE(f.page.Edit_Stolpec_Y1->text(), QString("6"));
        QCOMPARE(f.page.Label_MVDescription->text(), QString("MV a"));
        QCOMPARE(f.page.Label22->text(), QString("U a"));
        QCOMPARE(f.page.Label20->text(), QString("Y"));
        QCOMPARE(f.page.Label68->text(), QString("Y2"));
        QCOMPARE(f.form.State.Data.Column(6)[499], 2000.0);
    }

    void aShortRecordLetsTheWindowSpanShrink() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("short.hvd"), 10, "1", 1, 10));
        f.page.Button3Click();
        QCOMPARE(f.form.State.Data.MinWindowSpan, 9);
        QCOMPARE(f.page.ScrollBar3->minimum(), 1);
        QCOMPARE(f.page.ScrollBar3->maximum(), 1);
        QCOMPARE(f.page.ScrollBar4->minimum(), 9);
        QCOMPARE(f.page.ScrollBar4->maximum(), 10);
        QCOMPARE(f.page.ScrollBar4->value(), 10);
    }

    void aDelimitedFileWithFewColumnsHidesTheOuterOutput() {
        QTemporaryDir dir;
        Fixture f;
        f.page.Label68->setText("old");
        f.dialogs.answer(writeText(dir.filePath("log.txt"),
                                   "3.3.2026;x;\r\n\r\nA;B;C;D;\r\n\r\n\r\n"
                                   "08:00:00;1;2;3;4;\r\n08:00:02;1;2;3;4;\r\n08:00:04;1;2;3;4;\r\nend\r\n"));
        f.page.Button3Click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(f.form.State.Data.ColumnCount, 4);
        QCOMPARE(f.page.Label_Ts->text(), QString("2"));
        QCOMPARE(f.page.ScrollBar_MV->value(), 1);
        QCOMPARE(f.page.ScrollBar1->value(), 3);
        QCOMPARE(f.page.ScrollBar2->value(), 4);
        QCOMPARE(f.page.ScrollBar5->value(), 4);
        QCOMPARE(f.page.Label20->text(), QString(""));  // column 5 does not exist: no description
        QCOMPARE(f.page.Label68->text(), QString(""));
        QVERIFY(f.page.Chart2->isHidden());
        QCOMPARE(f.page.Edit_Actuator_Velocity->text(), QString("100"));
        QCOMPARE(f.page.Label_Datum->text(), QString("3.3.2026"));
        QCOMPARE(f.page.Label_Ura->text(), QString("08:00:00"));
    }

    void aFailedLoadChangesNothing() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("good.hvd"), 50, "1", 1, 50));
        f.page.Button3Click();
        const double before = f.form.State.Data.Column(5)[10];

        f.dialogs.answer(dir.filePath("missing.hvd"));
        f.page.Button3Click();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages[0].startsWith("Cannot open file"));

        // Header promises more rows than the file has.
        QString truncated = writeHvd(dir.filePath("cut.hvd"), 50, "1", 1, 50);
        QFile cut(truncated);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        cut.resize(cut.size() - 200);
        cut.close();
        f.dialogs.answer(truncated);
        f.page.Button3Click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        QVERIFY2(f.dialogs.messages[1].startsWith("List index out of bounds"), qPrintable(f.dialogs.messages[1]));

        QCOMPARE(f.page.Label_Ime->text(), dir.filePath("good.hvd"));
        QCOMPARE(f.form.State.Data.SampleCount, 50);
        QCOMPARE(f.form.State.Data.Column(5)[10], before);

        // Cancelling the dialog does nothing at all.
        f.page.Button3Click();
        QCOMPARE(f.dialogs.messages.size(), 2);
    }

    void unreadableFieldsAreCountedInTheStatusLine() {
        QTemporaryDir dir;
        Fixture f;
        const QString path = writeHvd(dir.filePath("bad.hvd"), 5, "1", 1, 5);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray content = file.readAll();
        file.close();
        content.replace("\t9\t12\r\n", "\tx9\t12\r\n");  // sample 3, column 5
        writeText(path, content);
        f.dialogs.answer(path);
        f.page.Button3Click();
        QVERIFY(f.form.StatusBar1->currentMessage().contains("1 data field of"));
        QCOMPARE(f.form.State.Data.Column(5)[2], 0.0);

        f.dialogs.answer(writeHvd(dir.filePath("good.hvd"), 5, "1", 1, 5));
        f.page.Button3Click();
        QCOMPARE(f.form.StatusBar1->currentMessage(), QString());
    }

    void savedDataLoadsBackToTheSamePage() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("in.hvd"), 120, "0.25", 5, 100, {"1.5", "80", "20", "12"}));
        f.page.Button3Click();
        f.page.ScrollBar2->setValue(6);  // Y taken from column 6

        f.dialogs.answer(dir.filePath("out"));  // the default extension is added
        f.page.Button4Click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(f.dialogs.shown.back().name, QString("SaveDialog2"));
        QVERIFY(QFile::exists(dir.filePath("out.hvd")));

        Fixture g;
        g.dialogs.answer(dir.filePath("out.hvd"));
        g.page.Button3Click();
        QCOMPARE(g.page.Label_Datum->text(), QLocale::c().toString(QDate(2026, 5, 4), QLocale::ShortFormat));
        QCOMPARE(g.page.Label_Ura->text(), QString("13:14:15"));
        QCOMPARE(g.page.Label_Ts->text(), QString("0.25"));
        QCOMPARE(g.page.ScrollBar3->value(), 5);
        QCOMPARE(g.page.ScrollBar4->value(), 100);
        QCOMPARE(g.page.Edit8->text(), QString("1.5"));
        QCOMPARE(g.page.Edit_Actuator_Velocity->text(), QString("12"));
        QCOMPARE(g.page.Label20->text(), QString("Y2"));  // column 5 holds what column 6 held
        for (int i = 0; i < 120; ++i) {
            QCOMPARE(g.form.State.Data.Column(1)[i], double(i + 1));
            QCOMPARE(g.form.State.Data.Column(3)[i], double(2 * (i + 1)));
            QCOMPARE(g.form.State.Data.Column(5)[i], double(4 * (i + 1)));
            QCOMPARE(g.form.State.Data.SampleTimes[i], f.form.State.Data.SampleTimes[i]);
        }
    }

    void aBadEditBoxStopsTheSaveBeforeWriting() {
        QTemporaryDir dir;
        Fixture f;
        f.page.Edit_Actuator_Minimum->setText("1,5");
        f.dialogs.answer(dir.filePath("never.hvd"));
        f.page.Button4Click();
        QCOMPARE(f.dialogs.messages, QStringList({"'1,5' is not a valid floating point value"}));
        QVERIFY(!QFile::exists(dir.filePath("never.hvd")));
    }

    void theHeaderFollowsTheLocaleSeparator() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("de.hvd"), 20, "0,2", 1, 20, {"0,5", "100", "0", "1"}));
        f.page.Button3Click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QCOMPARE(f.form.State.Data.SamplingTime, 0.2);
        QCOMPARE(f.page.Label_Ts->text(), QString("0,2"));

        // The same file on a machine with a point is refused at the header.
        QLocale::setDefault(QLocale::c());
        Fixture g;
        g.dialogs.answer(dir.filePath("de.hvd"));
        g.page.Button3Click();
        QCOMPARE(g.dialogs.messages, QStringList({"'0,2' is not a valid floating point value"}));
    }
};

class DataPageDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void aLoadConditionsAndDrawsTheWindow() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 500, "1", 101, 200));
        f.page.Button3Click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        // Conditioned with Tf = 0: one sample late. Y (column 5) holds 3i.
        QCOMPARE(f.form.State.Data.ConditionedY[0], 3.0);
        QCOMPARE(f.form.State.Data.ConditionedY[150], 450.0);
        for (const QCPGraph* series : {f.page.LineSeries6, f.page.Series1, f.page.Series2, f.page.LineSeries5})
            QCOMPARE(pointCount(series), 100);
        QCOMPARE(f.page.Series2->data()->at(0)->key, 100.0);  // SampleTimes of sample 101
        // Y over samples 101 .. 200 is 3 * (100 .. 199).
        QCOMPARE(f.page.Label_MaksY1->text(), QString("597"));
        QCOMPARE(f.page.Label_MinY1->text(), QString("300"));
        QCOMPARE(f.page.Label_STDY1->text(), QString("87.034476"));
        QCOMPARE(f.page.Chart_Y->yAxis->range().lower, 300.0 - 29.7);
        QCOMPARE(f.page.Chart_Y->yAxis->range().upper, 597.0 + 29.7);
        QCOMPARE(f.page.LineSeries6->lineStyle(), QCPGraph::lsStepLeft);
        QCOMPARE(f.page.Series2->lineStyle(), QCPGraph::lsLine);
        QVERIFY(!f.page.Chart2->isHidden());
    }

    void theSlidersLimitEachOtherAndRedraw() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 500, "1", 1, 500));
        f.page.Button3Click();
        f.page.ScrollBar3->setValue(200);
        QCOMPARE(f.page.ScrollBar4->minimum(), 210);
        QCOMPARE(f.page.ScrollBar4->maximum(), 500);
        QCOMPARE(pointCount(f.page.Series2), 301);
        f.page.ScrollBar4->setValue(250);
        QCOMPARE(f.page.ScrollBar3->minimum(), 1);
        QCOMPARE(f.page.ScrollBar3->maximum(), 240);
        QCOMPARE(pointCount(f.page.Series1), 51);
        QCOMPARE(f.page.Label_MaksMV1->text(), QString("249"));  // MV = i, one sample late
        // The boxes beside the sliders follow them, and a typed sample number moves its slider.
        QCOMPARE(f.page.SpinEdit_WindowEnd->value(), 250);
        QCOMPARE(f.page.SpinEdit_WindowStart->maximum(), 240);
        QCOMPARE(f.page.Label_WindowStartTime->text(), QString("199 s"));
        f.page.SpinEdit_WindowStart->setValue(230);
        QCOMPARE(f.page.ScrollBar3->value(), 230);
        QCOMPARE(f.page.ScrollBar4->minimum(), 240);
        QCOMPARE(f.page.Label_WindowStartTime->text(), QString("229 s"));
        QCOMPARE(pointCount(f.page.Series1), 21);
    }

    void aShortRecordLetsTheEndsMeetWithZeroFigures() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("eight.hvd"), 8, "1", 1, 8));
        f.page.Button3Click();
        f.page.ScrollBar3Change();  // the start slider's rule: its maximum is the end
        f.page.ScrollBar3->setValue(8);
        QCOMPARE(f.page.ScrollBar3->value(), 8);
        QCOMPARE(f.page.ScrollBar4->value(), 8);
        QCOMPARE(f.page.Label_MaksU1->text(), QString("0"));
        QCOMPARE(f.page.Label_MinU1->text(), QString("0"));
        QCOMPARE(f.page.Label_STDU1->text(), QString("0"));
        QCOMPARE(f.page.Chart_U->yAxis->range().lower, -0.1);
        QCOMPARE(f.page.Chart_U->yAxis->range().upper, 0.1);
    }

    void aColumnSelectorReconditionsOnlyItsSignal() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 100, "1", 1, 100));
        f.page.Button3Click();
        const MeasuredData before = f.form.State.Data;
        f.page.Edit8->setText("5");  // takes effect only for what is reconditioned
        f.page.Edit_Actuator_Maximum->setText("10");
        f.page.ScrollBar2->setValue(2);  // Y from column 2 (MV), filtered
        const MeasuredData& after = f.form.State.Data;
        QCOMPARE(after.ConditionedMV, before.ConditionedMV);
        QCOMPARE(after.ConditionedU, before.ConditionedU);
        QCOMPARE(after.ConditionedY2, before.ConditionedY2);
        QVERIFY(after.ConditionedY != before.ConditionedY);
        QCOMPARE(f.page.Edit_Stolpec_Y->text(), QString("2"));
        QCOMPARE(f.page.Label20->text(), QString("MV b"));

        // "Use filter and constraints" now takes every box: U is clamped at 10.
        f.page.Button2Click();
        QCOMPARE(f.page.Label_MaksU1->text(), QString("10"));
    }

    void aBadBoxStopsTheCommandBeforeAnySignalChanges() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 100, "1", 1, 100));
        f.page.Button3Click();
        const MeasuredData before = f.form.State.Data;
        f.page.Edit_Actuator_Velocity->setText("fast");
        f.page.ScrollBar1->setValue(4);
        f.page.Button2Click();
        QCOMPARE(f.dialogs.messages, QStringList({"'fast' is not a valid floating point value",
                                                  "'fast' is not a valid floating point value"}));
        QCOMPARE(f.form.State.Data.ConditionedU, before.ConditionedU);
        QCOMPARE(f.form.State.Data.ConditionedY, before.ConditionedY);

        // On screen the box that holds the text also gets the focus and a
        // highlight, which goes as soon as the text is corrected.
        f.form.PageControl1->setCurrentIndex(TForm1::ObdTab);
        f.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        f.page.Edit8->setText("fast");  // another box holds the same text; the first one is taken
        f.page.Button2->setFocus();
        f.page.Button2Click();
        QCOMPARE(f.dialogs.messages.size(), 3);
        QCOMPARE(f.dialogs.messages.back(), QString("'fast' is not a valid floating point value"));
        QVERIFY(f.page.Edit8->hasFocus());
        QVERIFY(IsMarkedUnreadable(f.page.Edit8));
        QCOMPARE(f.page.Edit8->selectedText(), QString("fast"));
        QVERIFY(!IsMarkedUnreadable(f.page.Edit_Actuator_Velocity));
        f.page.Edit8->setText("2");
        QVERIFY(!IsMarkedUnreadable(f.page.Edit8));
        f.page.Button2Click();  // now the velocity box, the only one left with the text
        QVERIFY(f.page.Edit_Actuator_Velocity->hasFocus() && IsMarkedUnreadable(f.page.Edit_Actuator_Velocity));
        // An empty text names a box only when one box is empty.
        f.page.Edit_Actuator_Velocity->setText("1");
        f.page.Edit8->setText("");
        f.page.Edit_Actuator_Minimum->setText("");
        f.page.Button2->setFocus();
        f.page.Button2Click();
        QCOMPARE(f.dialogs.messages.back(), QString("'' is not a valid floating point value"));
        QVERIFY(!IsMarkedUnreadable(f.page.Edit8) && !IsMarkedUnreadable(f.page.Edit_Actuator_Minimum));
        f.page.Edit_Actuator_Minimum->setText("0");
        f.page.Button2Click();
        QVERIFY(f.page.Edit8->hasFocus() && IsMarkedUnreadable(f.page.Edit8));
    }

    void rightAndDoubleClicksFillTheTwoWindows() {
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 300, "1", 11, 210));
        f.page.Button3Click();
        emit f.page.Chart_U->contextPopup();
        QVERIFY(f.histogram.isVisible());
        QCOMPARE(f.histogram.Chart1->title(), QString("Histogram of process input"));
        QCOMPARE(f.histogram.Series1->data()->size(), 20);
        double total = 0.0;
        for (auto it = f.histogram.Series1->data()->constBegin(); it != f.histogram.Series1->data()->constEnd(); ++it)
            total += it->value;
        QCOMPARE(total, 200.0);
        QCOMPARE(f.histogram.Series1->data()->at(0)->key, 20.0);  // U = 2i, one sample late: minimum 2 * 10

        emit f.page.Chart2->contextPopup();  // the same window, new contents
        QCOMPARE(f.histogram.Chart1->title(), QString("Histogram of outer process output"));

        emit f.page.Chart_Y->doubleClicked();
        QVERIFY(f.enlarged.isVisible());
        QCOMPARE(f.enlarged.Chart1->title(), QString("Process inner output"));
        QCOMPARE(f.enlarged.Series1->data()->size(), 200);
        QCOMPARE(f.enlarged.Series1->lineStyle(), QCPGraph::lsLine);

        // The enlarged chart reads out the nearest sample and returns to the
        // whole window after a zoom; the page charts stay still.
        QVERIFY(f.enlarged.ShowReadout(105.4));
        QCOMPARE(f.enlarged.Label_Readout->text(),
                 QString("Sample 106:  t = 105 s,  value = %1").arg(f.form.State.Data.ConditionedY[105]));
        const QCPRange keys = f.enlarged.Chart1->xAxis->range();
        const QCPRange values = f.enlarged.Chart1->yAxis->range();
        f.enlarged.Chart1->xAxis->scaleRange(0.25);
        f.enlarged.Chart1->yAxis->moveRange(40.0);
        f.enlarged.Button_ResetView->click();
        QCOMPARE(f.enlarged.Chart1->xAxis->range(), keys);
        QCOMPARE(f.enlarged.Chart1->yAxis->range(), values);
        QVERIFY(f.enlarged.Chart1->interactions().testFlag(QCP::iRangeZoom));
        QVERIFY(!f.page.Chart_Y->interactions().testFlag(QCP::iRangeZoom));
        emit f.page.Chart_U->doubleClicked();  // a new signal clears the readout
        QCOMPARE(f.enlarged.Label_Readout->text(), QString());
    }

    void figuresFollowTheLocaleSeparator() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QTemporaryDir dir;
        Fixture f;
        f.dialogs.answer(writeHvd(dir.filePath("run.hvd"), 30, "0,5", 1, 30));
        f.page.Button3Click();
        // Y = 3i over samples 1 .. 30, one sample late: 3, 3, 6, ..., 87.
        QCOMPARE(f.page.Label_MaksY1->text(), QString("87"));
        QCOMPARE(f.page.Label_STDY1->text(), QString("26,245"));  // 26.2449995 to 8 digits
        QCOMPARE(f.page.Label_Ts->text(), QString("0,5"));
    }

    // Values near the largest double whose spread overflows: the statistics
    // labels show the error text (no message box at every slider move), the
    // histogram command ends with the error, and no label or saved line is
    // ever an infinity or NaN.
    void extremeValuesShowTheErrorTextInsteadOfAFigure() {
        QTemporaryDir dir;
        QByteArray content =
            "HALVETRA Mesurements\r\nV1.0\r\n1.2.2026\r\n10:00:00\r\n1\r\n60\r\n1\r\n60\r\n"
            "0\r\n1e308\r\n-1e308\r\n1e-320\r\nMV a\r\nMV b\r\nU a\r\nU b\r\nY\r\nY2\r\n";
        for (int i = 1; i <= 60; ++i) {
            const QByteArray v = (i / 10) % 2 == 0 ? "1e308" : "-1e308";
            content +=
                QByteArray::number(i - 1) + "\t" + v + "\t" + v + "\t" + v + "\t" + v + "\t" + v + "\t1e-320\r\n";
        }
        Fixture f;
        f.dialogs.answer(writeText(dir.filePath("extreme.hvd"), content));
        f.page.Button3Click();
        f.page.ScrollBar3->setValue(5);
        f.page.ScrollBar4->setValue(50);
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));

        QStringList texts;
        for (const QLabel* label : f.page.findChildren<QLabel*>()) texts << label->text();
        for (const QLineEdit* edit : f.page.findChildren<QLineEdit*>()) texts << edit->text();
        QVERIFY2(!texts.join(' ').contains(QRegularExpression("INF|NAN", QRegularExpression::CaseInsensitiveOption)),
                 qPrintable(texts.join(' ')));
        const QStringList faults{"Floating point overflow", "Invalid floating point operation"};
        for (const QLabel* label : {f.page.Label_STDMV1, f.page.Label_STDU1, f.page.Label_STDY1})
            QVERIFY2(faults.contains(label->text()), qPrintable(label->text()));
        QCOMPARE(f.page.Label_MaksY2->text(), QString("9.9998887E-321"));  // a subnormal is a number like any other
        QCOMPARE(f.page.Label_STDY2->text(), QString("0"));

        emit f.page.Chart_Y->contextPopup();
        QCOMPARE(f.dialogs.messages, QStringList{"Floating point overflow"});
        QVERIFY(!f.histogram.isVisible());

        // The raw values are finite: they are saved and read back as they were.
        f.dialogs.messages.clear();
        f.dialogs.answer(dir.filePath("saved.hvd"));
        f.page.Button4Click();
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        QFile saved(dir.filePath("saved.hvd"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray lines = saved.readAll();
        QVERIFY(lines.contains("\t-1E+308\t"));
        QVERIFY(!lines.toLower().contains("inf") && !lines.toLower().contains("nan"));
    }

    void theHistogramOfAConstantWindowKeepsThePreviousStep() {
        TForm_Histogram histogram;
        std::array<double, 20> edges{};
        std::array<double, 20> counts{};
        for (int k = 0; k < 20; ++k) edges[k] = 10.0 + k;
        counts[3] = 5;
        histogram.ShowHistogram(edges, counts, 1, 20, "A", 10.0, 30.0);
        auto* ticker = dynamic_cast<QCPAxisTickerFixed*>(histogram.Chart1->xAxis->ticker().data());
        QVERIFY(ticker);
        QCOMPARE(ticker->tickStep(), 2.0);
        edges.fill(7.0);
        histogram.ShowHistogram(edges, counts, 1, 20, "B", 7.0, 7.0);
        QCOMPARE(ticker->tickStep(), 2.0);
        QCOMPARE(histogram.Chart1->title(), QString("B"));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    DataPageTest files;
    DataPageDisplayTest display;
    return QTest::qExec(&files, argc, argv) | QTest::qExec(&display, argc, argv);
}
#include "tst_DataPage.moc"
