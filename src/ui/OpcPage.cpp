#include "ui/OpcPage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "opc/PlantAccessError.h"
#include "ui/AppState.h"
#include "ui/Command.h"
#include "ui/Dialogs.h"

namespace halvetra {

namespace {

constexpr int ColumnWidth = 250;
constexpr int RowHeight = 19;
constexpr int HeaderHeight = 21;
constexpr int RadioColumnWidth = 130;

constexpr const char* ControllerGroupName = "SkupReg";

// Caption and enabled state at start of the radio buttons, in row order.
struct RoleButton {
    const char* caption;
    bool enabled;
    const char* tip;  // what an abbreviated caption stands for
};
constexpr std::array<RoleButton, 18> RoleButtons = {{
    {"Manip. signal 1:", true, "Manipulated signal 1 (MV1): the value the experiment writes"},
    {"Manip. signal 2:", false, "Manipulated signal 2 (MV2)"},
    {"Process input 1:", true, "Process input 1 (U1): the actuator's measured position"},
    {"Process input 2:", false, "Process input 2 (U2)"},
    {"Measurement 1:", true, "Measurement 1 (Y1): the inner loop's process output"},
    {"Measurement 2:", true, "Measurement 2 (Y2): the outer loop's process output"},
    {"P term", true, "Proportional term of the inner controller"},
    {"I term", true, "Integral term of the inner controller"},
    {"D term", true, "Derivative term of the inner controller"},
    {"M/A", false, "Manual/automatic (M/A) item of the inner controller"},
    {"Manual", true, "Command item that switches the inner controller to manual"},
    {"Automatic", true, "Command item that switches the inner controller to automatic"},
    {"P term", true, "Proportional term of the outer controller"},
    {"I term", true, "Integral term of the outer controller"},
    {"D term", true, "Derivative term of the outer controller"},
    {"M/A", false, "Manual/automatic (M/A) item of the outer controller"},
    {"Manual", true, "Command item that switches the outer controller to manual"},
    {"Automatic", true, "Command item that switches the outer controller to automatic"},
}};

// Rows whose selection checks no radio button: the roles that are only stored
// (manipulated signal 2, process input 2) and the two headings.
bool selectionChecksNothing(int row) {
    return row == SignalRow(SignalRole::MV2) || row == SignalRow(SignalRole::U2) || !IsSignalRow(row);
}

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

enum SwitchingItem { SingleMAItem = 0, ManualAndAutomaticItems = 1 };

}  // namespace

OpcPage::OpcPage(PageContext context, QWidget* parent) : QWidget(parent), ctx_(std::move(context)) {
    buildConnectionControls();
    QHBoxLayout* serverRow = buildServerRow();
    QHBoxLayout* securityRow = buildSecurityRow();
    buildItemTable();

    QWidget* radioColumn = createRadioColumn();
    QWidget* sideColumn = createSideColumn();

    auto* tableRow = new QHBoxLayout;
    tableRow->setSpacing(6);
    tableRow->addWidget(radioColumn, 0, Qt::AlignTop);
    tableRow->addWidget(OPCTabela, 2, Qt::AlignTop);
    tableRow->addWidget(sideColumn, 0, Qt::AlignTop);
    tableRow->addStretch(1);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 10, 10, 10);
    page->setSpacing(8);
    page->addLayout(serverRow);
    page->addLayout(securityRow);
    page->addSpacing(6);
    page->addLayout(tableRow);
    page->addStretch(1);

    ApplyControllerSwitching();
    connectSignals();
}

// The server's address, the connect and stop buttons, the status, and the
// security, user and password of the connection.
void OpcPage::buildConnectionControls() {
    ComboBox2 = named(new QComboBox(this), "ComboBox2");
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->setMinimumWidth(320);
    ComboBox2->lineEdit()->setPlaceholderText(QStringLiteral("opc.tcp://host:port"));
    PoveziOPCStreznik = named(new QPushButton(QStringLiteral("&Connect"), this), "PoveziOPCStreznik");
    PrekiniOPCStreznik = named(new QPushButton(QStringLiteral("S&TOP"), this), "PrekiniOPCStreznik");
    Label54 = named(new QLabel(this), "Label54");
    Label54->setMinimumWidth(90);
    QFont bold = font();
    bold.setBold(true);
    Label54->setFont(bold);

    ComboBox_Security = named(new QComboBox(this), "ComboBox_Security");
    ComboBox_Security->addItems({QStringLiteral("None"), QStringLiteral("Sign"), QStringLiteral("Sign & encrypt")});
    ComboBox_Security->setCurrentIndex(0);
    Edit_User = named(new QLineEdit(this), "Edit_User");
    Edit_User->setPlaceholderText(QStringLiteral("anonymous"));
    Edit_User->setFixedWidth(140);
    Edit_Password = named(new QLineEdit(this), "Edit_Password");
    Edit_Password->setEchoMode(QLineEdit::Password);
    Edit_Password->setFixedWidth(140);
}

// "Select server:" with the address, the buttons and the status.
QHBoxLayout* OpcPage::buildServerRow() {
    auto* serverRow = new QHBoxLayout;
    serverRow->setSpacing(6);
    serverRow->addWidget(new QLabel(QStringLiteral("Select server: "), this));
    serverRow->addWidget(ComboBox2, 1);
    serverRow->addWidget(PoveziOPCStreznik);
    serverRow->addWidget(PrekiniOPCStreznik);
    serverRow->addSpacing(12);
    serverRow->addWidget(new QLabel(QStringLiteral("Status:"), this));
    serverRow->addWidget(Label54);
    return serverRow;
}

// "Security:", "User:" and "Password:".
QHBoxLayout* OpcPage::buildSecurityRow() {
    auto* securityRow = new QHBoxLayout;
    securityRow->setSpacing(6);
    securityRow->addWidget(new QLabel(QStringLiteral("Security:"), this));
    securityRow->addWidget(ComboBox_Security);
    securityRow->addSpacing(12);
    securityRow->addWidget(new QLabel(QStringLiteral("User:"), this));
    securityRow->addWidget(Edit_User);
    securityRow->addWidget(new QLabel(QStringLiteral("Password:"), this));
    securityRow->addWidget(Edit_Password);
    securityRow->addStretch(1);
    return securityRow;
}

// The table of the signals' OPC items and descriptions, with the headings of
// the controllers' rows.
void OpcPage::buildItemTable() {
    QFont bold = font();
    bold.setBold(true);
    OPCTabela = named(new QTableWidget(SignalTableRows, 2, this), "OPCTabela");
    OPCTabela->setHorizontalHeaderLabels({QStringLiteral("OPC point"), QStringLiteral("Description")});
    OPCTabela->verticalHeader()->hide();
    OPCTabela->verticalHeader()->setMinimumSectionSize(1);
    OPCTabela->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    OPCTabela->verticalHeader()->setDefaultSectionSize(RowHeight);
    OPCTabela->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    OPCTabela->horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    OPCTabela->horizontalHeader()->setFixedHeight(HeaderHeight);
    OPCTabela->horizontalHeader()->setHighlightSections(false);
    OPCTabela->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    OPCTabela->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    OPCTabela->setSelectionMode(QAbstractItemView::SingleSelection);
    // A double click opens the item browser; typing or F2 edits a cell.
    OPCTabela->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed |
                               QAbstractItemView::SelectedClicked);
    for (int row = 0; row < SignalTableRows; ++row)
        for (int column = 0; column < 2; ++column) OPCTabela->setItem(row, column, new QTableWidgetItem);
    for (const auto& [row, heading] : {std::pair{InnerControllerHeadingRow, "Controller parameters"},
                                       std::pair{OuterControllerHeadingRow, "Outside loop controller"}}) {
        OPCTabela->setSpan(row, 0, 1, 2);
        QTableWidgetItem* item = OPCTabela->item(row, 0);
        item->setText(QString::fromUtf8(heading));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setFont(bold);
        item->setBackground(palette().color(QPalette::Window));
    }
    // Rows keep their height (the radio buttons stand level with them); in a
    // wider window the item column widens for long item identifiers.
    const int frame = OPCTabela->frameWidth();
    OPCTabela->setFixedHeight(2 * frame + HeaderHeight + SignalTableRows * RowHeight);
    OPCTabela->setMinimumWidth(2 * frame + 2 * ColumnWidth);
    OPCTabela->setMaximumWidth(2 * frame + 2 * ColumnWidth + 500);
    OPCTabela->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

// The controls' signals, and the connection's callbacks for a lost
// connection and for a server certificate to trust.
void OpcPage::connectSignals() {
    connect(PoveziOPCStreznik, &QPushButton::clicked, this, &OpcPage::PoveziOPCStreznikClick);
    connect(PrekiniOPCStreznik, &QPushButton::clicked, this, &OpcPage::PrekiniOPCStreznikClick);
    connect(OPCTabela, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) { OPCTabelaSelectCell(row, column); });
    connect(OPCTabela, &QTableWidget::cellClicked, this, &OpcPage::OPCTabelaSelectCell);
    connect(OPCTabela, &QTableWidget::cellDoubleClicked, this, &OpcPage::OPCTabelaDblClick);
    connect(IzberiAjtemKnof, &QPushButton::clicked, this, &OpcPage::IzberiAjtemKnofClick);
    connect(radioGroup4Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup4Click();
    });
    connect(radioGroup5Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup5Click();
    });

    ctx_.Plant.Disconnected = [this] { dOPCServer1Disconnect(); };
    ctx_.Plant.TrustServerCertificate = [this](const ServerCertificate& certificate) {
        return ctx_.Dialog.trustCertificate(certificate);
    };
}

OpcPage::~OpcPage() {
    // The connection outlives the window and may still end after it.
    ctx_.Plant.Disconnected = nullptr;
    ctx_.Plant.TrustServerCertificate = nullptr;
}

int OpcPage::rowTop(int row) const { return OPCTabela->frameWidth() + HeaderHeight + row * RowHeight; }

QWidget* OpcPage::createRadioColumn() {
    auto* column = new QWidget(this);
    column->setObjectName("radioColumn");
    column->setFixedSize(RadioColumnWidth, OPCTabela->height());
    radioButtonItems = new QButtonGroup(this);
    for (int number = 1; number <= 18; ++number) {
        const int row = RadioButtonRow(number);
        const RoleButton& role = RoleButtons[number - 1];
        auto* button = new QRadioButton(QString::fromUtf8(role.caption), column);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(number));
        button->setEnabled(role.enabled);
        button->setToolTip(QString::fromUtf8(role.tip));
        button->setGeometry(0, rowTop(row), RadioColumnWidth, RowHeight);
        radioButtonItems->addButton(button, row);
        RadioButtons[number - 1] = button;
    }
    // The first role is the target of "Choose" until the user picks another.
    RadioButtons[0]->setChecked(true);
    return column;
}

QGroupBox* OpcPage::createSwitchingGroup(const char* name, QButtonGroup*& items, QLabel*& label, QComboBox*& value,
                                         const char* labelName, const char* comboName, QWidget* parent) {
    auto* group = named(new QGroupBox(QStringLiteral("M/A switching"), parent), name);
    items = new QButtonGroup(group);
    auto* layout = new QGridLayout(group);
    layout->setVerticalSpacing(2);
    layout->setContentsMargins(8, 4, 8, 6);
    const QString captions[] = {QStringLiteral("M/A"), QStringLiteral("Manual + Automatic")};
    for (int i = 0; i < 2; ++i) {
        auto* button = new QRadioButton(captions[i], group);
        button->setToolTip(i == 0 ? QStringLiteral("One manual/automatic (M/A) item whose value selects the mode")
                                  : QStringLiteral("Separate command items for manual and for automatic"));
        items->addButton(button, i);
        layout->addWidget(button, i, 0, 1, 2);
    }
    items->button(ManualAndAutomaticItems)->setChecked(true);
    label = named(new QLabel(QStringLiteral("Manual:"), group), labelName);
    value = named(new QComboBox(group), comboName);
    value->addItems({QStringLiteral("0"), QStringLiteral("1")});
    value->setCurrentIndex(0);
    for (QWidget* w : {static_cast<QWidget*>(label), static_cast<QWidget*>(value)})
        w->setToolTip(QStringLiteral("The value of the M/A item that means manual; the other one means automatic"));
    layout->addWidget(label, 2, 0);
    layout->addWidget(value, 2, 1);
    layout->setColumnStretch(1, 1);
    return group;
}

QWidget* OpcPage::createSideColumn() {
    auto* column = new QWidget(this);
    column->setObjectName("sideColumn");
    constexpr int width = 190;
    column->setFixedSize(width, OPCTabela->height());

    IzberiAjtemKnof = named(new QPushButton(QStringLiteral("C&hoose"), column), "IzberiAjtemKnof");
    IzberiAjtemKnof->setToolTip(QStringLiteral("Choose the item of the checked row from the server"));
    IzberiAjtemKnof->setGeometry(0, rowTop(0), 100, IzberiAjtemKnof->sizeHint().height());

    RadioGroup4 = createSwitchingGroup("RadioGroup4", radioGroup4Items, Label_ManualInner, ComboBox3,
                                       "Label_ManualInner", "ComboBox3", column);
    RadioGroup5 = createSwitchingGroup("RadioGroup5", radioGroup5Items, Label_ManualOuter, ComboBox4,
                                       "Label_ManualOuter", "ComboBox4", column);
    // Each beside the rows of its controller.
    const int height = 5 * RowHeight + 10;
    RadioGroup4->setGeometry(0, rowTop(SignalRow(SignalRole::InnerP)), width, height);
    RadioGroup5->setGeometry(0, rowTop(SignalRow(SignalRole::OuterP)), width, height);
    return column;
}

// --- Start-up ---

void OpcPage::FillServerList() {
    ComboBox2->clear();
    for (const std::string& server : ctx_.Plant.ListServers()) ComboBox2->addItem(QString::fromStdString(server));
    if (ComboBox2->count() > 0) ComboBox2->setCurrentIndex(0);
}

void OpcPage::SetUpControllerGroup() {
    ComboBox3->setCurrentIndex(0);
    ComboBox4->setCurrentIndex(0);
    ctx_.State.ControllerGroup = &ctx_.Plant.AddGroup(ControllerGroupName);
}

// --- The table by role ---

std::string OpcPage::CellText(int row, int column) const {
    const QTableWidgetItem* item = OPCTabela->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

void OpcPage::setCell(int row, int column, const std::string& text) {
    QTableWidgetItem* item = OPCTabela->item(row, column);
    if (!item) OPCTabela->setItem(row, column, item = new QTableWidgetItem);
    item->setText(QString::fromStdString(text));
}

std::string OpcPage::ItemId(SignalRole role) const { return CellText(SignalRow(role), 0); }

std::string OpcPage::Description(SignalRole role) const { return CellText(SignalRow(role), 1); }

void OpcPage::SetItemId(SignalRole role, const std::string& id) { setCell(SignalRow(role), 0, id); }

void OpcPage::SetDescription(SignalRole role, const std::string& text) { setCell(SignalRow(role), 1, text); }

std::string OpcPage::ServerName() const { return ComboBox2->currentText().toStdString(); }

ConnectionOptions OpcPage::connectionOptions() const {
    ConnectionOptions options;
    switch (ComboBox_Security->currentIndex()) {
    case 1: options.Mode = ConnectionOptions::Security::Sign; break;
    case 2: options.Mode = ConnectionOptions::Security::SignAndEncrypt; break;
    default: options.Mode = ConnectionOptions::Security::None; break;
    }
    options.User = Edit_User->text().toStdString();
    options.Password = options.User.empty() ? std::string() : Edit_Password->text().toStdString();
    return options;
}

int OpcPage::CheckedRow() const { return radioButtonItems->checkedId(); }

// --- Connection ---

void OpcPage::PoveziOPCStreznikClick() {
    if (!RunCommand(ctx_.Dialog, [this] { connectToServer(); })) PoveziOPCStreznik->setEnabled(true);
}

void OpcPage::connectToServer() {
    // The entry of the list at the selection index when the box shows it,
    // otherwise the address the user typed.
    const int index = ComboBox2->currentIndex();
    const QString text = ComboBox2->currentText();
    const QString server =
        index >= 0 && ComboBox2->itemText(index) == text ? ComboBox2->itemText(index) : text.trimmed();
    if (server.isEmpty())
        throw PlantAccessError(
            "No OPC server selected: choose a server from the list or type its address "
            "(for example opc.tcp://127.0.0.1:4840).");
    ctx_.Plant.Connect(server.toStdString(), connectionOptions());
    const QString state = QString::fromStdString(ctx_.Plant.ServerStateText());
    Label54->setText(state);
    PoveziOPCStreznik->setEnabled(state != QLatin1String("running"));
    // A typed address that worked is offered in the list from now on.
    if (ComboBox2->findText(server) < 0) {
        ComboBox2->addItem(server);
        ComboBox2->setCurrentIndex(ComboBox2->count() - 1);
    }
}

void OpcPage::PrekiniOPCStreznikClick() {
    RunCommand(ctx_.Dialog, [this] {
        PoveziOPCStreznik->setEnabled(true);
        ctx_.Plant.Disconnect();
    });
}

void OpcPage::dOPCServer1Disconnect() {
    Label54->setText(QStringLiteral("stopped"));
    // Whatever ended the connection, the user can connect again.
    PoveziOPCStreznik->setEnabled(true);
}

// --- Table and item browser ---

void OpcPage::OPCTabelaSelectCell(int row, int /*column*/) {
    if (row < 0 || selectionChecksNothing(row)) return;
    if (QAbstractButton* button = radioButtonItems->button(row)) button->setChecked(true);
}

void OpcPage::IzberiAjtemKnofClick() {
    RunCommand(ctx_.Dialog, [this] { chooseItem(); });
}

void OpcPage::OPCTabelaDblClick() {
    RunCommand(ctx_.Dialog, [this] { chooseItem(); });
}

void OpcPage::chooseItem() {
    if (!ctx_.Plant.IsConnected()) return;
    const std::optional<std::vector<std::string>> chosen = ctx_.Dialog.browseItems(ctx_.Plant);
    if (!chosen || chosen->empty()) return;
    const int row = CheckedRow();
    if (row < 0) return;
    setCell(row, 0, chosen->front());
}

// --- Manual/automatic switching ---

void OpcPage::RadioGroup4Click() { ApplyControllerSwitching(); }

void OpcPage::RadioGroup5Click() { ApplyControllerSwitching(); }

void OpcPage::ApplyControllerSwitching() {
    const auto apply = [this](QButtonGroup* items, SignalRole ma, SignalRole manual, SignalRole automatic,
                              QLabel* label, QComboBox* value) {
        const bool single = items->checkedId() == SingleMAItem;
        RadioButton(RadioButtonNumber(SignalRow(ma)))->setEnabled(single);
        label->setEnabled(single);
        value->setEnabled(single);
        RadioButton(RadioButtonNumber(SignalRow(manual)))->setEnabled(!single);
        RadioButton(RadioButtonNumber(SignalRow(automatic)))->setEnabled(!single);
    };
    apply(radioGroup4Items, SignalRole::InnerMA, SignalRole::InnerManual, SignalRole::InnerAutomatic, Label_ManualInner,
          ComboBox3);
    apply(radioGroup5Items, SignalRole::OuterMA, SignalRole::OuterManual, SignalRole::OuterAutomatic, Label_ManualOuter,
          ComboBox4);
}

}  // namespace halvetra
