#pragma once
// The Data page: loading and saving measured data, the window of samples, the
// conditioning settings and the four signal charts.
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "data/MeasuredData.h"
#include "experiment/AutomaticProcessing.h"
#include "ui/PageContext.h"

class QCPGraph;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QVBoxLayout;

namespace halvetra {

class Chart;
class TForm_Histogram;
class TForm_Obdelava_Large;

// The "Measured data" box's file name for a record that is not saved yet.
inline constexpr const char* RecordedDataName = "recorded";

class DataPage : public QWidget {
    Q_OBJECT
public:
    DataPage(PageContext context, QWidget* parent = nullptr);

    // The histogram and enlarged-signal windows of the run, created after the
    // main window; right and double clicks on a chart fill and show them.
    void attachWindows(TForm_Histogram* histogram, TForm_Obdelava_Large* enlarged);

    // The four signals in chart order.
    enum Signal { MV = 0, U = 1, Y = 2, Y2 = 3 };

    // Writes the measured data as "Save to file" does, without the dialog:
    // today's date and time, the window, the selected columns (MV, MV, U, U,
    // Y, Y2) and the conditioning settings of the edit boxes.
    void SaveDataFile(const QString& fileName);
    // The data shown were saved elsewhere (by the automatic processing) as
    // fileName: the "Measured data" box names it.
    void ShowSavedFile(const QString& fileName);
    // What SaveDataFile writes besides the data: the window, the columns, the
    // conditioning of the edit boxes (a text that is not a number throws
    // ConversionError) and today's date and time as the header gives them.
    ProcessingRecord Record() const;

    // Redraws one signal's chart and its statistics over samples start .. end.
    void ShowSignal(Signal signal, int start, int end);

    // Shows the record an experiment has just left in the measured data: the
    // whole record as the window, the selectors on the experiment's columns
    // 1, 3, 5 and 6 (MV1, U1, Y1, Y2) with their descriptions, the signals
    // conditioned with the given filter time constant and actuator maximum,
    // minimum and opening time (texts, read as numbers), the four charts
    // redrawn. A text that is not a number raises before anything is
    // conditioned; the sliders and selectors are set by then.
    void LoadRecordedData(const QString& filterTimeConstant, const QString& actuatorMaximum,
                          const QString& actuatorMinimum, const QString& actuatorOpeningTime);
    // Moves the window start as the user would: the two window sliders limit
    // each other anew and the charts are redrawn (nothing happens when the
    // start is already there).
    void SetWindowStart(int position);

    QLabel* Label_Datum;     // the data's date
    QLabel* Label_Ura;       // the data's hour
    QLabel* Label_Ime;       // file name
    QLabel* Label_Ts;        // sampling time [s]
    QLabel* Label_Ns;        // number of samples
    QScrollBar* ScrollBar3;  // start of the window
    QScrollBar* ScrollBar4;  // end of the window
    // Beside each window slider: its sample number (typing one moves the
    // slider) and that sample's time.
    QSpinBox* SpinEdit_WindowStart;
    QSpinBox* SpinEdit_WindowEnd;
    QLabel* Label_WindowStartTime;
    QLabel* Label_WindowEndTime;
    QLineEdit* Edit8;  // filter time constant
    QLineEdit* Edit_Actuator_Maximum;
    QLineEdit* Edit_Actuator_Minimum;
    QLineEdit* Edit_Actuator_Velocity;
    QScrollBar* ScrollBar_MV;    // column selector of the manipulative signal
    QScrollBar* ScrollBar1;      // column selector of the process input
    QScrollBar* ScrollBar2;      // column selector of process output 1
    QScrollBar* ScrollBar5;      // column selector of process output 2
    QLineEdit* Edit_Stolpec_MV;  // column number of the manipulative signal
    QLineEdit* Edit_Stolpec_U;   // column number of the process input
    QLineEdit* Edit_Stolpec_Y;   // column number of process output 1
    QLineEdit* Edit_Stolpec_Y1;  // column number of process output 2
    QLabel* Label_MVDescription;
    QLabel* Label22;              // description of the process input
    QLabel* Label20;              // description of process output 1
    QLabel* Label68;              // description of process output 2
    QPushButton* Button3;         // "Load from file"
    QPushButton* Button4;         // "Save to file"
    QPushButton* Button2;         // "Use filter and constraints"
    QPushButton* Button_Izracun;  // "Calculate model"

    // Identifies the models from samples first .. last and shows them; the
    // main window connects it to the Model page.
    std::function<void(int first, int last)> ModelCalculation;
    Chart* Chart_MV;  // manipulative signal
    Chart* Chart_U;   // process input
    Chart* Chart_Y;   // process output 1 (inner loop)
    Chart* Chart2;    // process output 2 (outer loop)
    QLabel *Label_MaksMV1, *Label_MinMV1, *Label_STDMV1;
    QLabel *Label_MaksU1, *Label_MinU1, *Label_STDU1;
    QLabel *Label_MaksY1, *Label_MinY1, *Label_STDY1;
    QLabel *Label_MaksY2, *Label_MinY2, *Label_STDY2;

    QCPGraph* LineSeries6;  // MV, stairs
    QCPGraph* Series1;      // U, stairs
    QCPGraph* Series2;      // Y, line
    QCPGraph* LineSeries5;  // Y2, line

public slots:
    void Button3Click();         // "Load from file"
    void Button4Click();         // "Save to file"
    void Button2Click();         // "Use filter and constraints"
    void Button_IzracunClick();  // "Calculate model"
    void ScrollBar3Change();     // the window start moved
    void ScrollBar4Change();     // the window end moved
    void ScrollBar_MVChange();   // another column for the manipulative signal
    void ScrollBar1Change();     // another column for the process input
    void ScrollBar2Change();     // another column for process output 1
    void ScrollBar5Change();     // another column for process output 2

private:
    struct SignalView {
        Chart* chart;
        QCPGraph* series;
        std::vector<double> MeasuredData::*values;
        QLabel* maximum;
        QLabel* minimum;
        QLabel* deviation;
        QLabel* description;
        QScrollBar* selector;
        QLineEdit* columnBox;
        const char* histogramTitle;
        const char* enlargedTitle;
    };

    void loadFromFile();
    void saveToFile();
    void useFilterAndConstraints();
    void columnChanged(Signal signal);
    void windowChanged(bool startMoved);
    void redrawWindow();
    void showWindowPositions();
    // The "Measured data" box: date, hour and name as given, Ts and the
    // sample count of the measured data.
    void showDataDetails(const QString& date, const QString& hour, const QString& name);
    void showDescription(Signal signal, bool withColumnNumber);
    void showHistogram(Signal signal);
    void showEnlarged(Signal signal);
    double readNumber(const QLineEdit* edit) const;
    // The page's parts, one builder each, called in this order by the constructor.
    QVBoxLayout* buildLeftColumn();  // the boxes below with the page's buttons
    QGroupBox* buildFileBox();
    QGroupBox* buildWindowBox();
    QGroupBox* buildFilterBox();
    QGroupBox* buildActuatorBox();
    QVBoxLayout* buildSignalRows();  // the four rows of buildSignalRow
    void connectSignals();
    QWidget* buildSignalRow(Chart* chart, QScrollBar* selector, QLineEdit* columnBox, QLabel* description,
                            QLabel* maximum, QLabel* minimum, QLabel* deviation);

    PageContext ctx_;
    std::array<SignalView, 4> views_{};
    TForm_Histogram* histogram_ = nullptr;
    TForm_Obdelava_Large* enlarged_ = nullptr;
    bool statusShowsUnreadable_ = false;
};

}  // namespace halvetra
