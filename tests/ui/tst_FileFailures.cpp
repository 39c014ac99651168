// Failing file commands as the user meets them on the pages: every save into a
// folder that cannot take the file and onto a disk that fills part way, the
// report with a template that cannot be read, settings loaded from a file of
// another kind or a broken one, and an automatic run whose folder cannot take
// its data file. Each shows one message that names the file, and keeps the
// earlier files and the pages as they were.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

#include "FakeDialogs.h"
#include "FakePlantAccess.h"
#include "StepRecord.h"
#include "app/TForm1.h"
#include "data/Errors.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/Clock.h"
#include "settings/SettingsFile.h"
#include "ui/AutomaticChain.h"
#include "ui/ChartExport.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/ReportPage.h"
#include "ui/SettingsMapping.h"
#include "ui/TForm_Histogram.h"
#include "ui/TForm_Obdelava_Large.h"
#include "ui/TForm_SamodNastav.h"

#include "../data/FullDisk.h"

using namespace halvetra;

namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

using halvetra::testing_disk::FullDisk;

struct Fixture {
    Fixture() {
        form.attachExperimentWindows(nullptr, &settings);
        form.attachChartWindows(&histogram, &enlarged);
        form.ReportPage_->OpenDocument = [this](const QString& fileName) { opened << fileName; };
    }

    FakeDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 5, 4), QTime(9, 30, 0))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    TForm_SamodNastav settings{dialogs};
    TForm_Histogram histogram;
    TForm_Obdelava_Large enlarged;
    QTemporaryDir dir;
    QStringList opened;

    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot); }

    // A recorded step response with its models and controllers worked out.
    void recordAndTune() {
        test::FillStepRecord(form.State.Data);
        form.DataPage_->LoadRecordedData("0", "100", "0", "1");
        form.DataPage_->SetWindowStart(50);
        form.DataPage_->Button_IzracunClick();
        form.ModelPage_->Button_PIDClick();
        QVERIFY2(dialogs.messages.isEmpty(), qPrintable(dialogs.messages.join('\n')));
    }

    // Runs the page's save command for the file kind into `fileName`.
    void save(const QString& command, const QString& fileName) {
        dialogs.answer(fileName);
        if (command == "data")
            form.DataPage_->Button4Click();
        else if (command == "model")
            form.ModelPage_->Button7Click();
        else if (command == "controller")
            form.ControllerPage_->Button9Click();
        else if (command == "settings")
            form.ExperimentPage_->ShraniNastavitveClick();
        else
            form.ReportPage_->Button_Naredi_porociloClick();
    }

    ExperimentSettings settingsShown() const {
        return ReadSettingsControls(*form.OpcPage_, *form.ExperimentPage_, &settings);
    }
};

void addSaveCommands() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("name");
    QTest::newRow("Data page, Save to file") << "data"
                                             << "run.hvd";
    QTest::newRow("Model page, Save model") << "model"
                                            << "run.hvm";
    QTest::newRow("Controller page, Load to file") << "controller"
                                                   << "run.hvc";
    QTest::newRow("Experiment page, Save settings") << "settings"
                                                    << "run.hvx";
    QTest::newRow("Report page, Make report (.odt)") << "report"
                                                     << "run.odt";
    QTest::newRow("Report page, Make report (.pdf)") << "report"
                                                     << "run.pdf";
}

}  // namespace

class FileFailuresTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // --- Saving ---

    void aFolderThatCannotTakeTheFileIsNamed_data() { addSaveCommands(); }
    void aFolderThatCannotTakeTheFileIsNamed() {
        QFETCH(QString, command);
        QFETCH(QString, name);
        Fixture f;
        f.recordAndTune();
        writeBytes(f.path("plain"), "a regular file");
        const QString folders[] = {f.path("no such folder"), f.path("plain"), QStringLiteral("/proc")};
        for (const QString& folder : folders) {
            f.dialogs.messages.clear();
            const QString target = QDir(folder).filePath(name);
            f.save(command, target);
            // The report draws its pictures first; the first of them is the file that fails.
            const QString failing = command == "report" ? QDir(folder).filePath("grafik0.png") : target;
            QCOMPARE(f.dialogs.messages, QStringList{"Cannot create file " + native(failing)});
            QVERIFY(!QFile::exists(target));
        }
        QCOMPARE(f.entries(), QStringList{"plain"});
        QCOMPARE(bytesOf(f.path("plain")), QByteArray("a regular file"));
        QVERIFY(f.opened.isEmpty());
    }

    void aDiskThatFillsKeepsTheEarlierFile_data() { addSaveCommands(); }
    void aDiskThatFillsKeepsTheEarlierFile() {
        QFETCH(QString, command);
        QFETCH(QString, name);
        Fixture f;
        f.recordAndTune();
        const QString target = f.path(name);
        f.save(command, target);
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
        const QByteArray earlier = bytesOf(target);
        QVERIFY(!earlier.isEmpty());
        const QStringList before = f.entries();
        f.opened.clear();

        {
            const FullDisk full(64);
            QVERIFY(full.Active());
            f.save(command, target);
        }
        const QString failing = command == "report" ? f.path("grafik0.png") : target;
        QCOMPARE(f.dialogs.messages, QStringList{"Cannot create file " + native(failing)});
        QCOMPARE(bytesOf(target), earlier);
        QCOMPARE(f.entries(), before);  // no temporary file, no picture
        QVERIFY(f.opened.isEmpty());
    }

    // The pictures fit, the document does not: the earlier report stays whole.
    void aReportThatDoesNotFitKeepsTheEarlierReport_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("odt") << "night.odt";
        QTest::newRow("pdf") << "night.pdf";
    }
    void aReportThatDoesNotFitKeepsTheEarlierReport() {
        QFETCH(QString, name);
        Fixture f;
        f.recordAndTune();
        const ReportSources sources = f.form.ReportPage_->Sources();
        const QString folder = f.dir.path();
        ExportDataPictures(sources, f.form.State.Data, ReportPictureTitles(), folder);
        ExportPageChartPicture(*f.form.ModelPage_->Chart_Model, folder, ModelPictureName);
        ExportPageChartPicture(*f.form.ControllerPage_->Chart1, folder, ControllerPictureName);
        ReportRequest request;
        request.Template = "normal.dot";
        request.FileName = f.path(name);
        WriteReportDocument(sources, request);
        const QByteArray earlier = bytesOf(request.FileName);
        QVERIFY(earlier.size() > 8192);
        const QStringList before = f.entries();

        QString error;
        {
            const FullDisk full(4096);
            QVERIFY(full.Active());
            try {
                WriteReportDocument(sources, request);
            } catch (const FileError& e) {
                error = QString::fromStdString(e.what());
            }
        }
        QCOMPARE(error, "Cannot create file " + native(request.FileName));
        QCOMPARE(bytesOf(request.FileName), earlier);
        QCOMPARE(f.entries(), before);
        DeleteReportPictures(folder);
    }

    // --- The report's template ---

    void aTemplateThatCannotBeReadWritesNothing_data() {
        QTest::addColumn<QString>("templateName");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "DIR/missing.ott"
                                 << "Cannot open file DIR/missing.ott";
        QTest::newRow("missing, relative to the report") << "plant.ott"
                                                         << "Cannot open file DIR/plant.ott";
        QTest::newRow("not a template") << "DIR/notes.txt"
                                        << "DIR/notes.txt is not an OpenDocument text template (.ott or .odt)";
        QTest::newRow("a folder") << "DIR/folder.ott"
                                  << "Cannot open file DIR/folder.ott";
    }
    void aTemplateThatCannotBeReadWritesNothing() {
        QFETCH(QString, templateName);
        QFETCH(QString, message);
        Fixture f;
        f.recordAndTune();
        templateName.replace("DIR", f.dir.path());
        message.replace("DIR", f.dir.path());
        writeBytes(f.path("notes.txt"), "plain text");
        QVERIFY(QDir(f.dir.path()).mkdir("folder.ott"));
        writeBytes(f.path("grafik0.png"), "the user's own file");
        writeBytes(f.path("tuning.odt"), "the earlier report");
        const QStringList before = f.entries();

        f.form.ReportPage_->Label63->setText(templateName);
        f.save("report", f.path("tuning.odt"));
        QCOMPARE(f.dialogs.messages, QStringList{message});
        QCOMPARE(f.entries(), before);
        QCOMPARE(bytesOf(f.path("grafik0.png")), QByteArray("the user's own file"));
        QCOMPARE(bytesOf(f.path("tuning.odt")), QByteArray("the earlier report"));
        QVERIFY(f.opened.isEmpty());
    }

    // --- Loading data ---

    // The window lines are read after the data: the data set holds the new
    // file, the window sliders, the charts and the file name stay as they were.
    void aWindowTextThatIsNoIntegerStopsTheLoadAfterTheData() {
        Fixture f;
        f.recordAndTune();
        DataPage& page = *f.form.DataPage_;
        const int start = page.ScrollBar3->value();
        const QString name = page.Label_Ime->text();
        const std::string file = f.path("window.hvd").toStdString();
        MeasuredData other;
        test::FillStepRecord(other);
        TObdelava().SaveDataFile(file, "4.5.2026", "08:00:00", 0.5, 100, 1, 100, {1, 2, 3, 4, 5, 6}, 0, 100, 0, 1,
                                 {"a", "b", "c", "d", "e", "f"}, other, '.');
        std::vector<std::string> lines = ReadTextLines(file);
        lines[6] = "first";
        WriteTextFile(file, lines);

        f.dialogs.answer(QString::fromStdString(file));
        page.Button3Click();
        QCOMPARE(f.dialogs.messages, QStringList{"'first' is not a valid integer value"});
        QCOMPARE(f.form.State.Data.SampleCount, 100);
        QCOMPARE(page.Label_Ns->text(), QString("100"));
        QCOMPARE(page.ScrollBar3->value(), start);
        QCOMPARE(page.Label_Ime->text(), name);
    }

    // --- Loading settings ---

    void aBadSettingsFileLeavesTheControlsAsTheyAre_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("a data file") << "hvd"
                                     << "The file is a data file (.hvd), not an experiment settings file";
        QTest::newRow("a model file") << "hvm"
                                      << "The file is a model file (.hvm), not an experiment settings file";
        QTest::newRow("a controller file") << "hvc"
                                           << "The file is a controller file (.hvc), not an experiment settings file";
        QTest::newRow("cut after 50 lines") << "cut"
                                            << "List index out of bounds (50)";
        QTest::newRow("a method that is no integer") << "method"
                                                     << "'PI' is not a valid integer value";
    }
    void aBadSettingsFileLeavesTheControlsAsTheyAre() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Fixture f;
        f.recordAndTune();
        ExperimentPage& page = *f.form.ExperimentPage_;
        page.CasVzorcenjaEdit->setText("2.5");
        f.save("settings", f.path("saved.hvx"));
        f.save("data", f.path("run.hvd"));
        f.save("model", f.path("run.hvm"));
        f.save("controller", f.path("run.hvc"));
        QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));

        std::vector<std::string> lines = ReadTextLines(f.path("saved.hvx").toStdString());
        QString file = f.path("run." + kind);
        if (kind == "cut") {
            lines.resize(50);
            file = f.path("cut.hvx");
            WriteTextFile(file.toStdString(), lines);
        } else if (kind == "method") {
            lines[59] = "PI";
            file = f.path("method.hvx");
            WriteTextFile(file.toStdString(), lines);
        }

        page.CasVzorcenjaEdit->setText("7");  // line 41 of the file says 2.5
        const ExperimentSettings shown = f.settingsShown();
        f.dialogs.answer(file);
        page.NaloziNastavitveClick();
        QCOMPARE(f.dialogs.messages, QStringList{message});
        QCOMPARE(page.CasVzorcenjaEdit->text(), QString("7"));
        QVERIFY(f.settingsShown() == shown);
    }

    // --- The automatic processing ---

    void anAutomaticRunThatCannotSaveItsDataKeepsTheRecord_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("a folder that no longer exists") << "DIR/gone";
        QTest::newRow("a regular file in place of the folder") << "DIR/plain";
        QTest::newRow("a folder nobody can write") << "/proc";
    }
    void anAutomaticRunThatCannotSaveItsDataKeepsTheRecord() {
        QFETCH(QString, folder);
        Fixture f;
        f.recordAndTune();
        folder.replace("DIR", f.dir.path());
        writeBytes(f.path("plain"), "a regular file");
        const MeasuredData record = f.form.State.Data;

        AutomaticRun run;
        run.Folder = folder;
        run.Label = "night";
        run.RescueFolder = f.path("rescue");
        AutomaticChain chain(f.form.State, f.form.ReportPage_->Sources());
        QString error;
        try {
            chain.Run(run);
        } catch (const FileError& e) {
            error = QString::fromStdString(e.what());
        }
        const QString rescued = native(f.path("rescue/night.hvd"));
        QCOMPARE(error, "Cannot create file " + native(QDir(folder).filePath("night.hvd")) +
                            "; the measured data were saved to " + rescued + " instead");
        QVERIFY(chain.FilesWritten().isEmpty());
        QCOMPARE(chain.RescuedDataFile(), rescued);
        QCOMPARE(QDir(f.path("rescue")).entryList(QDir::Files), QStringList{"night.hvd"});
        QCOMPARE(f.entries(), QStringList({"plain", "rescue"}));  // no pictures

        // The rescued file holds the record, and the Data page still does.
        MeasuredData loaded;
        TObdelava().LoadDataFile(rescued.toStdString(), loaded, '.');
        QCOMPARE(loaded.SampleCount, record.SampleCount);
        QCOMPARE(loaded.SamplingTime, record.SamplingTime);
        for (int i = 0; i < record.SampleCount; i += 37)
            QCOMPARE(loaded.Column(5)[i], record.Column(5)[i]);  // Y1, in column 5 of both
        QCOMPARE(f.form.State.Data.SampleCount, record.SampleCount);
        QVERIFY(f.form.State.Data.RawColumns == record.RawColumns);
    }

    void withoutARescueTheMessageSaysWhereTheRecordIs() {
        Fixture f;
        f.recordAndTune();
        writeBytes(f.path("plain"), "a regular file");
        AutomaticRun run;
        run.Folder = f.path("gone");
        run.Label = "night";
        AutomaticChain chain(f.form.State, f.form.ReportPage_->Sources());
        for (const QString& rescue : {QString(), f.path("plain/rescue")}) {
            run.RescueFolder = rescue;
            QString error;
            try {
                chain.Run(run);
            } catch (const FileError& e) {
                error = QString::fromStdString(e.what());
            }
            QCOMPARE(error, "Cannot create file " + native(f.path("gone/night.hvd")) +
                                "; the measured data are only on the Data page");
            QVERIFY(chain.RescuedDataFile().isEmpty());
        }
        QCOMPARE(f.entries(), QStringList{"plain"});
        QCOMPARE(f.form.State.Data.SampleCount, test::StepRecordSamples);
    }

    // A disk that fills during the processing: the files that fit stay whole,
    // the one that does not is named, and no picture or temporary file stays.
    void anAutomaticRunOnAFullDiskNamesTheFileThatDidNotFit() {
        Fixture f;
        f.recordAndTune();
        AutomaticRun run;
        run.Folder = f.dir.path();
        run.Label = "night";
        run.RescueFolder = f.path("rescue");
        AutomaticChain chain(f.form.State, f.form.ReportPage_->Sources());
        QString error;
        {
            const FullDisk full(64);
            try {
                chain.Run(run);
            } catch (const FileError& e) {
                error = QString::fromStdString(e.what());
            }
        }
        QCOMPARE(error,
                 "Cannot create file " + native(f.path("night.hvd")) + "; the measured data are only on the Data page");
        QCOMPARE(f.entries(), QStringList{"rescue"});  // made for the rescue, which did not fit either
        QVERIFY(QDir(f.path("rescue")).isEmpty());
    }
};

QTEST_MAIN(FileFailuresTest)
#include "tst_FileFailures.moc"
