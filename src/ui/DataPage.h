#pragma once
// The Data page: loading and saving measured data, the window of samples, the
// conditioning settings and the four signal charts.
#include <QWidget>

#include "ui/PageContext.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace halvetra {

class Chart;

class DataPage : public QWidget {
    Q_OBJECT
public:
    DataPage(PageContext context, QWidget* parent = nullptr);

    QLabel* Label_Datum;
    QLabel* Label_Ura;
    QLabel* Label_Ime;
    QLabel* Label_Ts;
    QLabel* Label_Ns;
    QScrollBar* ScrollBar3;  // start of the window
    QScrollBar* ScrollBar4;  // end of the window
    QLineEdit* Edit8;        // filter time constant
    QLineEdit* Edit_Actuator_Maximum;
    QLineEdit* Edit_Actuator_Minimum;
    QLineEdit* Edit_Actuator_Velocity;
    QScrollBar* ScrollBar_MV;
    QScrollBar* ScrollBar1;
    QScrollBar* ScrollBar2;
    QScrollBar* ScrollBar5;
    QLineEdit* Edit_Stolpec_MV;
    QLineEdit* Edit_Stolpec_U;
    QLineEdit* Edit_Stolpec_Y;
    QLineEdit* Edit_Stolpec_Y1;
    QLabel* Label_MVDescription;
    QLabel* Label22;
    QLabel* Label20;
    QLabel* Label68;
    QPushButton* Button3;  // "Load from file"
    QPushButton* Button4;  // "Save to file"
    QPushButton* Button2;  // "Use filter and constraints"
    Chart* Chart_MV;
    Chart* Chart_U;
    Chart* Chart_Y;
    Chart* Chart2;
    QLabel *Label_MaksMV1, *Label_MinMV1, *Label_STDMV1;
    QLabel *Label_MaksU1, *Label_MinU1, *Label_STDU1;
    QLabel *Label_MaksY1, *Label_MinY1, *Label_STDY1;
    QLabel *Label_MaksY2, *Label_MinY2, *Label_STDY2;

public slots:
    void Button3Click();  // "Load from file"
    void Button4Click();  // "Save to file"

private:
    void loadFromFile();
    void saveToFile();
    QWidget* buildSignalRow(Chart* chart, QScrollBar* selector, QLineEdit* columnBox, QLabel* description,
                            QLabel* maximum, QLabel* minimum, QLabel* deviation);

    PageContext ctx_;
    bool statusShowsUnreadable_ = false;
};

}  // namespace halvetra
