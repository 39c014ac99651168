// The main window's frame: start-up state, pages, timers, dialogs and the
// command wrapper.
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "FakeDialogs.h"
#include "FakePlantAccess.h"
#include "app/ApplicationWindows.h"
#include "app/UnavailablePlantAccess.h"
#include "experiment/Clock.h"
#include "ui/AboutPage.h"
#include "ui/Command.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"

using namespace halvetra;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithItsPagesAndState() {
        FakeDialogs dialogs;
        ManualClock clock(QDateTime(QDate(2026, 3, 14), QTime(9, 30)));
        FakePlantAccess plant;
        ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, plant);
        TForm1& form = *windows.Form1;

        QCOMPARE(form.windowTitle(), QString(" Halvetra E 1.0.7"));
        QCOMPARE(form.PageControl1->count(), 7);
        const QStringList captions = {"OPC", "Experiment", "Data", "Model", "Controller", "Report", "About"};
        const QStringList names = {"OPCTab", "EkspTab", "ObdTab", "ModTab", "RegTab", "PorTab", "TabSheet1"};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(form.PageControl1->tabText(i), captions[i]);
            QCOMPARE(form.PageControl1->widget(i)->objectName(), names[i]);
        }
        QCOMPARE(form.PageControl1->currentIndex(), int(TForm1::EkspTab));

        QCOMPARE(form.ExperimentPage_->DateTimePicker1->date(), QDate(2026, 3, 14));
        for (QLabel* image : {form.ModelPage_->Image_Quality_Red, form.ModelPage_->Image_Quality_Orange,
                              form.ModelPage_->Image_Quality_Yellow, form.ModelPage_->Image_Quality_Green})
            QVERIFY(image->isHidden());
        QCOMPARE(form.AboutPage_->Label_Verzija->text(), QString(" Halvetra E 1.0.7"));
        QCOMPARE(form.AboutPage_->Label83->text(), QString("1.0.7"));
        QVERIFY(!form.AboutPage_->Image1->pixmap().isNull());
        QCOMPARE(form.AboutPage_->Image1->pixmap().size(), QSize(897, 446));

        QVERIFY(!form.State.ApplyingAutomaticSettings);
        QVERIFY(form.State.QueuedExperimentFolders.isEmpty());
        QCOMPARE(form.State.WorkingFolder, QDir::toNativeSeparators(QDir::currentPath()));

        QCOMPARE(form.Timer_ExperimentScheduler->interval(), 500);
        QVERIFY(!form.Timer_ExperimentScheduler->isActive());
        QCOMPARE(form.Timer_FirstScreen->interval(), 5000);
        QVERIFY(form.Timer_FirstScreen->isActive());

        QCOMPARE(windows.Eksperiment->windowTitle(), QString("Eksperiment"));
        QCOMPARE(windows.Form_SamodNastav->windowTitle(), QString("Additional settings for automatic experiment"));
        QCOMPARE(windows.Form_Histogram->windowTitle(), QString("Histogram"));
        QCOMPARE(windows.Form_Obdelava_Large->windowTitle(), QString("Prikaz signala"));
        for (QWidget* w :
             std::initializer_list<QWidget*>{windows.Eksperiment.get(), windows.Form_SamodNastav.get(),
                                             windows.Form_Histogram.get(), windows.Form_Obdelava_Large.get()})
            QVERIFY(!w->isVisible());
    }

    void firstScreenTimerShowsTheOpcPageOnce() {
        FakeDialogs dialogs;
        SystemClock clock;
        FakePlantAccess plant;
        ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, plant);
        TForm1& form = *windows.Form1;
        form.PageControl1->setCurrentIndex(TForm1::ModTab);  // the user moved meanwhile
        QTRY_COMPARE_WITH_TIMEOUT(form.PageControl1->currentIndex(), int(TForm1::OPCTab), 8000);
        QVERIFY(!form.Timer_FirstScreen->isActive());
        form.PageControl1->setCurrentIndex(TForm1::ObdTab);
        QTest::qWait(600);
        QCOMPARE(form.PageControl1->currentIndex(), int(TForm1::ObdTab));
    }

    void withoutAPlantClientTheWindowStillOpens() {
        FakeDialogs dialogs;
        ManualClock clock(QDateTime(QDate(2026, 3, 14), QTime(9, 30)));
        UnavailablePlantAccess plant;
        ApplicationWindows windows = CreateApplicationWindows(dialogs, clock, plant);
        TForm1& form = *windows.Form1;
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form.OpcPage_->ComboBox2->count(), 0);
        QVERIFY(form.State.ControllerGroup);
        QCOMPARE(form.State.ControllerGroup->Name, std::string("SkupReg"));
        QCOMPARE(form.ExperimentPage_->DateTimePicker1->date(), QDate(2026, 3, 14));

        form.OpcPage_->ComboBox2->setEditText("opc.tcp://127.0.0.1:4840");
        form.OpcPage_->PoveziOPCStreznik->click();
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages[0].contains("no plant connection available"));
        QVERIFY(form.OpcPage_->PoveziOPCStreznik->isEnabled());
        QCOMPARE(form.OpcPage_->Label54->text(), QString());
    }

    void fileDialogsKeepTheirDesignSettings() {
        FakeDialogs dialogs;
        ManualClock clock(QDateTime::currentDateTime());
        FakePlantAccess plant;
        TForm1 form(dialogs, clock, plant);
        QCOMPARE(form.Files.SaveDialog1.DefaultExt, QString("hvx"));
        QVERIFY(form.Files.SaveDialog1.OverwritePrompt);
        QCOMPARE(form.Files.SaveDialog_Model.DefaultExt, QString("hvm"));
        QCOMPARE(form.Files.SaveDialog_Controller.DefaultExt, QString("hvc"));
        QCOMPARE(form.Files.OpenDialog_Controller.DefaultExt, QString("hvc"));
        QCOMPARE(form.Files.OpenDialog1.Filter, QString("Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*"));
        QCOMPARE(form.Files.OpenDialog_Model.Filter, QString("Halvetra Models (*.hvm)|*.hvm|All files|*.*"));
    }

    void filtersBecomeQtNameFilters() {
        QCOMPARE(QtNameFilters("Measured Data (*.hvd)|*.hvd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*"),
                 QStringList({"Measured Data (*.hvd)", "Data files (*.txt, *.dat) (*.txt *.dat)", "All files (*)"}));
        QCOMPARE(QtNameFilters(""), QStringList());
        QCOMPARE(WithDefaultExtension("/tmp/run1", "hvd"), QString("/tmp/run1.hvd"));
        QCOMPARE(WithDefaultExtension("/tmp/run1.txt", "hvd"), QString("/tmp/run1.txt"));
        QCOMPARE(WithDefaultExtension("/tmp/run1", ""), QString("/tmp/run1"));
    }

    void aFailingCommandIsShownAndTheLoopGoesOn() {
        FakeDialogs dialogs;
        int stepsRun = 0;
        QVERIFY(!RunCommand(dialogs, [&] {
            ++stepsRun;
            throw std::runtime_error("Cannot open file x.hvd");
            ++stepsRun;
        }));
        QCOMPARE(stepsRun, 1);
        QCOMPARE(dialogs.messages, QStringList({"Cannot open file x.hvd"}));
        QVERIFY(RunCommand(dialogs, [&] { ++stepsRun; }));
        QCOMPARE(stepsRun, 2);
        QCOMPARE(dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
