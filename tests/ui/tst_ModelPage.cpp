// The Model page: the number texts of the two profiles, the outer switch, "Use
// model", the sampling warning, the quality rating, the model file commands,
// and "Calculate model" of the Data page.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

#include "FakeDialogs.h"
#include "SeparatorRows.h"
#include "FakePlantAccess.h"
#include "app/TForm1.h"
#include "data/Errors.h"
#include "data/NumberText.h"
#include "experiment/Clock.h"
#include "model/ModelRefinement.h"
#include "model/ModelWorkflow.h"
#include "model/RefinedModelTexts.h"
#include "ui/Chart.h"
#include "ui/DataPage.h"
#include "ui/ModelPage.h"

using namespace halvetra;

namespace {

struct Fixture {
    FakeDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 5, 4), QTime(13, 14, 15))};
    FakePlantAccess plant;
    TForm1 form{dialogs, clock, plant};
    ModelPage& page = *form.ModelPage_;
    AppState& state = form.State;

    QString status() const { return form.StatusBar1->currentMessage(); }
    QStringList visibleImages() const {
        QStringList names;
        for (QLabel* image :
             {page.Image_Quality_Green, page.Image_Quality_Yellow, page.Image_Quality_Orange, page.Image_Quality_Red})
            if (!image->isHidden()) names << image->objectName();
        return names;
    }
    QStringList texts() const {
        return {page.Edit_Gain->text(),          page.Edit_Time->text(),      page.Edit_Delay->text(),
                page.Label_STD->text(),          page.Label_DGain->text(),    page.Label_DTime->text(),
                page.Label_Rel_Pogresek->text(), page.Label_Kvaliteta->text()};
    }

    // Two models that differ in every figure, over a window of ten samples
    // whose input steps to 1 at sample 3; the inner reference is 2 from
    // sample 4 on, as a gain of 2 without lag gives. Sampling time 0.1 s.
    void setUpModels() {
        state.Data.SamplingTime = 0.1;
        state.InnerModel = {1.23456789, 12.3456789, 3.0, 0.0123456789, 0.0345678912, 0.0456789, 0.789123};
        state.OuterModel = {-2.5, 40.125, 6.5, 0.5, 0.1, 0.25, 1.5};
        IdentificationWindow& w = state.Window;
        w.WindowLength = 10;
        for (int k = 1; k <= 10; ++k) {
            const auto i = static_cast<std::size_t>(k - 1);
            w.WindowTime[i] = 0.1 * (k - 1);
            w.WindowU[i] = k >= 3 ? 1.0 : 0.0;
            w.WindowY[i] = k >= 5 ? 4.0 : 0.0;
            w.InnerReference[i] = k >= 4 ? 2.0 : 0.0;
            w.OuterReference[i] = k >= 6 ? -10.0 : 0.0;
            w.InnerResponse[i] = w.InnerReference[i];
            w.OuterResponse[i] = w.OuterReference[i];
        }
    }
};

// The error text of ShowModelResults for the set, empty when it succeeds.
QString showFails(Fixture& f, ModelPage::Process set) {
    try {
        f.page.ShowModelResults(set, ModelPage::Profile::A);
    } catch (const FloatingPointError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

bool namesNonFinite(const QStringList& texts) {
    return texts.join(' ').contains(QRegularExpression("INF|NAN", QRegularExpression::CaseInsensitiveOption));
}

}  // namespace

class ModelPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void profilesWriteTheirDigits_data() { AddSeparatorRows(); }
    void profilesWriteTheirDigits() {
        const QChar separator = UseRowLocale();
        Fixture f;
        // Before any model: dashes for the figures and no "+-" behind the boxes.
        QCOMPARE(f.texts(), QStringList({"0", "0", "0", "\u2014", "\u2014", "\u2014", "\u2014", " "}));
        QVERIFY(f.page.Label_DGain->isHidden() && f.page.Label_DTime->isHidden());
        f.setUpModels();

        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        QVERIFY(!f.page.Label_DGain->isHidden());
        QCOMPARE(f.texts(),
                 withSeparator({"1.235", "12.35", "3.0", "0.01235", "0.046", "0.79", "0.03457", "Good"}, separator));
        QCOMPARE(f.visibleImages(), QStringList{"Image_Quality_Yellow"});
        QCOMPARE(f.page.LineSeries1->data()->size(), 10);
        QCOMPARE(f.page.Chart_Model->yAxis->range().upper, 2.2);

        // Fifteen digits against twelve: a gain with 13 integer digits.
        f.state.OuterModel.Gain = 1234567890123.456;
        f.page.ShowModelResults(ModelPage::Process::Outer, ModelPage::Profile::A);
        QCOMPARE(f.texts(),
                 withSeparator({"1234567890123.460", "40.13", "6.5", "0.50000", "0.250", "1.50", "0.10000", "Fair"},
                               separator));
        f.page.ShowModelResults(ModelPage::Process::Outer, ModelPage::Profile::B);
        QCOMPARE(f.page.Edit_Gain->text(), withSeparator({"1.23456789012E+12"}, separator).front());
        QCOMPARE(f.page.Label_STD->text(), withSeparator({"0.50000"}, separator).front());
        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::B);
        QCOMPARE(f.texts(),
                 withSeparator({"1.235", "12.35", "3.0", "0.0123", "0.046", "0.79", "0.0346", "Good"}, separator));

        // The rating's limits are strict; a relative error that is not a number is bad.
        f.state.InnerModel.RelativeError = 0.01;
        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        QCOMPARE(f.page.Label_Kvaliteta->text(), QString("Good"));
        QCOMPARE(f.visibleImages(), QStringList{"Image_Quality_Yellow"});
        // A figure that is not a number never becomes a text: the command ends
        // with the floating-point error and the page stays as it was. (The
        // rating itself still calls such an error "Bad".)
        const QStringList shown = f.texts();
        f.state.InnerModel.RelativeError = std::numeric_limits<double>::quiet_NaN();
        QCOMPARE(showFails(f, ModelPage::Process::Inner), QString("Invalid floating point operation"));
        f.state.InnerModel.RelativeError = 0.01;
        f.state.InnerModel.GainDeviation = -std::numeric_limits<double>::infinity();
        QCOMPARE(showFails(f, ModelPage::Process::Inner), QString("Floating point overflow"));
        QCOMPARE(f.texts(), shown);
        QCOMPARE(f.visibleImages(), QStringList{"Image_Quality_Yellow"});
    }

    void theOuterSwitchShowsTheOtherModelInProfileB() {
        Fixture f;
        f.setUpModels();
        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        const ModelParameters inner = f.state.InnerModel;
        const ModelParameters outer = f.state.OuterModel;

        f.page.CheckBox_Model_Outer->setChecked(true);
        QCOMPARE(f.texts(), (QStringList{"-2.500", "40.13", "6.5", "0.50000", "0.250", "1.50", "0.10000", "Fair"}));
        QCOMPARE(f.visibleImages(), QStringList{"Image_Quality_Orange"});
        QCOMPARE(f.page.LineSeries1->data()->at(9)->value, -10.0);
        QCOMPARE(f.status(), QString());
        QVERIFY(f.state.InnerModel == inner && f.state.OuterModel == outer);

        f.state.Data.SamplingTime = 1.0;
        f.state.InnerModel.TimeConstant = 0.2;  // round(3.2) = 3 <= 3 s: too sparse
        f.page.CheckBox_Model_Outer->setChecked(false);
        QCOMPARE(f.page.Label_STD->text(), QString("0.0123"));
        QCOMPARE(f.status(), QString("Opozorilo: Sampling rate is too low"));

        // While automatic settings are applied only the image goes.
        f.form.StatusBar1->showMessage("kept");
        const QStringList shown = f.texts();
        f.state.ApplyingAutomaticSettings = true;
        f.page.CheckBox_Model_Outer->setChecked(true);
        QVERIFY(f.visibleImages().isEmpty());
        QCOMPARE(f.texts(), shown);
        QCOMPARE(f.status(), QString("kept"));
        QCOMPARE(f.page.LineSeries1->data()->at(9)->value, 2.0);
    }

    void useModelRescoresTheShownSet() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Fixture f;
        f.setUpModels();
        f.state.Data.SamplingTime = 1.0;
        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        f.form.StatusBar1->showMessage("kept");

        f.page.Edit_Gain->setText("2");
        f.page.Edit_Time->setText("0");
        f.page.Edit_Delay->setText("0,0");
        f.page.Button5Click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.state.InnerModel.Gain, 2.0);
        QCOMPARE(f.page.Label_STD->text(), QString("0,0000"));
        QCOMPARE(f.page.Label_Rel_Pogresek->text(), QString("0,0000"));
        QCOMPARE(f.page.Label_Kvaliteta->text(), QString("Very good"));
        QCOMPARE(f.visibleImages(), QStringList{"Image_Quality_Green"});
        QCOMPARE(f.page.Label_DGain->text(), QString("0,046"));  // the deviations stay
        QCOMPARE(f.state.InnerModel.GainDeviation, 0.0456789);
        QCOMPARE(f.status(), QString("kept"));

        // Half the gain: errors of 1 on 7 of 10 samples.
        f.page.Edit_Gain->setText("1,0");
        f.page.Button5Click();
        QCOMPARE(f.page.Label_STD->text(), QString("0,4830"));
        QCOMPARE(f.page.Label_Rel_Pogresek->text(), QString("0,9129"));
        QCOMPARE(f.visibleImages(), QStringList{"Image_Quality_Red"});
        QCOMPARE(f.page.LineSeries2->data()->at(9)->value, 1.0);
        QCOMPARE(f.state.OuterModel.Gain, -2.5);  // only the shown set is edited

        // A text that is not a number ends the command after the figures before it.
        f.page.Edit_Gain->setText("3");
        f.page.Edit_Time->setText("x");
        f.page.Button5Click();
        QCOMPARE(f.dialogs.messages, QStringList{"'x' is not a valid floating point value"});
        QCOMPARE(f.state.InnerModel.Gain, 3.0);
        QCOMPARE(f.state.InnerModel.TimeConstant, 0.0);
        QCOMPARE(f.page.Label_STD->text(), QString("0,4830"));
        QVERIFY(f.visibleImages().isEmpty());
    }

    // The "Refined model" group: figures with the half-width of their
    // interval in the identified figures' decimals, the reason when the
    // identified model stays, and "Use refined model" as "Use model" with
    // the refined figures typed in full.
    void refinedModelIsShownAndUsed_data() { AddSeparatorRows(); }
    void refinedModelIsShownAndUsed() {
        const QChar separator = UseRowLocale();
        Fixture f;
        f.setUpModels();
        RefinedModel& inner = f.state.Refined.Inner;
        inner.Refined = inner.Converged = true;
        inner.Gain = 2.0;
        inner.TimeConstant = 0.25;
        inner.DeadTime = 0.23;  // 2.3 samples
        inner.GainCI95 = {1.996, 2.004};
        inner.TimeConstantCI95 = {0.2, 0.3};
        inner.DeadTimeCI95 = {0.13, 0.33};
        inner.FitPercent = 97.5;
        f.state.Refined.Outer = {};
        f.state.Refined.Outer.Gain = -2.5;
        f.state.Refined.Outer.Reason = "not better than the identified model";
        const QString pm = QString::fromUtf8(" \u00B1 ");

        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        QCOMPARE(
            (QStringList{f.page.Label_RefinedGain->text(), f.page.Label_RefinedTime->text(),
                         f.page.Label_RefinedDelay->text(), f.page.Label_RefinedFit->text()}),
            withSeparator({"2.000" + pm + "0.004", "0.25" + pm + "0.05", "0.230" + pm + "0.100", "97.50"}, separator));
        QVERIFY(f.page.Label_RefinedReason->isHidden());
        QVERIFY(f.page.Button_UseRefinedModel->isEnabled());
        QCOMPARE(f.page.LineSeries_Refined->data()->size(), 10);

        f.page.Button_UseRefinedModel->click();
        QVERIFY(f.dialogs.messages.isEmpty());
        const ModelParameters& used = f.state.InnerModel;
        QVERIFY(used.Gain == 2.0 && used.TimeConstant == 0.25 && used.DeadTime == 0.23);
        QCOMPARE(used.GainDeviation, 0.0456789);  // the deviations stay, as with "Use model"
        QCOMPARE((QStringList{f.page.Edit_Gain->text(), f.page.Edit_Time->text(), f.page.Edit_Delay->text()}),
                 withSeparator({"2.000", "0.25", "0.2"}, separator));
        // Scored as typed figures are: the response's dead time is rounded to
        // 2 samples, one after the reference's.
        ModelParameters typed = f.state.InnerModel;
        IdentificationWindow window = f.state.Window;
        UseModel(typed, window, false, 2.0, 0.25, 0.23, 0.1);
        QVERIFY(used == typed);
        QCOMPARE(f.page.Label_STD->text(), QString::fromStdString(FormatFixed(typed.Std, 12, 4, separator.toLatin1())));
        QCOMPARE(f.state.OuterModel.Gain, -2.5);

        // The outer set kept its identified model: the reason, no button, no curve.
        f.page.CheckBox_Model_Outer->setChecked(true);
        QCOMPARE(f.page.Label_RefinedReason->text(), QString("not better than the identified model"));
        QVERIFY(!f.page.Label_RefinedReason->isHidden());
        QVERIFY(!f.page.Button_UseRefinedModel->isEnabled());
        QCOMPARE(f.page.LineSeries_Refined->data()->size(), 0);
    }

    // Typed extremes, extreme data and figures that are not finite: the user
    // sees the error text, and no text, state or file takes an infinity or NaN.
    void extremeNumbersEndTheCommandBeforeAnythingChanges_data() {
        QTest::addColumn<QString>("gain");
        QTest::addColumn<QString>("timeConstant");
        QTest::addColumn<QString>("message");
        QTest::newRow("gain 1e308") << "1E308"
                                    << "0"
                                    << "Floating point overflow";
        QTest::newRow("gain -1e308, lag") << "-1e308"
                                          << "5"
                                          << "Floating point overflow";
        QTest::newRow("gain 1e200") << "1e200"
                                    << "0"
                                    << "Floating point overflow";
        QTest::newRow("gain beyond the largest double") << "1e400"
                                                        << "0"
                                                        << "'1e400' is not a valid floating point value";
        QTest::newRow("gain inf") << "inf"
                                  << "0"
                                  << "'inf' is not a valid floating point value";
        QTest::newRow("time constant nan") << "2"
                                           << "nan"
                                           << "'nan' is not a valid floating point value";
    }
    void extremeNumbersEndTheCommandBeforeAnythingChanges() {
        QFETCH(QString, gain);
        QFETCH(QString, timeConstant);
        QFETCH(QString, message);
        Fixture f;
        f.setUpModels();
        f.state.Data.SamplingTime = 1.0;
        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        const QStringList shown = f.texts();
        const ModelParameters inner = f.state.InnerModel;
        const std::vector<double> response = f.state.Window.InnerResponse;

        f.page.Edit_Gain->setText(gain);
        f.page.Edit_Time->setText(timeConstant);
        f.page.Edit_Delay->setText("0");
        f.page.Button5Click();
        QCOMPARE(f.dialogs.messages, QStringList{message});
        QCOMPARE(f.page.Label_STD->text(), shown[3]);
        QCOMPARE(f.page.Label_Rel_Pogresek->text(), shown[6]);
        QCOMPARE(f.state.Window.InnerResponse, response);
        QVERIFY(!namesNonFinite(
            {f.page.Label_STD->text(), f.page.Label_Rel_Pogresek->text(), f.page.Label_Kvaliteta->text()}));
        if (message.startsWith("Floating")) QVERIFY(f.state.InnerModel == inner);  // nor the typed figures
    }

    void extremeDataAndFiguresNeverReachTheTextsOrTheFile() {
        QTemporaryDir dir;
        Fixture f;
        f.setUpModels();
        f.page.ShowModelResults(ModelPage::Process::Inner, ModelPage::Profile::A);
        const QStringList shown = f.texts();
        const ModelParameters inner = f.state.InnerModel;
        const ModelParameters outer = f.state.OuterModel;
        const IdentificationWindow window = f.state.Window;

        // "Calculate model" over data that swings from -1e308 to 1e308.
        MeasuredData& data = f.state.Data;
        data.SamplingTime = 1.0;
        data.SampleCount = 40;
        for (int i = 1; i <= 40; ++i) {
            const auto k = static_cast<std::size_t>(i - 1);
            data.SampleTimes[k] = i - 1;
            data.ConditionedMV[k] = data.ConditionedU[k] = i >= 10 ? 1e308 : -1e308;
            data.ConditionedY[k] = data.ConditionedY2[k] = i >= 12 ? 1e308 : 0.0;
        }
        DataPage& dataPage = *f.form.DataPage_;
        {
            const QSignalBlocker a(dataPage.ScrollBar3), b(dataPage.ScrollBar4);
            dataPage.ScrollBar3->setValue(1);
            dataPage.ScrollBar4->setValue(40);
        }
        f.form.PageControl1->setCurrentIndex(TForm1::ObdTab);
        dataPage.Button_Izracun->click();
        QCOMPARE(f.dialogs.messages, QStringList{"Floating point overflow"});
        QCOMPARE(f.form.PageControl1->currentIndex(), int(TForm1::ObdTab));
        QVERIFY(f.state.InnerModel == inner && f.state.OuterModel == outer);
        QCOMPARE(f.state.Window.WindowLength, window.WindowLength);
        QCOMPARE(f.state.Window.WindowU, window.WindowU);
        QCOMPARE(f.texts(), shown);

        // "Save model" with a window value that is not finite writes no file.
        f.dialogs.messages.clear();
        f.state.Window.OuterResponse[3] = std::numeric_limits<double>::quiet_NaN();
        f.dialogs.answer(dir.filePath("refused.hvm"));
        f.page.Button7Click();
        QCOMPARE(f.dialogs.messages, QStringList{"Invalid floating point operation"});
        QVERIFY(!QFile::exists(dir.filePath("refused.hvm")));
    }

    void savesBeforeAnyIdentificationAndLoadsBack() {
        QTemporaryDir dir;
        Fixture f;
        f.state.Data.SamplingTime = 0.5;
        f.dialogs.answer("");  // cancelled: nothing happens
        f.page.Button7Click();
        f.dialogs.answer(dir.filePath("empty"));
        f.page.Button7Click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.shown.at(0).name, QString("SaveDialog_Model"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"empty.hvm"});

        QFile file(dir.filePath("empty.hvm"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromLatin1(file.readAll()).split("\r\n");
        if (lines.last().isEmpty()) lines.removeLast();
        QCOMPARE(lines.size(), 37);
        for (int line = 4; line <= 34; line += 2)
            QCOMPARE(lines[line - 1], QString(line == 10 || line == 26 ? "0.5" : "0"));
        QCOMPARE(lines[35], QString("0"));

        Fixture g;
        g.setUpModels();
        g.page.CheckBox_Model_Outer->setChecked(true);
        g.dialogs.answer(dir.filePath("empty.hvm"));
        g.page.Button6Click();
        QVERIFY(g.dialogs.messages.isEmpty());
        QCOMPARE(g.dialogs.shown.at(0).name, QString("OpenDialog_Model"));
        QVERIFY(g.state.InnerModel == ModelParameters{} && g.state.OuterModel == ModelParameters{});
        QCOMPARE(g.state.Data.SamplingTime, 0.5);
        QCOMPARE(g.state.Window.WindowLength, 0);
        QCOMPARE(g.texts(), (QStringList{"0.000", "0.00", "0.0", "0.00000", "0.000", "0.00", "0.00000", "Very good"}));
        QCOMPARE(g.status(), QString("Opozorilo: Vzorčenje je preredko"));
        QCOMPARE(g.form.PageControl1->currentIndex(), int(TForm1::EkspTab));
    }

    void calculateModelFromTheDataPage() {
        Fixture f;
        MeasuredData& data = f.state.Data;
        data.SamplingTime = 1.0;
        data.SampleCount = 60;
        for (int i = 1; i <= 60; ++i) {
            const auto k = static_cast<std::size_t>(i - 1);
            data.SampleTimes[k] = i - 1;
            data.ConditionedMV[k] = data.ConditionedU[k] = i >= 10 ? 1.0 : 0.0;
            data.ConditionedY[k] = i >= 10 ? 2.0 * (1.0 - std::exp(-(i - 10) / 2.0)) : 0.0;
            data.ConditionedY2[k] = i >= 12 ? -1.5 * data.ConditionedY[k - 2] : 0.0;
        }
        DataPage& dataPage = *f.form.DataPage_;
        {
            const QSignalBlocker a(dataPage.ScrollBar3), b(dataPage.ScrollBar4);
            dataPage.ScrollBar3->setValue(5);
            dataPage.ScrollBar4->setValue(54);
        }
        f.page.CheckBox_Model_Outer->setChecked(true);
        f.form.PageControl1->setCurrentIndex(TForm1::ObdTab);
        dataPage.Button_Izracun->click();

        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.form.PageControl1->currentIndex(), int(TForm1::ModTab));
        QCOMPARE(f.state.Window.WindowLength, 50);
        QCOMPARE(f.page.LineSeries1->data()->size(), 50);
        const ModelParameters& outer = f.state.OuterModel;
        QCOMPARE(f.page.Edit_Gain->text(), QString::fromStdString(FormatFixed(outer.Gain, 15, 3, '.')));
        // The refinement ran after the identification, from its figures, and
        // the group shows it.
        const RefinedModels refined =
            RefineModels(f.state.Window, data.SamplingTime, f.state.InnerModel, f.state.OuterModel);
        QCOMPARE(f.state.Refined.Outer.Gain, refined.Outer.Gain);
        QCOMPARE(f.state.Refined.Inner.DeadTime, refined.Inner.DeadTime);
        QCOMPARE(f.page.Label_RefinedGain->text(),
                 QString::fromStdString(FormatRefinedModel(refined.Outer, 15, '.').Gain));
        QVERIFY(f.state.InnerModel.Gain > 1.9 && outer.Gain < -1.4);
        // The inner model's dead time and time constant add up to about 3 s.
        QCOMPARE(f.status(), QString("Opozorilo: Vzorčenje je preredko"));

        // A window beyond the data arrays is refused and the page stays.
        f.form.PageControl1->setCurrentIndex(TForm1::ObdTab);
        {
            const QSignalBlocker b(dataPage.ScrollBar4);
            dataPage.ScrollBar4->setRange(2, 6000);
            dataPage.ScrollBar4->setValue(6000);
        }
        dataPage.Button_Izracun->click();
        QCOMPARE(f.dialogs.messages, QStringList{"List index out of bounds (6000)"});
        QCOMPARE(f.form.PageControl1->currentIndex(), int(TForm1::ObdTab));
    }

    // A level behind a flow: "Auto" chosen before "Calculate model" makes the
    // outer model integrating and the page says so; the user overrides it
    // both ways; the model file keeps the type and brings the choice back.
    void processTypeChoiceOnALevelRecord() {
        QTemporaryDir dir;
        Fixture f;
        MeasuredData& data = f.state.Data;
        data.SamplingTime = 1.0;
        data.SampleCount = 60;
        for (int i = 1; i <= 60; ++i) {
            const auto k = static_cast<std::size_t>(i - 1);
            data.SampleTimes[k] = i - 1;
            data.ConditionedMV[k] = data.ConditionedU[k] = i >= 10 && i < 30 ? 1.0 : 0.0;
            data.ConditionedY[k] =
                i > 1 ? data.ConditionedY[k - 1] + 0.4 * (2.0 * data.ConditionedU[k - 1] - data.ConditionedY[k - 1])
                      : 0.0;
            data.ConditionedY2[k] = i > 3 ? data.ConditionedY2[k - 1] + 0.05 * data.ConditionedY[k - 3] : 0.0;
        }
        DataPage& dataPage = *f.form.DataPage_;
        {
            const QSignalBlocker a(dataPage.ScrollBar3), b(dataPage.ScrollBar4);
            dataPage.ScrollBar3->setValue(5);
            dataPage.ScrollBar4->setValue(54);
        }
        f.page.CheckBox_Model_Outer->setChecked(true);
        const auto choose = [&](int index) {
            f.page.ComboBox_ProcessType->setCurrentIndex(index);
            emit f.page.ComboBox_ProcessType->activated(index);
        };
        choose(2);  // Auto, before any identification
        QVERIFY(f.dialogs.messages.isEmpty());
        dataPage.Button_Izracun->click();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.state.OuterModel.Type, ProcessType::Integrating);
        QCOMPARE(f.state.InnerModel.Type, ProcessType::SelfRegulating);
        QCOMPARE(f.page.ComboBox_ProcessType->currentText(), QString("Auto"));
        QCOMPARE(f.page.Label_ProcessType->text(), QString("Integrating"));
        QCOMPARE(f.page.Label_GainCaption->text(), QString("Slope gain [1/s]:"));
        QCOMPARE(f.page.Edit_Gain->text(), QString("0.050000"));
        QVERIFY(f.page.GroupBox_RefinedModel->isHidden());
        QCOMPARE(f.page.Label_Kvaliteta->text(), QString("Very good"));

        choose(0);  // Self-regulating: the identified model and its response come back
        QCOMPARE(f.state.OuterModel, f.state.SelfRegulatingOuter);
        QCOMPARE(f.page.Label_ProcessType->text(), QString("Self-regulating"));
        QCOMPARE(f.page.Label_GainCaption->text(), QString("Process gain:"));
        QVERIFY(!f.page.GroupBox_RefinedModel->isHidden());
        choose(1);
        QCOMPARE(f.state.OuterModel.Type, ProcessType::Integrating);
        QCOMPARE(f.page.Label_ProcessType->text(), QString("Integrating"));

        f.page.CheckBox_Model_Outer->setChecked(false);
        QCOMPARE(f.page.ComboBox_ProcessType->currentText(), QString("Self-regulating"));
        QCOMPARE(f.page.Label_ProcessType->text(), QString("Self-regulating"));

        f.dialogs.answer(dir.filePath("level.hvm"));
        f.page.Button7Click();
        Fixture g;
        g.dialogs.answer(dir.filePath("level.hvm"));
        g.page.CheckBox_Model_Outer->setChecked(true);
        g.page.Button6Click();
        QVERIFY(g.dialogs.messages.isEmpty());
        QCOMPARE(g.page.ComboBox_ProcessType->currentText(), QString("Integrating"));
        QCOMPARE(g.state.OuterModel.Gain, f.state.OuterModel.Gain);
        // No self-regulating model of the loaded level is known.
        g.page.ComboBox_ProcessType->setCurrentIndex(0);
        emit g.page.ComboBox_ProcessType->activated(0);
        QCOMPARE(g.dialogs.messages,
                 QStringList{"No self-regulating model of the outer process is known: calculate the model"});
        QCOMPARE(g.page.ComboBox_ProcessType->currentText(), QString("Integrating"));
    }
};

QTEST_MAIN(ModelPageTest)
#include "tst_ModelPage.moc"
