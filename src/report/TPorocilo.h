#pragma once
// TPorocilo: the report document of one experiment. Everything it prints is
// passed in as text exactly as the pages show it; nothing is formatted again.
#include <QString>
#include <QStringList>

#include <array>

namespace halvetra {

// Maximum, minimum and standard deviation of one signal (Data page labels).
struct ReportSignalStatistics {
    QString Max;
    QString Min;
    QString Std;
};

// One row of the OPC table OPCTabela: column 0 the item, column 1 its description.
struct ReportOpcRow {
    QString Item;
    QString Description;
};

// The summary block after the title block: one row per figure, labelled
// "Experiment date", "Data file", "Sampling time [s]", "Window", "Plant",
// "Tuning method", "Robustness factor", "Controller form" and "Closed-loop
// sampling time [s]". An empty value leaves its row out, and so does a section
// that is switched off: the data rows without the Data section (the window
// also stays with the Model section), the controller rows without the
// Controller section. No row: no block.
struct ReportSummary {
    QString ExperimentDate;
    QString DataFile;
    QString SamplingTime;
    QString Window;  // first and last sample and their times
    QString Plant;   // the server's URL, or "built-in simulation"
    QString TuningMethod;
    QString RobustnessFactor;
    QString ControllerForm;  // with the scaled values' names and units
    QString LoopSamplingTime;
};

// One process model's figures as the Model page shows them.
struct ReportModelTexts {
    QString Title;  // the block's bold title; empty: the block is left out
    QString Gain;
    QString TimeConstant;
    QString DeadTime;
    QString ModelStd;
    QString RelativeError;
    QString ModelQuality;
    QString ProcessType;  // printed after the quality when not empty (integrating models)
};

struct ReportInputs {
    static constexpr int OpcRows = 20;
    // The order of Statistics: manipulative signal (MV1), process input (U1),
    // inner process output (Y1), outer process output (Y2).
    static constexpr int Signals = 4;

    QString Caption;  // the main window's caption
    ReportSummary Summary;

    // Model page: Edit_Gain, Edit_Time, Edit_Delay, Label_STD, Label_Rel_Pogresek,
    // Label_Kvaliteta, and the process type of an integrating model (Title
    // is not used: the block stands under "Model parameters").
    ReportModelTexts Model;
    // Model page, "Refined model": Label_RefinedGain, Label_RefinedTime,
    // Label_RefinedDelay (each a figure with "± half-width"), Label_RefinedFit,
    // Label_RefinedReason. Printed after the model figures; an empty gain
    // leaves the refined lines out, an empty reason its line.
    QString RefinedGain;
    QString RefinedTimeConstant;
    QString RefinedDeadTime;
    QString RefinedFit;
    QString RefinedReason;
    // In a cascade, the other process's model (the one the Model page does
    // not show), printed after the model figures under its title.
    ReportModelTexts OtherModel;

    // Controller labels: Label_Ki; Label_Kp_P; Label_PI_Kp, Label_PI_Ti; Label_PID_Kp, Label_PID_Ti, Label_PID_Td.
    QString I_Ki;
    QString P_Kp;
    QString PI_Kp;
    QString PI_Ki;
    QString PID_Kp;
    QString PID_Ki;
    QString PID_Kd;

    // The figures table of the Controller page, rows I, P, PI, PID, columns
    // Ms, GM, PM [°], IAE set point, IAE disturbance, as the page shows them.
    // Printed as a table under the gains; all empty: the table is left out.
    static constexpr int FigureColumns = 5;
    std::array<std::array<QString, FigureColumns>, 4> Figures;

    // Controller page: Edit_Reg_Kp, Edit_Reg_Ki, Edit_Reg_Kd. An empty text leaves its line out.
    QString ScaledP;
    QString ScaledI;
    QString ScaledD;
    // Printed before the scaled values when they were computed for gains
    // other than those in the table; empty: nothing is added.
    QString ScaledNote;

    std::array<ReportSignalStatistics, Signals> Statistics;

    QString ServerName;  // the text of ComboBox2
    std::array<ReportOpcRow, OpcRows> OpcTable;

    // What happened to the plant link during the experiment, and what the
    // automatic processing did about it (one line each). Listed at the start
    // of the Data section under "Events of the experiment"; with the Data
    // section left out, in a section of their own. Empty: nothing is added.
    QStringList RunEvents;

    // The sections after the OPC settings.
    bool IncludeData = true;
    bool IncludeModel = true;
    bool IncludeController = true;

    // "normal.dot" or empty: the template shipped with the program; otherwise
    // the path of an .ott/.odt file, relative names relative to the report's folder.
    QString TemplateName = QStringLiteral("normal.dot");
    // The document to write; a name ending in ".pdf" gives a PDF, any other an
    // OpenDocument text.
    QString ReportFileName;
    // The folder of the ten picture files; empty: the report's folder.
    QString PictureFolder;
};

class TPorocilo {
public:
    // The picture files the report inserts, in the order they appear:
    // time responses of the four signals, their histograms, the model chart
    // and the controller chart.
    static constexpr std::array<const char*, 10> PictureFiles = {
        "grafik0.png",   "grafik.png",    "grafik1.png",    "grafik2.png", "grafik_HMV.png",
        "grafik_HU.png", "grafik_HY.png", "grafik_HY1.png", "grafik3.png", "grafik4.png"};

    // The default template name of the Report page.
    static QString DefaultTemplateName() { return QStringLiteral("normal.dot"); }
    // The template that ships with the program (a Qt resource).
    static QString ShippedTemplatePath() { return QStringLiteral(":/report/normal.ott"); }

    // The file a template name stands for (see ReportInputs::TemplateName).
    static QString TemplatePath(const QString& templateName, const QString& reportFolder);

    // Reads the template a report into that folder would use, and throws the
    // error Make would give for it ("Cannot open file <template>", or
    // "<template> is not an OpenDocument text template (.ott or .odt)"), so a
    // command can refuse a bad template before it writes anything.
    static void CheckTemplate(const QString& templateName, const QString& reportFolder);

    // Builds the report and saves it under inputs.ReportFileName, replacing an
    // existing file whole. Needs a running QGuiApplication. Throws
    // HalvetraError (FileError for files that cannot be read or written;
    // FloatingPointError for a printed figure that names a value that is not
    // finite, such as "NAN" or "INF"); nothing is written then.
    void Make(const ReportInputs& inputs) const;

    // Deletes the picture files from the folder; missing files are ignored.
    static void RemovePictureFiles(const QString& folder);
};

}  // namespace halvetra
