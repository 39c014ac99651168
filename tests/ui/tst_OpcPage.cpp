// The OPC page: start-up, connecting and disconnecting, the item table with
// its radio buttons and the item browser, manual/automatic switching; the
// item browser dialog; and "Load to controller" of the Controller page,
// which writes through the items of the table.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include "FakeDialogs.h"
#include "SeparatorRows.h"
#include "FakePlantAccess.h"
#include "app/TForm1.h"
#include "ui/ControllerPage.h"
#include "ui/ItemBrowserDialog.h"
#include "ui/ModelPage.h"
#include "ui/OpcPage.h"

using namespace halvetra;
using Write = FakePlantAccess::Write;

namespace {

struct Fixture {
    explicit Fixture(std::vector<std::string> servers = {"opc.tcp://plant-a:4840", "opc.tcp://plant-b:48401"}) {
        plant.servers = std::move(servers);  // start-up reads them
        form = std::make_unique<TForm1>(dialogs, clock, plant);
        page = form->OpcPage_;
    }
    FakeDialogs dialogs;
    ManualClock clock{QDateTime(QDate(2026, 5, 4), QTime(13, 14, 15))};
    FakePlantAccess plant;
    std::unique_ptr<TForm1> form;
    OpcPage* page;

    void connect(const std::string& state = "running") {
        plant.state = state;
        page->PoveziOPCStreznik->click();
    }
    void show() {
        form->PageControl1->setCurrentIndex(TForm1::OPCTab);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    QPoint centre(int row, int column) const {
        return page->OPCTabela->visualRect(page->OPCTabela->model()->index(row, column)).center();
    }
    // As the window system delivers one: a click, then the double click.
    void doubleClick(int row, int column) {
        QTest::mouseClick(page->OPCTabela->viewport(), Qt::LeftButton, {}, centre(row, column));
        QTest::mouseDClick(page->OPCTabela->viewport(), Qt::LeftButton, {}, centre(row, column));
    }
    QString cell(int row, int column) const { return page->OPCTabela->item(row, column)->text(); }
    void assignInnerTerms() {
        page->SetItemId(SignalRole::InnerP, "P");
        page->SetItemId(SignalRole::InnerI, "I");
        page->SetItemId(SignalRole::InnerD, "D");
        plant.clock = &clock;
    }
};

}  // namespace

class OpcPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void startUp() {
        Fixture f;
        OpcPage& page = *f.page;
        QCOMPARE(page.ComboBox2->count(), 2);
        QCOMPARE(page.ComboBox2->currentIndex(), 0);
        QCOMPARE(page.ComboBox2->currentText(), QString("opc.tcp://plant-a:4840"));
        QCOMPARE(page.Label54->text(), QString());
        QVERIFY(page.PoveziOPCStreznik->isEnabled());
        QVERIFY(f.dialogs.messages.isEmpty());
        // The controller group exists from start-up on, connected or not.
        QVERIFY(f.plant.group("SkupReg"));
        QCOMPARE(static_cast<const PlantGroup*>(f.form->State.ControllerGroup), f.plant.group("SkupReg"));

        for (QButtonGroup* items : {page.radioGroup4Items, page.radioGroup5Items}) QCOMPARE(items->checkedId(), 1);
        for (QComboBox* box : {page.ComboBox3, page.ComboBox4}) {
            QCOMPARE(box->currentText(), QString("0"));
            QCOMPARE(box->itemText(1), QString("1"));
        }
        const QStringList captions = {"Manip. signal 1:", "Manip. signal 2:",
                                      "Process input 1:", "Process input 2:",
                                      "Measurement 1:",   "Measurement 2:",
                                      "P term",           "I term",
                                      "D term",           "M/A",
                                      "Manual",           "Automatic",
                                      "P term",           "I term",
                                      "D term",           "M/A",
                                      "Manual",           "Automatic"};
        for (int n = 1; n <= 18; ++n) {
            auto* button = page.findChild<QRadioButton*>(QStringLiteral("RadioButton%1").arg(n));
            QCOMPARE(button->text(), captions[n - 1]);
            QCOMPARE(button->isEnabled(), n != 2 && n != 4 && n != 10 && n != 16);
        }
        for (QWidget* w : {static_cast<QWidget*>(page.Label_ManualInner), static_cast<QWidget*>(page.ComboBox4)})
            QVERIFY(!w->isEnabled());

        // No server found: start-up goes on, and Connect says what is missing.
        Fixture none(std::vector<std::string>{});
        QCOMPARE(none.page->ComboBox2->count(), 0);
        QVERIFY(none.plant.group("SkupReg"));
        none.connect();
        QVERIFY(none.dialogs.messages.value(0).startsWith("No OPC server selected"));
        QVERIFY(none.plant.connects.empty());
    }

    void tableShapeAndRoles() {
        Fixture f;
        f.show();
        QTableWidget* table = f.page->OPCTabela;
        QCOMPARE(table->rowCount(), 20);
        QCOMPARE(table->columnCount(), 2);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QString("OPC point"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QString("Description"));
        QCOMPARE(table->columnWidth(1), 250);
        QCOMPARE(table->rowHeight(19), 19);
        QCOMPARE(f.cell(6, 0), QString("Controller parameters"));
        QCOMPARE(f.cell(13, 0), QString("Outside loop controller"));
        QVERIFY(!(table->item(6, 0)->flags() & Qt::ItemIsEditable));
        QVERIFY(table->item(19, 1)->flags() & Qt::ItemIsEditable);
        // Every button sits level with its own row, and every row is visible.
        for (int n = 1; n <= 18; ++n) {
            QRadioButton* button = f.page->RadioButton(n);
            const QPoint c = table->viewport()->mapFrom(f.page, button->mapTo(f.page, button->rect().center()));
            QCOMPARE(table->rowAt(c.y()), RadioButtonRow(n));
            QCOMPARE(RadioButtonNumber(RadioButtonRow(n)), n);
        }
        QVERIFY(table->viewport()->rect().contains(f.centre(19, 1)));

        // Read and written by role, as typed.
        table->item(14, 0)->setText(" ns=2;i=1001 ");
        QCOMPARE(f.page->ItemId(SignalRole::OuterP), std::string(" ns=2;i=1001 "));
        f.page->SetDescription(SignalRole::Y2, "outer level");
        QCOMPARE(f.cell(5, 1), QString("outer level"));
        QCOMPARE(f.page->Description(SignalRole::Y2), std::string("outer level"));
    }

    void connectShowsTheState_data() {
        QTest::addColumn<QString>("state");
        for (const char* state : {"running", "failed", "no config", "suspended", "test", ""})
            QTest::newRow(*state ? state : "unknown") << QString(state);
    }
    void connectShowsTheState() {
        QFETCH(QString, state);
        Fixture f;
        f.connect(state.toStdString());
        QCOMPARE(f.plant.connects, std::vector<std::string>{"opc.tcp://plant-a:4840"});
        QCOMPARE(f.page->Label54->text(), state);
        QCOMPARE(f.page->PoveziOPCStreznik->isEnabled(), state != "running");
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void connectTakesATypedAddressAndTheSecurity() {
        Fixture f;
        OpcPage& page = *f.page;
        page.ComboBox2->setCurrentIndex(1);
        f.connect("test");
        QCOMPARE(f.plant.connects.back(), std::string("opc.tcp://plant-b:48401"));
        QCOMPARE(f.plant.lastOptions.Mode, ConnectionOptions::Security::None);

        page.ComboBox2->setEditText(" opc.tcp://127.0.0.1:4840 ");
        page.ComboBox_Security->setCurrentIndex(2);
        page.Edit_User->setText("operator");
        page.Edit_Password->setText("s3cret");
        f.connect("test");
        QCOMPARE(f.plant.connects.back(), std::string("opc.tcp://127.0.0.1:4840"));
        QCOMPARE(f.plant.lastOptions.Mode, ConnectionOptions::Security::SignAndEncrypt);
        QCOMPARE(f.plant.lastOptions.User + "/" + f.plant.lastOptions.Password, std::string("operator/s3cret"));
        QCOMPARE(page.ComboBox2->findText("opc.tcp://127.0.0.1:4840"), 2);  // offered from now on
    }

    void failingConnectStopAndDisconnection() {
        Fixture f;
        OpcPage& page = *f.page;
        // A failing connect keeps the status and Connect enabled.
        page.Label54->setText("stopped");
        f.plant.connectError = "Cannot connect to opc.tcp://plant-a:4840: BadConnectionRejected";
        f.connect();
        QCOMPARE(f.dialogs.messages, QStringList{"Cannot connect to opc.tcp://plant-a:4840: BadConnectionRejected"});
        QCOMPARE(page.Label54->text(), QString("stopped"));
        QVERIFY(page.PoveziOPCStreznik->isEnabled());

        // STOP without a connection only enables Connect.
        page.Label54->setText("test");
        page.PoveziOPCStreznik->setEnabled(false);
        page.PrekiniOPCStreznik->click();
        QVERIFY(page.PoveziOPCStreznik->isEnabled());
        QCOMPARE(page.Label54->text(), QString("test"));

        f.plant.connectError.clear();
        f.connect();
        page.PrekiniOPCStreznik->click();
        QVERIFY(!f.plant.connected);
        QCOMPARE(page.Label54->text(), QString("stopped"));
        QVERIFY(page.PoveziOPCStreznik->isEnabled());

        // The server ends the connection: stopped, and the user may connect again.
        f.connect();
        QVERIFY(!page.PoveziOPCStreznik->isEnabled());
        f.plant.dropConnection();
        QCOMPARE(page.Label54->text(), QString("stopped"));
        QVERIFY(page.PoveziOPCStreznik->isEnabled());

        // Certificates are asked through the dialogs; the callbacks end with the window.
        f.dialogs.trust = CertificateTrust::AcceptOnce;
        QCOMPARE(f.plant.TrustServerCertificate({"opc.tcp://plant-a:4840", "CN=plant", "AB:CD", {}}),
                 CertificateTrust::AcceptOnce);
        f.connect();
        f.form.reset();
        QVERIFY(!f.plant.Disconnected && !f.plant.TrustServerCertificate);
        f.plant.Disconnect();
    }

    void cellsButtonsAndChoose() {
        Fixture f;
        OpcPage& page = *f.page;
        int expected = 0;
        for (int row = 19; row >= 0; --row) {
            page.OPCTabela->setCurrentCell(row, row % 2);
            if (row != 1 && row != 3 && row != 6 && row != 13) expected = row;
            QCOMPARE(page.CheckedRow(), expected);
        }
        QCOMPARE(page.OPCTabela->currentRow(), 0);  // the selection itself always moves

        // Without a connection no browser opens.
        page.OPCTabela->setCurrentCell(4, 1);
        page.IzberiAjtemKnof->click();
        QCOMPARE(f.dialogs.browsed, 0);

        f.connect();
        page.OPCTabela->item(4, 1)->setText("Level");
        f.dialogs.itemAnswers = {{"ns=1;s=Loop.Y1", "ns=1;s=Loop.Y2"}, {}};
        page.IzberiAjtemKnof->click();
        QCOMPARE(f.cell(4, 0), QString("ns=1;s=Loop.Y1"));
        QCOMPARE(f.cell(4, 1), QString("Level"));
        page.IzberiAjtemKnof->click();  // cancelled
        QCOMPARE(f.dialogs.browsed, 2);
        QCOMPARE(f.cell(4, 0), QString("ns=1;s=Loop.Y1"));
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void doubleClickBrowsesInsteadOfEditing() {
        Fixture f;
        f.show();
        f.doubleClick(8, 0);  // not connected
        QCOMPARE(f.dialogs.browsed, 0);
        QCOMPARE(f.page->CheckedRow(), 8);

        f.connect();
        f.dialogs.itemAnswers = {{"ns=1;s=Inner.I"}};
        f.doubleClick(8, 1);
        QCOMPARE(f.dialogs.browsed, 1);
        QCOMPARE(f.cell(8, 0), QString("ns=1;s=Inner.I"));
        for (const QLineEdit* editor : f.page->OPCTabela->viewport()->findChildren<QLineEdit*>())
            QVERIFY(!editor->isVisible());
    }

    void switchingStyleEnablesItsControls() {
        Fixture f;
        OpcPage& page = *f.page;
        const auto states = [&page](int ma, QLabel* label, QComboBox* value) {
            return QList<bool>{page.RadioButton(ma)->isEnabled(), label->isEnabled(), value->isEnabled(),
                               page.RadioButton(ma + 1)->isEnabled(), page.RadioButton(ma + 2)->isEnabled()};
        };
        const QList<bool> single = {true, true, true, false, false};
        const QList<bool> separate = {false, false, false, true, true};
        page.radioGroup4Items->button(0)->click();
        QCOMPARE(states(10, page.Label_ManualInner, page.ComboBox3), single);
        QCOMPARE(states(16, page.Label_ManualOuter, page.ComboBox4), separate);
        page.radioGroup5Items->button(0)->click();
        page.radioGroup4Items->button(1)->click();
        QCOMPARE(states(10, page.Label_ManualInner, page.ComboBox3), separate);
        QCOMPARE(states(16, page.Label_ManualOuter, page.ComboBox4), single);
        {
            const QSignalBlocker quiet(page.radioGroup5Items);  // set as loaded settings set it
            page.radioGroup5Items->button(1)->setChecked(true);
        }
        page.ApplyControllerSwitching();
        QCOMPARE(states(16, page.Label_ManualOuter, page.ComboBox4), separate);
    }

    void itemBrowserReadsLevelByLevel() {
        FakePlantAccess plant;
        const auto node = [](std::string id, std::string name, bool variable, bool writable = false) {
            return BrowseNode{id, name, variable ? "Variable" : "Object", variable, writable, !variable};
        };
        plant.addressSpace = {
            {"", {node("ns=1;s=Loop", "Loop", false)}},
            {"ns=1;s=Loop", {node("ns=1;s=Loop.Y1", "Y1", true), node("ns=1;s=Loop.MV1", "MV1", true, true)}}};
        ItemBrowserDialog dialog(plant);
        QVERIFY_THROWS_EXCEPTION(PlantAccessError, dialog.loadRoot());  // not connected
        plant.connected = true;
        dialog.loadRoot();
        QTreeWidgetItem* loop = dialog.findItem("ns=1;s=Loop");
        QCOMPARE(loop->childCount(), 0);  // not read until opened
        plant.connected = false;
        loop->setExpanded(true);  // fails: shown, and tried again next time
        QCOMPARE(dialog.Message->text(), QString("Not connected"));
        plant.connected = true;
        loop->setExpanded(true);
        loop->setExpanded(false);
        loop->setExpanded(true);
        QCOMPARE(plant.browsed, (std::vector<std::string>{"", "ns=1;s=Loop"}));
        QTreeWidgetItem* y1 = dialog.findItem("ns=1;s=Loop.Y1");
        QTreeWidgetItem* mv1 = dialog.findItem("ns=1;s=Loop.MV1");
        QCOMPARE(mv1->text(ItemBrowserDialog::AccessColumn), QString("Readable, Writable"));
        QVERIFY(!(loop->flags() & Qt::ItemIsSelectable));

        QVERIFY(!dialog.OpenButton->isEnabled());
        y1->setSelected(true);
        dialog.Tree->setCurrentItem(mv1, 0, QItemSelectionModel::Select);
        QCOMPARE(dialog.selectedItemIds(), (std::vector<std::string>{"ns=1;s=Loop.MV1", "ns=1;s=Loop.Y1"}));
        QVERIFY(dialog.OpenButton->isEnabled());
        dialog.Writable->setChecked(true);
        QVERIFY(y1->isHidden() && !loop->isHidden());
        dialog.Writable->setChecked(false);
        dialog.Filter->setText("y*");
        QVERIFY(!y1->isHidden() && mv1->isHidden());
        QCOMPARE(dialog.selectedItemIds(), std::vector<std::string>{});
    }

    // --- Load to controller ---

    void loadToControllerWritesTheShownValues_data() { AddSeparatorRows(); }
    void loadToControllerWritesTheShownValues() {
        const QChar separator = UseRowLocale();
        Fixture f;
        ControllerPage& controller = *f.form->ControllerPage_;
        f.assignInnerTerms();
        f.connect();
        // Chien-Hrones-Reswick tracking on K = 2, T = 10, L = 1.
        f.form->State.InnerModel = {2.0, 10.0, 1.0};
        f.form->State.Data.SamplingTime = 0.5;
        {
            const QSignalBlocker quiet(controller.ComboBox1);
            controller.ComboBox1->setCurrentIndex(2);
        }
        f.form->ModelPage_->Button_PID->click();

        const auto press = [&](int type) {
            controller.izbiraTipaRegItems->button(type)->click();
            f.plant.writes.clear();
            f.plant.log.clear();
            controller.Button16->click();
            return f.plant.writes;
        };
        // One request of three doubles; an empty edit is 0.
        QCOMPARE(press(0), (std::vector<Write>{{"P", 1.75, false}, {"I", 0, false}, {"D", 0, false}}));
        QCOMPARE(f.plant.writeRequests, 1);
        QCOMPARE(f.plant.log,
                 (std::vector<std::string>{"clear SkupReg", "add SkupReg P", "add SkupReg I", "add SkupReg D"}));
        QCOMPARE(press(1), (std::vector<Write>{{"P", 0, false}, {"I", 0.145833, false}, {"D", 0, false}}));
        QCOMPARE(press(2), (std::vector<Write>{{"P", 1.75, false}, {"I", 0.145833, false}, {"D", 0, false}}));
        QCOMPARE(f.form->State.ControllerGroup->Items.size(), std::size_t(3));  // replaced, not added

        controller.Edit_Reg_Kp->setText(QString("2") + separator + "5E-1");  // typed over
        f.plant.writes.clear();
        controller.Button16->click();
        QCOMPARE(f.plant.writes.front(), (Write{"P", 0.25, false}));
        QVERIFY(f.dialogs.messages.isEmpty());

        // A text that is not a number ends the command before anything is written.
        controller.Edit_Reg_Ki->setText(QString("1") + (separator == '.' ? ',' : '.') + "5");
        f.plant.writes.clear();
        controller.Button16->click();
        QCOMPARE(f.dialogs.messages,
                 QStringList{"'" + controller.Edit_Reg_Ki->text() + "' is not a valid floating point value"});
        QVERIFY(f.plant.writes.empty());
    }

    void loadToControllerWaitsForAGoodValueButNotForever() {
        Fixture f;
        ControllerPage& controller = *f.form->ControllerPage_;
        f.assignInnerTerms();
        controller.Edit_Reg_Kp->setText("1.5");

        // Without a connection nothing is written, at once.
        controller.Button16->click();
        QVERIFY(f.dialogs.messages.takeFirst().startsWith("The controller items could not be reached"));
        QCOMPARE(f.plant.qualityChecks, 0);

        f.connect();
        f.plant.millisecondsPerCheck = 250;
        f.plant.badChecksBeforeGood = 4;
        controller.Button16->click();
        QCOMPARE(f.plant.qualityChecks, 7);  // P four times bad, then each term good once
        QCOMPARE(f.plant.writes.size(), std::size_t(3));

        // Never good: the wait gives up once 3000 ms have passed, and nothing is written.
        f.plant.writes.clear();
        f.plant.badChecksBeforeGood = 1000;
        const std::int64_t start = f.clock.ticks();
        QElapsedTimer real;
        real.start();
        controller.Button16->click();
        QVERIFY(real.elapsed() < 2000);           // time passes on the test's clock
        QCOMPARE(f.clock.ticks() - start, 3250);  // the check after 3000 ms was the last
        QVERIFY(f.plant.writes.empty());
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages.takeFirst().startsWith("The controller items could not be reached"));
        QVERIFY(controller.Button16->isEnabled());

        // A press during the wait is not a second command; a refused item ends the command.
        f.plant.log.clear();
        f.plant.badChecksBeforeGood = 2;
        f.plant.duringQualityCheck = [&controller] { controller.Button16Click(); };
        controller.Button16->click();
        QCOMPARE(f.plant.log.size(), std::size_t(4));
        QCOMPARE(f.plant.writes.size(), std::size_t(3));
        f.plant.rejected = {"I"};
        controller.Button16->click();
        QVERIFY(f.dialogs.messages.value(0).startsWith("OPC Command:"));
        QCOMPARE(f.plant.writes.size(), std::size_t(3));
    }
};

QTEST_MAIN(OpcPageTest)
#include "tst_OpcPage.moc"
