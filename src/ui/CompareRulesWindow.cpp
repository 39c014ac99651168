#include "ui/CompareRulesWindow.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "data/NumberText.h"
#include "ui/Chart.h"
#include "ui/PageContext.h"

namespace halvetra {

namespace {

// Columns of the table: the rule, its gains, then the figures.
enum Column { NameColumn = 0, KpColumn, KiColumn, KdColumn, FirstFigureColumn };

// The right end of the chart's Ms axis.
constexpr double MsAxisLimit = 3.0;

QString GainText(double value, char separator) { return QString::fromStdString(FormatGeneral(value, 4, separator)); }

}  // namespace

CompareRulesWindow::CompareRulesWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("CompareRulesWindow");
    setWindowTitle(QStringLiteral("Compare rules"));
    ComboBox_CompareType = new QComboBox(this);
    ComboBox_CompareType->setObjectName("ComboBox_CompareType");
    ComboBox_CompareType->addItems({QStringLiteral("PI"), QStringLiteral("PID")});
    Label_CompareBasis = new QLabel(this);
    Label_CompareBasis->setObjectName("Label_CompareBasis");

    Table_CompareRules = new QTableWidget(0, FirstFigureColumn + FigureColumns, this);
    Table_CompareRules->setObjectName("Table_CompareRules");
    Table_CompareRules->setHorizontalHeaderLabels({QStringLiteral("Method"), QStringLiteral("Kp"), QStringLiteral("Ki"),
                                                   QStringLiteral("Kd"), QStringLiteral("Ms"), QStringLiteral("GM"),
                                                   QStringLiteral("PM [°]"), QStringLiteral("IAE set point"),
                                                   QStringLiteral("IAE disturbance")});
    Table_CompareRules->verticalHeader()->setVisible(false);
    Table_CompareRules->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table_CompareRules->setSelectionMode(QAbstractItemView::SingleSelection);
    Table_CompareRules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table_CompareRules->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table_CompareRules->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    Table_CompareRules->setToolTip(QStringLiteral("Choose a row to use that rule on the Controller page."));

    Chart_CompareRules = new Chart("Chart_CompareRules", QStringLiteral("Load-disturbance IAE against Ms"), this, 13);
    Chart_CompareRules->setPlainBackground(Qt::white);
    Chart_CompareRules->xAxis->setLabel(QStringLiteral("Ms (robustness: lower is more robust)"));
    Chart_CompareRules->yAxis->setLabel(QStringLiteral("IAE disturbance"));
    Chart_CompareRules->setMinimumHeight(220);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Controller:"), this));
    top->addWidget(ComboBox_CompareType);
    top->addSpacing(12);
    top->addWidget(Label_CompareBasis, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Table_CompareRules, 1);
    layout->addWidget(Chart_CompareRules, 1);
    resize(820, 640);

    connect(ComboBox_CompareType, &QComboBox::currentIndexChanged, this, [this] { emit TypeChanged(); });
    connect(Table_CompareRules, &QTableWidget::itemSelectionChanged, this, [this] {
        if (filling_) return;
        const int row = Table_CompareRules->currentRow();
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        // After the selection's signal: choosing the rule refills this table.
        const int method = rows_[static_cast<std::size_t>(row)].Method;
        QMetaObject::invokeMethod(
            this, [this, method] { emit MethodChosen(method); }, Qt::QueuedConnection);
    });
}

int CompareRulesWindow::ControllerType() const { return ComboBox_CompareType->currentIndex() == 1 ? TypePID : TypePI; }

void CompareRulesWindow::ShowRows(const std::vector<RuleComparisonRow>& rows, int currentMethod, const QString& basis) {
    const QScopedValueRollback<bool> quiet(filling_, true);
    rows_ = rows;
    Label_CompareBasis->setText(basis);
    const char separator = LocaleDecimalSeparator();
    const bool pid = ControllerType() == TypePID;
    Table_CompareRules->setColumnHidden(KdColumn, !pid);
    Table_CompareRules->clearSelection();
    Table_CompareRules->setRowCount(static_cast<int>(rows.size()));

    QVector<double> ms, iae, currentMs, currentIae;
    Chart_CompareRules->clearItems();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const RuleComparisonRow& row = rows[static_cast<std::size_t>(r)];
        const auto set = [&](int column, const QString& text, const QString& tip = QString()) {
            auto* item = new QTableWidgetItem(text);
            item->setTextAlignment(column == NameColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                        : Qt::AlignRight | Qt::AlignVCenter);
            if (!tip.isEmpty()) item->setToolTip(tip);
            Table_CompareRules->setItem(r, column, item);
        };
        set(NameColumn, QString::fromStdString(row.Name));
        if (!row.Error.empty()) {
            // A rule without a tuning for this model: greyed, its reason in
            // the tooltip of every cell.
            const QString error = QString::fromStdString(row.Error);
            for (int column = NameColumn; column < FirstFigureColumn + FigureColumns; ++column) {
                if (column != NameColumn) set(column, QStringLiteral("\u2014"));
                QTableWidgetItem* item = Table_CompareRules->item(r, column);
                item->setToolTip(error);
                item->setForeground(Qt::gray);
            }
            continue;
        }
        const bool defined = row.Kp != 0.0 || row.Ki != 0.0 || row.Kd != 0.0;
        const QString none = QStringLiteral("\u2014");
        set(KpColumn, defined ? GainText(row.Kp, separator) : none);
        set(KiColumn, defined ? GainText(row.Ki, separator) : none);
        set(KdColumn, defined ? GainText(row.Kd, separator) : none);
        const LoopFigureTexts texts = FormatLoopFigures(row.Figures, separator);
        for (int c = 0; c < FigureColumns; ++c)
            set(FirstFigureColumn + c, QString::fromStdString(texts[static_cast<std::size_t>(c)]));
        if (row.Figures && row.Figures->Stable && row.Figures->Ms && row.Figures->IaeDisturbance) {
            // A loop far beyond any sensible robustness sits at the chart's
            // right edge with its Ms named, so the others stay readable.
            const double x = std::min(*row.Figures->Ms, MsAxisLimit);
            const double y = *row.Figures->IaeDisturbance;
            (row.Method == currentMethod ? currentMs : ms).append(x);
            (row.Method == currentMethod ? currentIae : iae).append(y);
            auto* label = new QCPItemText(Chart_CompareRules);
            label->position->setCoords(x, y);
            label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
            label->setPadding(QMargins(4, 0, 0, 2));
            label->setText(QString::fromStdString(row.Name) +
                           (*row.Figures->Ms > MsAxisLimit
                                ? QStringLiteral(" (Ms ") +
                                      QString::fromStdString(FormatFixed(*row.Figures->Ms, 15, 2, separator)) +
                                      QStringLiteral(")")
                                : QString()));
            label->setFont(QFont(font().family(), 8));
            label->setColor(row.Method == currentMethod ? Qt::red : Qt::darkGray);
        }
    }
    // The page's rule is the selected row, without choosing it again.
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        if (rows[static_cast<std::size_t>(r)].Method == currentMethod) Table_CompareRules->selectRow(r);

    if (Chart_CompareRules->graphCount() == 0) {
        QCPGraph* others = Chart_CompareRules->addGraph();
        others->setLineStyle(QCPGraph::lsNone);
        others->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, Qt::darkBlue, 7));
        QCPGraph* current = Chart_CompareRules->addGraph();
        current->setLineStyle(QCPGraph::lsNone);
        current->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, Qt::red, 11));
    }
    Chart_CompareRules->graph(0)->setData(ms, iae, false);
    Chart_CompareRules->graph(1)->setData(currentMs, currentIae, true);
    QVector<double> allMs = ms + currentMs;
    QVector<double> allIae = iae + currentIae;
    if (!allMs.isEmpty()) {
        const auto [msLow, msHigh] = std::minmax_element(allMs.begin(), allMs.end());
        const double iaeHigh = *std::max_element(allIae.begin(), allIae.end());
        const double span = std::max(*msHigh - *msLow, 0.1);
        Chart_CompareRules->xAxis->setRange(std::max(*msLow - 0.1 * span, 1.0), *msHigh + 0.4 * span);
        Chart_CompareRules->yAxis->setRange(0.0, iaeHigh * 1.15);
    }
    Chart_CompareRules->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace halvetra
