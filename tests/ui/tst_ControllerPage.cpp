// The Controller page: "Calculate PID parameters" of the Model page, the
// controls that recalculate and their guards, failures part way through a
// calculation, the scaled parameters, and the controller settings file.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "FakeDialogs.h"
#include "SeparatorRows.h"
#include "FakePlantAccess.h"
#include "app/TForm1.h"
#include "data/NumberText.h"
#include "experiment/Clock.h"
#include "experiment/WriteLog.h"
#include "ui/Chart.h"
#include "ui/CompareRulesWindow.h"
#include "ui/ControllerPage.h"
#include "ui/DataPage.h"
#include "ui/ExperimentPage.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"
#include "ui/RadioItems.h"

using namespace halvetra;

namespace {

struct Fixture {
    FakeDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 5, 4), QTime(13, 14, 15))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    ControllerPage& page = *form.ControllerPage_;
    AppState& state = form.State;

    // Chien-Hrones-Reswick for set-point tracking on K = 2, T = 10, L = 1.
    void setUpTracking(double samplingTime = 0.5) {
        state.InnerModel = {2.0, 10.0, 1.0};
        state.Data.SamplingTime = samplingTime;
        const QSignalBlocker quiet(page.ComboBox1);
        page.ComboBox1->setCurrentIndex(2);
    }
    void calculatePid() { form.ModelPage_->Button_PID->click(); }

    QStringList labels() const {
        QStringList texts;
        for (const QLabel* label :
             {page.Label_Ki, page.Label_Kp_P, page.Label_PI_Kp, page.Label_PI_Ti, page.Label_PID_Kp, page.Label_PID_Ti,
              page.Label_PID_Td, page.Label_Kp_Cascade, page.Label_Priporocljiv})
            texts << label->text();
        return texts;
    }
    QStringList scaled() const {
        return {page.Label_Reg_Name_Kp->text(), page.Label_Reg_Name_Ki->text(), page.Label_Reg_Name_Kd->text(),
                page.Edit_Reg_Kp->text(),       page.Edit_Reg_Ki->text(),       page.Edit_Reg_Kd->text(),
                page.Label_LabOjacSekv->text(), page.Label_OjacSekv->text()};
    }
    // Every point of the five series, in series order.
    bool showsNonFinite() const {
        QStringList texts;
        for (const QLabel* label : page.findChildren<QLabel*>()) texts << label->text();
        for (const QLineEdit* edit : page.findChildren<QLineEdit*>()) texts << edit->text();
        return texts.join(' ').contains(QRegularExpression("INF|NAN", QRegularExpression::CaseInsensitiveOption));
    }
    QList<QPointF> chart() const {
        QList<QPointF> points;
        for (QCPGraph* series : {page.LineSeries3, page.Series3, page.Series4, page.LineSeries4, page.Series5})
            for (auto it = series->data()->constBegin(); it != series->data()->constEnd(); ++it)
                points << QPointF(it->key, it->value);
        return points;
    }
};

}  // namespace

class ControllerPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void calculatePidParametersAndScaleThem_data() { AddSeparatorRows(); }
    void calculatePidParametersAndScaleThem() {
        const QChar separator = UseRowLocale();
        Fixture f;
        f.setUpTracking();
        f.form.PageControl1->setCurrentIndex(TForm1::ModTab);
        f.calculatePid();

        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.form.PageControl1->currentIndex(), int(TForm1::RegTab));
        QCOMPARE(f.page.Edit_Vzorcenje->text(), QString("0") + separator + "5");
        QCOMPARE(f.state.LoopSamplingTime, 0.5);
        QCOMPARE(f.labels(),
                 withSeparator({"0.14583", "1.75000", "1.750", "0.145833", "3.000", "0.300000", "1.500", "0", "0.286"},
                               separator));
        // The figures of the four loops, with the locale's separator.
        QStringList pi;
        for (const QLabel* cell : f.page.FigureLabels[TypePI]) pi << cell->text();
        QCOMPARE(pi, withSeparator({"1.80", "2.53", "57.4", "3.408", "3.429"}, separator));
        QCOMPARE(f.page.FigureLabels[TypeP][3]->text(), QString("\u2014"));  // a P controller has no IAE
        // Nothing selected is the general parallel form; PI is the controller.
        QCOMPARE(f.page.ComboBox_Regulator->currentIndex(), -1);
        QCOMPARE(f.scaled(), withSeparator({"Kp:", "Ki:", "", "1.750", "0.145833", "", "", ""}, separator));
        QVERIFY(!f.page.Edit_Reg_Ki->isHidden() && f.page.Edit_Reg_Kd->isHidden());

        // The parallel form with times, then the PID in it.
        f.page.ComboBox_Regulator->setCurrentIndex(1);
        QCOMPARE(f.scaled(), withSeparator({"Kp:", "Ti:", "", "1.750", "12.000000", "", "", ""}, separator));
        f.page.izbiraTipaRegItems->button(3)->click();
        QCOMPARE(f.scaled(), withSeparator({"Kp:", "Ti:", "Td:", "3.000", "10.000000", "0.500", "", ""}, separator));
        QVERIFY(!f.page.Edit_Reg_Kd->isHidden());

        // Scaling factors are read with the locale's separator when Enter is pressed.
        const QString half = QString("0") + separator + "5";
        f.page.Edit_Reg_ScaleP->setText(half);
        f.page.Edit_Reg_ScaleD->clear();
        QTest::keyClicks(f.page.Edit_Reg_ScaleD, "2");
        QCOMPARE(f.page.Edit_Reg_Kp->text(), withSeparator({"3.000"}, separator).front());
        QTest::keyClick(f.page.Edit_Reg_ScaleD, Qt::Key_Return);
        QCOMPARE(f.scaled(), withSeparator({"Kp:", "Ti:", "Td:", "1.500", "10.000000", "1.000", "", ""}, separator));

        const QString other = QString("0") + (separator == '.' ? ',' : '.') + "5";
        f.page.Edit_Reg_ScaleI->setText(other);
        QTest::keyClick(f.page.Edit_Reg_ScaleI, Qt::Key_Enter);
        QCOMPARE(f.dialogs.messages, QStringList{"'" + other + "' is not a valid floating point value"});
        // Kp was written before the failing factor was needed; the rest keep their texts.
        QCOMPARE(f.page.Edit_Reg_Ki->text(), withSeparator({"10.000000"}, separator).front());
    }

    void theFiveCurvesAndTheResponseType() {
        Fixture f;
        f.state.InnerModel = {1.0, 10.0, 2.0};
        f.state.Data.SamplingTime = 1.0;
        f.calculatePid();
        QVERIFY(f.dialogs.messages.isEmpty());
        for (QCPGraph* series :
             {f.page.LineSeries3, f.page.Series3, f.page.Series4, f.page.LineSeries4, f.page.Series5})
            QVERIFY(series->data()->size() == 71 && series->data()->at(70)->key == 70.0);
        QCOMPARE(f.page.Chart1->xAxis->range().upper, 70.0);
        QVERIFY(std::abs(f.page.LineSeries4->data()->at(70)->value - 1.0) < 0.01);  // OL settles at 1
        QVERIFY(std::abs(f.page.Series3->data()->at(70)->value - 1.0) < 0.05);      // PI tracks
        const QCPRange axis = f.page.Chart1->yAxis->range();
        QVERIFY(axis.lower < 0.0 && axis.upper > 1.0 && axis.upper <= 2.3);
        QCOMPARE(f.page.Chart1->legend->itemCount(), 5);

        // Disturbance rejection: the integral controllers bring the output back to 0.
        f.page.motnjaItems->button(1)->click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(std::abs(f.page.Series3->data()->at(70)->value) < 0.05);
        QVERIFY(f.page.Series3->data()->at(10)->value > 0.1);

        // AMIGO defines neither an I nor a P controller: "—" and no curve.
        f.page.ComboBox1->setCurrentIndex(Amigo);
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(QStringList({f.page.Label_Ki->text(), f.page.Label_Kp_P->text()}), QStringList({"\u2014", "\u2014"}));
        QVERIFY(f.page.LineSeries3->data()->isEmpty() && f.page.Series5->data()->isEmpty());
        QCOMPARE(f.page.Series3->data()->size(), 71);
        QCOMPARE(f.page.FigureLabels[TypeI][0]->text(), QString("\u2014"));

        // The comparison lists every rule, highlights the page's, and choosing a row chooses its rule.
        f.page.ShowCompareRules();
        QTableWidget* table = f.page.CompareRules->Table_CompareRules;
        QCOMPARE(table->rowCount(), TuningMethodCount - 1);
        QCOMPARE(table->currentRow(), Amigo - 1);
        table->selectRow(Simc - 1);
        QTRY_COMPARE(f.page.ComboBox1->currentIndex(), int(Simc));
        QCOMPARE(f.page.robustnessFactorLabel->text(), QString("Factor: 1.0000"));
        // The optimal rule's slider chooses its Ms target.
        table->selectRow(OptimalMs - 1);
        QTRY_COMPARE(f.page.robustnessFactorLabel->text(), QString("Ms \u2264 1.60"));
        QVERIFY(f.page.FigureLabels[TypePI][0]->text().toDouble() <= 1.6 * 1.005);

        // An integrating process: the rules that do not tune it are disabled,
        // and a chosen one gives way to SIMC.
        f.page.ComboBox1->setCurrentIndex(ChrTracking);
        f.state.InnerModel = {0.05, 2.0, 2.0};
        f.state.InnerModel.Type = ProcessType::Integrating;
        f.page.CalculateController();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.page.ComboBox1->currentIndex(), int(Simc));
        const auto* items = qobject_cast<QStandardItemModel*>(f.page.ComboBox1->model());
        QVERIFY(!items->item(ChrTracking)->isEnabled() && items->item(Simc)->isEnabled());
        QCOMPARE(items->item(ChrTracking)->toolTip().toStdString(), TuningMethodRefusal(ChrTracking));
        QCOMPARE(table->item(Simc - 1, 0)->text(), QString("SIMC"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void theSliderChangesLabelsAndChartButNotTheScaledValues() {
        Fixture f;
        f.setUpTracking();
        f.calculatePid();
        const QList<QPointF> before = f.chart();
        QCOMPARE(f.page.robustnessFactorLabel->text(), QString("Factor: 1.0000"));

        const auto tinted = [&f] {
            return f.page.Edit_Reg_Kp->palette().color(QPalette::Base) !=
                   f.page.Edit_Vzorcenje->palette().color(QPalette::Base);
        };
        QVERIFY(f.page.Label_ScaledOutOfDate->text().isEmpty() && !tinted());

        f.page.ScrollBar_Robust->setValue(20);
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.page.robustnessFactorLabel->text(), QString("Factor: 2.6456"));
        QCOMPARE(f.page.Label_PID_Kp->text(), QString("7.937"));
        QVERIFY(f.chart() != before);
        QCOMPARE(f.page.Edit_Reg_Kp->text(), QString("1.750"));
        // ... and the values kept are marked as computed for the previous gains.
        QCOMPARE(f.page.Label_ScaledOutOfDate->text(),
                 QString("Scaled values computed for the previous gains (changed: robustness)"));
        QVERIFY(tinted());

        // The next refresh of the box applies the factor.
        f.page.izbiraTipaRegItems->button(0)->click();
        QCOMPARE(f.scaled(), (QStringList{"Kp:", "", "", "4.630", "", "", "", ""}));
        QVERIFY(f.page.Edit_Reg_Ki->isHidden() && f.page.Edit_Reg_Kd->isHidden());
        QVERIFY(f.page.Label_ScaledOutOfDate->text().isEmpty() && !tinted());

        // Gains back where the values were computed are current again; a new
        // model names both changes; values the user types are the user's.
        f.page.ScrollBar_Robust->setValue(12);
        QVERIFY(tinted());
        f.page.ScrollBar_Robust->setValue(20);
        QVERIFY(f.page.Label_ScaledOutOfDate->text().isEmpty() && !tinted());
        f.state.InnerModel.Gain = 4.0;
        f.page.ScrollBar_Robust->setValue(18);
        QCOMPARE(f.page.ScaledValuesOutOfDate(), QString("robustness, model"));
        QTest::keyClicks(f.page.Edit_Reg_Kp, "5");
        QVERIFY(f.page.ScaledValuesOutOfDate().isEmpty() && !tinted());
        f.page.ScrollBar_Robust->setValue(10);
        QVERIFY(f.page.ScaledValuesOutOfDate().isEmpty());
    }

    void automaticSettingsSuppressTheGuardedHandlers() {
        Fixture f;
        f.setUpTracking();
        f.calculatePid();
        const QStringList labels = f.labels();
        const QStringList scaled = f.scaled();
        const QList<QPointF> chart = f.chart();

        f.state.ApplyingAutomaticSettings = true;
        f.page.ComboBox1->setCurrentIndex(5);
        f.page.CheckBox_CascadeReg->setChecked(true);
        f.page.ScrollBar_Robust->setValue(3);
        f.page.motnjaItems->button(1)->click();
        f.page.ComboBox_Regulator->setCurrentIndex(2);
        f.page.izbiraTipaRegItems->button(3)->click();
        QCOMPARE(f.labels(), labels);
        QCOMPARE(f.scaled(), scaled);
        QCOMPARE(f.chart(), chart);
        QCOMPARE(f.page.robustnessFactorLabel->text(), QString("Factor: 0.2479"));  // the slider's own caption
        QVERIFY(f.dialogs.messages.isEmpty());

        // Enter in the sampling-time and scaling edits always works, and only Enter.
        f.page.CheckBox_CascadeReg->setChecked(false);
        f.page.Edit_Vzorcenje->setText("0.25");
        QTest::keyClick(f.page.Edit_Vzorcenje, Qt::Key_Tab);
        QCOMPARE(f.page.Series3->data()->size(), 121);
        QTest::keyClick(f.page.Edit_Vzorcenje, Qt::Key_Return);
        QCOMPARE(f.page.Series3->data()->size(), 241);
        QCOMPARE(f.page.Label_PID_Kp->text(), QString("1.487"));  // Ziegler-Nichols 6 at f = 0.2479
        QCOMPARE(f.page.Edit_Reg_Kp->text(), QString("1.750"));
        QTest::keyClick(f.page.Edit_Reg_ScaleP, Qt::Key_Return);
        QCOMPARE(f.page.Label_Reg_Name_Ki->text(), QString("1/Ti:"));
        QCOMPARE(f.page.Edit_Reg_Kp->text(), QString("1.487"));

        // So does "Calculate PID parameters", which also writes the sampling time.
        f.calculatePid();
        QCOMPARE(f.page.Edit_Vzorcenje->text(), QString("0.5"));
        QCOMPARE(f.page.Series3->data()->size(), 121);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void aFailedCalculationKeepsTheChart() {
        Fixture f;
        f.setUpTracking();
        f.calculatePid();
        const QList<QPointF> chart = f.chart();
        const QStringList scaled = f.scaled();

        // A sampling time that is not a number: the labels are new, the rest stays.
        f.page.Edit_Vzorcenje->setText("x");
        f.page.ComboBox1->setCurrentIndex(5);
        QCOMPARE(f.dialogs.messages, QStringList{"'x' is not a valid floating point value"});
        QCOMPARE(f.page.Label_PID_Kp->text(), QString("6.000"));
        QCOMPARE(f.chart(), chart);
        QCOMPARE(f.scaled(), scaled);
        QCOMPARE(f.state.LoopSamplingTime, 0.5);
    }

    void failuresNeverShowInfinitiesOrNaN() {
        Fixture f;
        // Before any sampling time is known (the data's is 0), and with no model.
        f.calculatePid();
        QCOMPARE(f.dialogs.messages, QStringList{"Floating point division by zero"});
        QVERIFY(f.chart().isEmpty());
        QVERIFY(!f.showsNonFinite());

        // A process gain of 0, for every tuning method.
        f.state.InnerModel = {0.0, 10.0, 2.0};
        f.state.Data.SamplingTime = 1.0;
        for (int method = 0; method < 7; ++method) {
            f.dialogs.messages.clear();
            {
                const QSignalBlocker quiet(f.page.ComboBox1);
                f.page.ComboBox1->setCurrentIndex(method);
            }
            f.calculatePid();
            QCOMPARE(f.dialogs.messages, QStringList{"Floating point division by zero"});
            QVERIFY(f.chart().isEmpty());
            QVERIFY(!f.showsNonFinite());
        }

        // A loop that diverges until it overflows is drawn up to there, with a gap after.
        f.state.InnerModel = {1.0, 100.0, 0.1};
        f.dialogs.messages.clear();
        f.page.ComboBox1->setCurrentIndex(5);
        QVERIFY(f.dialogs.messages.isEmpty());
        QCPGraphDataContainer& pid = *f.page.Series4->data();
        QCOMPARE(pid.size(), 502);
        QVERIFY(std::isnan(pid.at(501)->value));
        for (auto it = pid.constBegin(); it != pid.constEnd(); ++it) QVERIFY(!std::isinf(it->value));

        // A scaled value that overflows is refused rather than shown.
        f.setUpTracking(1.0);
        f.dialogs.messages.clear();
        f.calculatePid();
        QVERIFY(f.dialogs.messages.isEmpty());
        f.page.Edit_Reg_ScaleP->setText("1.5E308");
        QTest::keyClick(f.page.Edit_Reg_ScaleP, Qt::Key_Return);
        QCOMPARE(f.dialogs.messages, QStringList{"Floating point overflow"});
        QVERIFY(!f.showsNonFinite());
    }

    // Extreme inputs of the scaled parameters, the models and the
    // non-linearity: the user sees the error text, the box is left whole as
    // it was, and no figure on the page is an infinity or NaN.
    void extremeInputsEndTheCommandBeforeTheBoxChanges() {
        Fixture f;
        f.setUpTracking(1.0);
        f.calculatePid();
        QVERIFY(f.dialogs.messages.isEmpty());
        SetItemIndex(f.page.izbiraTipaRegItems, 3);     // PID: all three values shown
        f.page.ComboBox_Regulator->setCurrentIndex(1);  // Kp, Ti, Td
        QVERIFY(f.dialogs.messages.isEmpty());
        const QStringList scaled = f.scaled();

        // Only Ti overflows: the Kp value before it stays as well.
        f.page.Edit_Reg_ScaleI->setText("1e308");
        f.dialogs.messages.clear();
        QTest::keyClick(f.page.Edit_Reg_ScaleI, Qt::Key_Return);
        QCOMPARE(f.dialogs.messages, QStringList{"Floating point overflow"});
        QCOMPARE(f.scaled(), scaled);

        // A factor below the smallest normal double scales to a defined 0.
        f.page.Edit_Reg_ScaleI->setText("1");
        f.page.Edit_Reg_ScaleD->setText("1e-320");
        f.dialogs.messages.clear();
        QTest::keyClick(f.page.Edit_Reg_ScaleD, Qt::Key_Return);
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.page.Edit_Reg_Kd->text(), QString("0.000"));
        QCOMPARE(f.page.Edit_Reg_Kp->text(), scaled[3]);

        // Sampling times at the limits of the doubles: the labels keep their
        // figures and the chart leaves out what overflows.
        for (const char* samplingTime : {"1e308", "1e-320"}) {
            f.page.Edit_Vzorcenje->setText(samplingTime);
            f.dialogs.messages.clear();
            QTest::keyClick(f.page.Edit_Vzorcenje, Qt::Key_Return);
            QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join('\n')));
            QVERIFY(!f.showsNonFinite());
        }
        f.page.Edit_Vzorcenje->setText("1");

        // Texts beyond the largest double are not numbers.
        f.page.Edit_Reg_ScaleP->setText("1e400");
        f.dialogs.messages.clear();
        QTest::keyClick(f.page.Edit_Reg_ScaleP, Qt::Key_Return);
        QCOMPARE(f.dialogs.messages, QStringList{"'1e400' is not a valid floating point value"});
        f.page.Edit_Reg_ScaleP->setText("1");

        // Models at the limits of the doubles: the tuning's error, or finite figures.
        const ModelParameters extremes[] = {
            {1e-320, 10.0, 1.0}, {1e308, 1e-320, 1.0}, {2.0, 1e308, 1e308}, {-1e308, 1.0, 1e-300}};
        for (const ModelParameters& model : extremes) {
            f.state.InnerModel = model;
            f.dialogs.messages.clear();
            f.calculatePid();
            for (const QString& message : f.dialogs.messages)
                QVERIFY2(message.startsWith("Floating point"), qPrintable(message));
            QVERIFY(!f.showsNonFinite());
        }

        // A non-linearity whose slope overflows has no gain to show.
        f.setUpTracking(1.0);
        f.state.OuterModel = {1.5, 20.0, 3.0};
        f.page.CheckBox_CascadeReg->setChecked(true);
        f.dialogs.messages.clear();
        f.calculatePid();
        QVERIFY(f.dialogs.messages.isEmpty());
        const QStringList cascade = f.scaled();
        ExperimentPage& experiment = *f.form.ExperimentPage_;
        const char* points[2][2] = {{"0", "-1e308"}, {"1", "1e308"}};
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 2; ++column)
                experiment.StringGrid_Sekvencer->setItem(row, column, new QTableWidgetItem(points[row][column]));
        experiment.CheckBox_Sekvencer->setChecked(true);
        f.form.DataPage_->Label_MinY1->setText("-1");
        f.form.DataPage_->Label_MaksY1->setText("1");
        f.page.ComboBox_Regulator->setCurrentIndex(0);
        QCOMPARE(f.dialogs.messages, QStringList{"Floating point overflow"});
        QCOMPARE(f.scaled(), cascade);
        QVERIFY(!f.showsNonFinite());
    }

    void theNonLinearityBetweenTheLoops() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Fixture f;
        f.state.InnerModel = {2.0, 10.0, 1.0};
        f.state.OuterModel = {1.5, 20.0, 3.0};
        f.state.Data.SamplingTime = 0.5;
        f.page.CheckBox_CascadeReg->setChecked(true);
        f.calculatePid();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.page.Label_LabOjacSekv->text(), QString("Maks. gain of NL:"));
        QCOMPARE(f.page.Label_OjacSekv->text(), QString("1,0000"));
        QVERIFY(f.page.Label_Kp_Cascade->text() != "0");
        const double outerKp = f.state.CascadeResult.KpPI * f.state.RobustnessFactor;
        QVERIFY(outerKp > 0.01);
        QCOMPARE(f.page.Edit_Reg_Kp->text(), QString::fromStdString(FormatFixed(outerKp, 15, 3, ',')));

        // Slopes 0.5, 2 and 1; the range of measurement 1 lies on the steepest.
        ExperimentPage& experiment = *f.form.ExperimentPage_;
        const char* points[4][2] = {{"0", "0"}, {"2", "1"}, {"3", "3"}, {"5", "5"}};
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 2; ++column)
                experiment.StringGrid_Sekvencer->setItem(row, column, new QTableWidgetItem(points[row][column]));
        experiment.CheckBox_Sekvencer->setChecked(true);
        f.form.DataPage_->Label_MinY1->setText("1,5");
        f.form.DataPage_->Label_MaksY1->setText("2,5");
        f.page.ComboBox_Regulator->setCurrentIndex(0);
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.page.Label_OjacSekv->text(), QString("2,0000"));
        QCOMPARE(f.page.Edit_Reg_Kp->text(), QString::fromStdString(FormatFixed(outerKp / 2.0, 15, 3, ',')));

        // A single loop has no element between loops.
        f.page.CheckBox_CascadeReg->setChecked(false);
        QCOMPARE(f.page.Label_LabOjacSekv->text(), QString());
        QCOMPARE(f.page.Label_OjacSekv->text(), QString());
    }

    // "Load to controller": every failure ends the command before the
    // controller is touched; success is one request with all three values.
    void loadToControllerWritesAllThreeOrNothing() {
        Fixture f;
        f.form.OpcPage_->SetItemId(SignalRole::InnerP, "P");
        f.form.OpcPage_->SetItemId(SignalRole::InnerI, "I");
        f.form.OpcPage_->SetItemId(SignalRole::InnerD, "D");
        f.plant.clock = &f.clock;
        f.plant.connected = true;
        using Write = FakePlantAccess::Write;
        const auto press = [&f](const char* kp, const char* ki, const char* kd) {
            f.page.Edit_Reg_Kp->setText(kp);
            f.page.Edit_Reg_Ki->setText(ki);
            f.page.Edit_Reg_Kd->setText(kd);
            f.dialogs.messages.clear();
            f.plant.writes.clear();
            f.plant.log.clear();
            f.plant.writeRequests = 0;
            f.page.Button16->click();
            return f.dialogs.messages.join("|");
        };

        QCOMPARE(press("1.5", "0.25", ""), QString());
        QCOMPARE(f.plant.writes, (std::vector<Write>{{"P", 1.5, false}, {"I", 0.25, false}, {"D", 0.0, false}}));
        QCOMPARE(f.plant.writeRequests, 1);

        // Texts are checked first: the last one failing leaves even the items alone.
        QCOMPARE(press("1.5", "0.25", "x"), QString("'x' is not a valid floating point value"));
        QVERIFY(f.plant.writes.empty());
        QVERIFY(f.plant.log.empty());
        QCOMPARE(press("1e999", "0.25", "1"), QString("'1e999' is not a valid floating point value"));
        QVERIFY(f.plant.writes.empty());

        // An item of bad quality: the bounded wait names it.
        f.plant.badQuality = {"I"};
        const std::int64_t before = f.clock.ticks();
        QCOMPARE(press("1.5", "0.25", "1"),
                 QString("The controller items could not be reached: the I term item 'I' reported no good value "
                         "within 3000 ms. Nothing was written."));
        QVERIFY(f.clock.ticks() - before <= 3000 + 2 * f.plant.millisecondsPerCheck);
        QVERIFY(f.plant.writes.empty());
        f.plant.badQuality.clear();

        // A write the server refuses: no item of the request is written.
        f.plant.refusedWrites = {{"D", "BadNotWritable"}};
        QCOMPARE(press("1.5", "0.25", "1"), QString("Cannot write Items:\nD: BadNotWritable"));
        QVERIFY(f.plant.writes.empty());
        QCOMPARE(f.plant.writeRequests, 0);
        f.plant.refusedWrites.clear();

        // The link lost while waiting, and no link at all.
        f.plant.duringQualityCheck = [&f] { f.plant.dropConnection(); };
        QCOMPARE(press("1.5", "0.25", "1"), QString("The controller items could not be reached: the connection to the "
                                                    "OPC server was lost. Nothing was written."));
        f.plant.duringQualityCheck = nullptr;
        QVERIFY(f.plant.writes.empty());
        QVERIFY(
            press("1.5", "0.25", "1")
                .startsWith("The controller items could not be reached: there is no connection to the OPC server."));
        QVERIFY(f.plant.writes.empty());
        QVERIFY(f.page.Button16->isEnabled());
    }

    // Out-of-date values are written only when the user confirms them, with
    // both sets of numbers in the question; "Restore previous parameters"
    // writes back what the controller held, all or nothing, and every item
    // written is a line of the write log.
    void outOfDateValuesAskAndAWriteCanBeRestored() {
        QTemporaryDir dir;
        Fixture f;
        WriteLog log(dir.filePath("writes.log").toStdString());
        f.state.Writes = &log;
        const std::pair<SignalRole, const char*> items[] = {{SignalRole::InnerP, "P"},
                                                            {SignalRole::InnerI, "I"},
                                                            {SignalRole::InnerD, "D"},
                                                            {SignalRole::InnerMA, "MA"}};
        for (const auto& [role, id] : items) f.form.OpcPage_->SetItemId(role, id);
        f.plant.clock = &f.clock;
        f.plant.connected = true;
        f.plant.values = {{"P", 0.7}, {"I", 0.1}, {"D", 0.0}, {"MA", 1.0}};
        f.setUpTracking();
        f.calculatePid();
        QVERIFY(!f.page.Button_RestoreParameters->isEnabled());
        f.page.ScrollBar_Robust->setValue(20);

        f.dialogs.confirmAnswers = {false, true};
        f.page.Button16->click();
        QVERIFY(f.plant.writes.empty());
        QVERIFY(!f.page.Button_RestoreParameters->isEnabled());
        QVERIFY(!QFile::exists(dir.filePath("writes.log")));
        f.page.Button16->click();
        QCOMPARE(f.plant.writes.at(0).value, 1.75);
        QVERIFY(f.page.Button_RestoreParameters->isEnabled());
        QCOMPARE(f.dialogs.questions.size(), 2);
        const QString question = f.dialogs.questions.at(0);
        QVERIFY2(question.contains("(changed: robustness)") &&
                     question.contains("in the boxes, which would be written:\n    P term: 1.750    I term: "),
                 qPrintable(question));
        f.page.izbiraTipaRegItems->button(3)->click();
        f.page.izbiraTipaRegItems->button(2)->click();
        QVERIFY2(question.contains("gains now shown:\n    P term: " + f.page.Edit_Reg_Kp->text() +
                                   "    I term: " + f.page.Edit_Reg_Ki->text()),
                 qPrintable(question));

        using Write = FakePlantAccess::Write;
        f.plant.writes.clear();
        f.page.Button_RestoreParameters->click();
        QCOMPARE(f.plant.writes,
                 (std::vector<Write>{{"P", 0.7, false}, {"I", 0.1, false}, {"D", 0.0, false}, {"MA", 1.0, false}}));
        QVERIFY(!f.page.Button_RestoreParameters->isEnabled());
        QVERIFY(f.dialogs.messages.isEmpty());

        // Typed values are written without a question; a restore the server
        // refuses in part writes nothing and stays possible.
        f.page.Edit_Reg_Kp->clear();
        QTest::keyClicks(f.page.Edit_Reg_Kp, "2");
        f.page.Button16->click();
        QCOMPARE(f.dialogs.questions.size(), 2);
        f.plant.refusedWrites = {{"MA", "BadNotWritable"}};
        f.plant.writes.clear();
        f.page.Button_RestoreParameters->click();
        QCOMPARE(f.dialogs.messages, QStringList{"Cannot write Items:\nMA: BadNotWritable"});
        QVERIFY(f.plant.writes.empty());
        QVERIFY(f.page.Button_RestoreParameters->isEnabled());
        // ... and never onto another server's controller.
        f.plant.Connect("opc.tcp://other:4840", {});
        f.page.Button_RestoreParameters->click();
        QVERIFY(
            f.dialogs.messages.last().endsWith("not from the server connected now (opc.tcp://other:4840). "
                                               "Nothing was written."));
        QVERIFY(f.plant.writes.empty());

        QFile file(dir.filePath("writes.log"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 3 + 4 + 3 + 4);
        QVERIFY(lines.at(1).endsWith("\tanonymous\tP\t0.7\t1.75\tok"));
        QVERIFY(lines.at(7).endsWith("\tanonymous\tMA\t1\t1\tok"));
        QVERIFY(lines.at(14).endsWith("\tanonymous\tMA\t1\t1\tBadNotWritable"));
    }

    void savingAndLoadingRestoreThePage() {
        QTemporaryDir dir;
        Fixture f;
        f.state.InnerModel = {1.2345678901234, 12.5, 2.0, 0.0, 0.05};
        f.state.OuterModel = {-0.8, 30.0, 4.0, 0.0, 0.1};
        f.state.Data.SamplingTime = 0.5;
        f.calculatePid();
        f.page.ComboBox1->setCurrentIndex(3);
        f.page.ScrollBar_Robust->setValue(14);
        f.page.motnjaItems->button(1)->click();
        f.page.ComboBox_Regulator->setCurrentIndex(3);
        f.page.izbiraTipaRegItems->button(3)->click();
        f.page.Edit_Reg_ScaleP->setText("0.5");
        f.page.Edit_Reg_ScaleI->setText("2");
        f.page.Edit_Reg_ScaleD->setText(" 1.5");
        f.page.Edit_Vzorcenje->setText("0.25");
        f.page.CheckBox_CascadeReg->setChecked(true);
        QVERIFY(f.dialogs.messages.isEmpty());

        f.dialogs.answer("");  // cancelled
        f.page.Button9->click();
        f.dialogs.answer(dir.filePath("loop"));
        f.page.Button9->click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.shown.at(1).name, QString("SaveDialog_Controller"));
        QVERIFY(QFile::exists(dir.filePath("loop.hvc")));

        Fixture g;
        g.dialogs.answer(dir.filePath("loop.hvc"));
        g.page.Button8->click();
        QVERIFY(g.dialogs.messages.isEmpty());
        QCOMPARE(g.dialogs.shown.at(0).name, QString("OpenDialog_Controller"));
        QCOMPARE(g.page.Edit_Vzorcenje->text(), QString("0.25"));
        QCOMPARE(g.page.ComboBox1->currentIndex(), 3);
        QCOMPARE(g.page.ScrollBar_Robust->value(), 14);
        QCOMPARE(g.page.motnjaItems->checkedId(), 1);
        QCOMPARE(g.page.ComboBox_Regulator->currentIndex(), 3);
        QCOMPARE(g.page.izbiraTipaRegItems->checkedId(), 3);
        QCOMPARE(g.page.Edit_Reg_ScaleD->text(), QString(" 1.5"));
        QVERIFY(g.page.CheckBox_CascadeReg->isChecked());
        QCOMPARE(g.state.InnerModel.Gain, 1.2345678901234);
        QCOMPARE(g.labels(), f.labels());
        QCOMPARE(g.scaled(), f.scaled());
        QCOMPARE(g.chart(), f.chart());

        // Setting the controls does not recalculate once per control: a file
        // with an unreadable sampling time fails once, at the end.
        QFile file(dir.filePath("loop.hvc"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll().replace("\r\n0.25\r\n", "\r\nx\r\n");
        file.close();
        QFile bad(dir.filePath("bad.hvc"));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(text) == text.size());
        bad.close();
        Fixture h;
        h.dialogs.answer(bad.fileName());
        h.page.Button8->click();
        QCOMPARE(h.dialogs.messages, QStringList{"'x' is not a valid floating point value"});
        QCOMPARE(h.page.ComboBox1->currentIndex(), 3);
    }
};

QTEST_MAIN(ControllerPageTest)
#include "tst_ControllerPage.moc"
