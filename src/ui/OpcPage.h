#pragma once
// The OPC page: the connection to the plant's server, and the table that
// assigns the server's items to the roles the rest of the program reads and
// writes (one row per role, see SignalRole.h), with the manual/automatic
// switching style of the two controllers.
#include <QWidget>
#include <array>
#include <string>

#include "opc/PlantAccess.h"
#include "ui/PageContext.h"
#include "ui/SignalRole.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace halvetra {

class OpcPage : public QWidget {
    Q_OBJECT
public:
    OpcPage(PageContext context, QWidget* parent = nullptr);
    ~OpcPage() override;

    // Connection.
    QComboBox* ComboBox2;             // "Select server: ", editable: an address may be typed
    QPushButton* PoveziOPCStreznik;   // "Connect"
    QPushButton* PrekiniOPCStreznik;  // "STOP"
    QLabel* Label54;                  // the server's state after "Status:"
    QComboBox* ComboBox_Security;     // None, Sign, Sign & encrypt
    QLineEdit* Edit_User;             // empty: anonymous
    QLineEdit* Edit_Password;

    // The item table and the radio button beside each role's row.
    QTableWidget* OPCTabela;                     // the signals' OPC items and descriptions
    std::array<QRadioButton*, 18> RadioButtons;  // RadioButton1 .. RadioButton18
    QButtonGroup* radioButtonItems;              // the 18 buttons, id = the row beside it
    QPushButton* IzberiAjtemKnof;                // "Choose"

    // Manual/automatic switching of the inner (4, 3) and outer (5, 4) controller:
    // items 0 "M/A", 1 "Manual + Automatic"; the value meaning manual "0" or "1".
    QGroupBox* RadioGroup4;  // inner controller's manual/automatic switching
    QButtonGroup* radioGroup4Items;
    QLabel* Label_ManualInner;  // "Manual:"
    QComboBox* ComboBox3;       // inner controller: the M/A item's value meaning manual
    QGroupBox* RadioGroup5;     // outer controller's manual/automatic switching
    QButtonGroup* radioGroup5Items;
    QLabel* Label_ManualOuter;  // "Manual:"
    QComboBox* ComboBox4;       // outer controller: the M/A item's value meaning manual

    QRadioButton* RadioButton(int number) const { return RadioButtons.at(number - 1); }

    // Start-up, step 2 of the main window's creation: the servers found,
    // the first one selected; none found leaves the list empty.
    void FillServerList();
    // Start-up, step 4: the M/A values select "0", and the group "SkupReg"
    // is created and kept as the main window's ControllerGroup.
    void SetUpControllerGroup();

    // The table by role: the item identifier (column 0) and description
    // (column 1), as typed; and the same for writing, as the settings do.
    std::string ItemId(SignalRole role) const;
    std::string Description(SignalRole role) const;
    void SetItemId(SignalRole role, const std::string& id);
    void SetDescription(SignalRole role, const std::string& text);
    // The text of any cell (row 0 .. 19, column 0 or 1).
    std::string CellText(int row, int column) const;

    // The server as the user named it: the text of the server box.
    std::string ServerName() const;
    // Security and identity chosen for the next connection.
    ConnectionOptions connectionOptions() const;

    // The row whose radio button is checked, -1 when none is.
    int CheckedRow() const;

    // The enabling rule of both M/A groups; the settings loader applies it
    // after it has set the groups.
    void ApplyControllerSwitching();

public slots:
    void PoveziOPCStreznikClick();   // "Connect"
    void PrekiniOPCStreznikClick();  // "STOP"
    void OPCTabelaSelectCell(int row, int column);
    void IzberiAjtemKnofClick();  // "Choose"
    void OPCTabelaDblClick();     // opens the item browser for the cell
    void RadioGroup4Click();      // the inner controller's switching changed
    void RadioGroup5Click();      // the outer controller's switching changed
    // The connection ended, whatever ended it.
    void dOPCServer1Disconnect();  // the server connection was lost

private:
    void connectToServer();
    void chooseItem();
    // The page's parts, one builder each, called in this order by the constructor.
    void buildConnectionControls();
    QHBoxLayout* buildServerRow();
    QHBoxLayout* buildSecurityRow();
    void buildItemTable();  // OPCTabela
    QWidget* createRadioColumn();
    QWidget* createSideColumn();
    QGroupBox* createSwitchingGroup(const char* name, QButtonGroup*& items, QLabel*& label, QComboBox*& value,
                                    const char* labelName, const char* comboName, QWidget* parent);
    void setCell(int row, int column, const std::string& text);
    int rowTop(int row) const;  // the y of a row's top edge in the table's coordinates
    void connectSignals();

    PageContext ctx_;
};

}  // namespace halvetra
