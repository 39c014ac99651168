#pragma once
// "Select OPC Item": the connected server's address space as a tree, read
// from the plant connection one level at a time as the user opens a node.
// Variables are marked readable and writable from their access level; a
// filter narrows the variables shown by name and by access. The user picks
// one or several variables and confirms with "Open".
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace halvetra {

class PlantAccess;

class ItemBrowserDialog : public QDialog {
    Q_OBJECT
public:
    // Columns of the tree.
    enum Column { NameColumn = 0, AccessColumn = 1, IdColumn = 2 };

    explicit ItemBrowserDialog(PlantAccess& plant, QWidget* parent = nullptr);

    // Fills the top level with the children of the Objects folder; raises
    // what the plant connection raises (for example when not connected).
    void loadRoot();

    // The identifiers of the chosen variables: the current one first, then
    // the other selected ones in tree order.
    std::vector<std::string> selectedItemIds() const;

    // Finds an item shown in the tree by its identifier (loaded levels only).
    QTreeWidgetItem* findItem(const std::string& id) const;

    QLabel* Path;  // where the current item is, and its identifier
    QTreeWidget* Tree;
    QLineEdit* Filter;    // wildcard pattern for variable names, "*" for all
    QCheckBox* Readable;  // show only readable variables
    QCheckBox* Writable;  // show only writable variables
    QLabel* Message;      // why a level could not be read
    QPushButton* OpenButton;
    QPushButton* CancelButton;

public slots:
    void applyFilter();

private slots:
    void expand(QTreeWidgetItem* item);
    void selectionChanged();
    void activate(QTreeWidgetItem* item);

private:
    void addChildren(QTreeWidgetItem* parent, const std::string& nodeId);
    bool passesFilter(const QTreeWidgetItem* item) const;

    PlantAccess& plant_;
};

}  // namespace halvetra
