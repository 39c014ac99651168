#include "ui/ItemBrowserDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <exception>

#include "opc/PlantAccess.h"

namespace halvetra {

namespace {

// What a tree item knows of its node.
enum DataRole {
    IdRole = Qt::UserRole,
    VariableRole,
    ReadableRole,
    WritableRole,
    LoadedRole,  // its children have been read
};

bool isVariable(const QTreeWidgetItem* item) {
    return item->data(ItemBrowserDialog::NameColumn, VariableRole).toBool();
}

QString accessText(const BrowseNode& node) {
    if (node.NodeClass != "Variable") return {};
    if (node.Readable && node.Writable) return QStringLiteral("Readable, Writable");
    if (node.Readable) return QStringLiteral("Readable");
    if (node.Writable) return QStringLiteral("Writable");
    return QStringLiteral("-");
}

// The names from the top level down to the item.
QString pathOf(const QTreeWidgetItem* item) {
    QStringList names;
    for (; item; item = item->parent()) names.prepend(item->text(ItemBrowserDialog::NameColumn));
    return names.join('/');
}

}  // namespace

ItemBrowserDialog::ItemBrowserDialog(PlantAccess& plant, QWidget* parent) : QDialog(parent), plant_(plant) {
    setObjectName("ItemBrowserDialog");
    setWindowTitle(QStringLiteral("Select OPC Item"));
    resize(620, 480);

    Path = new QLabel(this);
    Path->setObjectName("Path");
    Path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Path->setWordWrap(true);

    Tree = new QTreeWidget(this);
    Tree->setObjectName("Tree");
    Tree->setColumnCount(3);
    Tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Access"), QStringLiteral("Item identifier")});
    Tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tree->setUniformRowHeights(true);
    Tree->header()->resizeSection(NameColumn, 230);
    Tree->header()->resizeSection(AccessColumn, 120);

    Filter = new QLineEdit(QStringLiteral("*"), this);
    Filter->setObjectName("Filter");
    Readable = new QCheckBox(QStringLiteral("Readable"), this);
    Readable->setObjectName("Readable");
    Writable = new QCheckBox(QStringLiteral("Writable"), this);
    Writable->setObjectName("Writable");

    Message = new QLabel(this);
    Message->setObjectName("Message");
    Message->setWordWrap(true);
    QPalette palette = Message->palette();
    palette.setColor(QPalette::WindowText, Qt::darkRed);
    Message->setPalette(palette);

    auto* buttons = new QDialogButtonBox(this);
    OpenButton = buttons->addButton(QStringLiteral("&Open"), QDialogButtonBox::AcceptRole);
    OpenButton->setObjectName("OpenButton");
    OpenButton->setEnabled(false);
    CancelButton = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    CancelButton->setObjectName("CancelButton");

    auto* filters = new QGridLayout;
    filters->addWidget(new QLabel(QStringLiteral("Filter:"), this), 0, 0);
    filters->addWidget(Filter, 0, 1);
    filters->addWidget(Readable, 0, 2);
    filters->addWidget(Writable, 0, 3);
    filters->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Path);
    layout->addWidget(Tree, 1);
    layout->addLayout(filters);
    layout->addWidget(Message);
    layout->addWidget(buttons);

    connect(Tree, &QTreeWidget::itemExpanded, this, &ItemBrowserDialog::expand);
    connect(Tree, &QTreeWidget::itemSelectionChanged, this, &ItemBrowserDialog::selectionChanged);
    connect(Tree, &QTreeWidget::currentItemChanged, this, &ItemBrowserDialog::selectionChanged);
    connect(Tree, &QTreeWidget::itemDoubleClicked, this, &ItemBrowserDialog::activate);
    connect(Filter, &QLineEdit::textChanged, this, &ItemBrowserDialog::applyFilter);
    connect(Readable, &QCheckBox::toggled, this, &ItemBrowserDialog::applyFilter);
    connect(Writable, &QCheckBox::toggled, this, &ItemBrowserDialog::applyFilter);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!selectedItemIds().empty()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ItemBrowserDialog::loadRoot() {
    Tree->clear();
    addChildren(nullptr, std::string());
    applyFilter();
}

void ItemBrowserDialog::addChildren(QTreeWidgetItem* parent, const std::string& nodeId) {
    const std::vector<BrowseNode> nodes = plant_.Browse(nodeId);
    for (const BrowseNode& node : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(Tree);
        item->setText(NameColumn, QString::fromStdString(node.Name.empty() ? node.Id : node.Name));
        item->setText(AccessColumn, accessText(node));
        item->setText(IdColumn, QString::fromStdString(node.Id));
        item->setToolTip(NameColumn, QString::fromStdString(node.NodeClass + ": " + node.Id));
        item->setData(NameColumn, IdRole, QString::fromStdString(node.Id));
        const bool variable = node.NodeClass == "Variable";
        item->setData(NameColumn, VariableRole, variable);
        item->setData(NameColumn, ReadableRole, node.Readable);
        item->setData(NameColumn, WritableRole, node.Writable);
        item->setData(NameColumn, LoadedRole, !node.HasChildren);
        if (!variable) {
            QFont font = item->font(NameColumn);
            font.setBold(true);
            item->setFont(NameColumn, font);
        }
        // Only what can be chosen is selectable.
        if (!variable) item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
        item->setChildIndicatorPolicy(node.HasChildren ? QTreeWidgetItem::ShowIndicator
                                                       : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
}

void ItemBrowserDialog::expand(QTreeWidgetItem* item) {
    if (item->data(NameColumn, LoadedRole).toBool()) return;
    Message->clear();
    try {
        addChildren(item, item->data(NameColumn, IdRole).toString().toStdString());
        item->setData(NameColumn, LoadedRole, true);
        if (item->childCount() == 0) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        applyFilter();
    } catch (const std::exception& e) {
        // The level stays unread; opening the node again tries again.
        Message->setText(QString::fromUtf8(e.what()));
        qDeleteAll(item->takeChildren());
        item->setExpanded(false);
    }
}

bool ItemBrowserDialog::passesFilter(const QTreeWidgetItem* item) const {
    if (!isVariable(item)) return true;  // folders and objects stay, so the user can go on browsing
    if (Readable->isChecked() && !item->data(NameColumn, ReadableRole).toBool()) return false;
    if (Writable->isChecked() && !item->data(NameColumn, WritableRole).toBool()) return false;
    const QString pattern = Filter->text().trimmed();
    if (pattern.isEmpty() || pattern == "*") return true;
    const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern),
                                      QRegularExpression::CaseInsensitiveOption);
    return wildcard.match(item->text(NameColumn)).hasMatch();
}

void ItemBrowserDialog::applyFilter() {
    for (QTreeWidgetItemIterator it(Tree); *it; ++it) {
        const bool shown = passesFilter(*it);
        (*it)->setHidden(!shown);
        if (!shown) (*it)->setSelected(false);
    }
    selectionChanged();
}

std::vector<std::string> ItemBrowserDialog::selectedItemIds() const {
    std::vector<std::string> ids;
    const QTreeWidgetItem* current = Tree->currentItem();
    const auto chosen = [](const QTreeWidgetItem* item) {
        return item && item->isSelected() && !item->isHidden() && isVariable(item);
    };
    if (chosen(current)) ids.push_back(current->data(NameColumn, IdRole).toString().toStdString());
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        if (*it != current && chosen(*it)) ids.push_back((*it)->data(NameColumn, IdRole).toString().toStdString());
    return ids;
}

QTreeWidgetItem* ItemBrowserDialog::findItem(const std::string& id) const {
    const QString wanted = QString::fromStdString(id);
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        if ((*it)->data(NameColumn, IdRole).toString() == wanted) return *it;
    return nullptr;
}

void ItemBrowserDialog::selectionChanged() {
    OpenButton->setEnabled(!selectedItemIds().empty());
    const QTreeWidgetItem* current = Tree->currentItem();
    Path->setText(current ? pathOf(current) + QStringLiteral("   (") + current->text(IdColumn) + ')' : QString());
}

void ItemBrowserDialog::activate(QTreeWidgetItem* item) {
    if (item && isVariable(item) && !item->isHidden()) {
        Tree->setCurrentItem(item);
        item->setSelected(true);
        accept();
    }
}

}  // namespace halvetra
