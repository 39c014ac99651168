#pragma once
// "Compare rules": every tuning rule for the Controller page's model, robustness
// position and sampling time, with the gains of a PI or PID controller, the
// figures of its closed loop, and a chart of the load-disturbance IAE against
// Ms with the page's rule highlighted. Choosing a row chooses that rule on the
// page; the page refreshes the window after every calculation.
#include <QDialog>
#include <vector>

#include "controller/RuleComparison.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace halvetra {

class Chart;

class CompareRulesWindow : public QDialog {
    Q_OBJECT
public:
    explicit CompareRulesWindow(QWidget* parent = nullptr);

    QComboBox* ComboBox_CompareType;  // PI or PID
    QLabel* Label_CompareBasis;       // what the rules were tuned for
    QTableWidget* Table_CompareRules;
    Chart* Chart_CompareRules;

    // The controller type shown: TypePI or TypePID.
    int ControllerType() const;
    // Shows the rows; `currentMethod` is the page's rule.
    void ShowRows(const std::vector<RuleComparisonRow>& rows, int currentMethod, const QString& basis);

signals:
    void MethodChosen(int method);
    void TypeChanged();

private:
    std::vector<RuleComparisonRow> rows_;
    bool filling_ = false;
};

}  // namespace halvetra
