#include "report/ReportDocument.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "report/TPorocilo.h"

namespace halvetra {

namespace {

constexpr double BodySize = 12.0;
constexpr double HeadingSize = 14.0;
constexpr double TitleSize = 20.0;
constexpr double SummarySize = 10.0;
constexpr double CellSidePaddingPt = 5.4;  // 0.19 cm left and right of a cell's text
constexpr double CellEndPaddingPt = 1.0;   // above and below
constexpr double BorderPt = 0.5;
// The height the layout gives one line of body text, a heading line and a
// table row, with room to spare, for sizing pictures so that a block of
// captions, pictures and lines fits on one page.
constexpr double LinePt = BodySize * 1.25;
constexpr double HeadingLinePt = HeadingSize * 1.3;
constexpr double TableRowPt = LinePt + 2 * CellEndPaddingPt + 2 * BorderPt + 1.0;
// A picture is never made smaller than this share of the text height: what
// does not fit beside it then moves on to the next page.
constexpr double SmallestPictureShare = 0.3;

// Marks the document's first paragraph, which carries the template's page style.
constexpr int FirstParagraphProperty = QTextFormat::UserProperty + 1;

// The rows of the OPC table that the report prints.
constexpr int OpcManipulated = 0;
constexpr int OpcInput = 2;
constexpr int OpcInnerOutput = 4;
constexpr int OpcOuterOutput = 5;
constexpr int OpcControllerFirst = 7;
constexpr int OpcOuterControllerFirst = 14;

// The typing position of the report: what the user of a word processor calls
// the selection. Font settings apply to the text typed after them; alignment
// applies to the current paragraph, and a new paragraph inherits it.
class Selection {
public:
    Selection(QTextDocument& document, const ReportGeometry& geometry)
        : document_(document), cursor_(&document), geometry_(geometry) {
        QTextBlockFormat first;
        first.setProperty(FirstParagraphProperty, true);
        cursor_.setBlockFormat(first);
    }

    void TypeText(const QString& text) {
        if (!text.isEmpty()) cursor_.insertText(text, font_);
    }

    void TypeParagraph(int count = 1) {
        for (int i = 0; i < count; ++i) {
            QTextBlockFormat format = cursor_.blockFormat();
            format.clearProperty(QTextFormat::PageBreakPolicy);
            format.clearProperty(FirstParagraphProperty);
            cursor_.insertBlock(format, font_);
        }
    }

    // The next text starts a new page. Blank paragraphs before the break
    // would only fill the end of the page, or spill onto a page of their own:
    // the break goes onto the first of them instead.
    void InsertPageBreak() {
        while (cursor_.block().length() == 1 && cursor_.currentFrame() == document_.rootFrame()) {
            const QTextBlock previous = cursor_.block().previous();
            if (!previous.isValid() || previous.length() != 1 || QTextCursor(previous).currentTable() != nullptr ||
                previous.blockFormat().hasProperty(FirstParagraphProperty))
                break;
            cursor_.deletePreviousChar();
        }
        QTextBlockFormat format = cursor_.blockFormat();
        const bool blank = cursor_.block().length() == 1 && !format.hasProperty(FirstParagraphProperty) &&
                           cursor_.currentFrame() == document_.rootFrame() &&
                           QTextCursor(cursor_.block().previous()).currentTable() == nullptr;
        format.clearProperty(FirstParagraphProperty);
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        if (blank) {
            cursor_.setBlockFormat(format);
            cursor_.setBlockCharFormat(font_);
        } else {
            cursor_.insertBlock(format, font_);
        }
    }

    void SetSize(double points) { font_.setFontPointSize(points); }
    void SetBold(bool bold) { font_.setFontWeight(bold ? QFont::Bold : QFont::Normal); }
    void SetItalic(bool italic) { font_.setFontItalic(italic); }

    void SetAlignment(Qt::Alignment alignment) {
        QTextBlockFormat format;
        format.setAlignment(alignment);
        cursor_.mergeBlockFormat(format);
    }

    // Size 14 bold, the text, back to size 12 plain, two paragraph marks.
    void Heading(const QString& text) {
        SetSize(HeadingSize);
        SetBold(true);
        TypeText(text);
        SetSize(BodySize);
        SetBold(false);
        TypeParagraph(2);
    }

    // The picture in line, scaled down to the text width and to maxHeightPt
    // (at most the text height) when it is larger.
    void AddPicture(const ReportPicture& picture, double maxHeightPt = 0.0) {
        document_.addResource(QTextDocument::ImageResource, QUrl(picture.Name), picture.Bytes);
        const QSizeF size = picture.SizePt;
        const double height =
            maxHeightPt > 0.0 ? std::min(maxHeightPt, geometry_.TextHeightPt) : geometry_.TextHeightPt;
        double scale = 1.0;
        if (size.width() > 0 && size.height() > 0)
            scale = std::min({1.0, geometry_.TextWidthPt / size.width(), height / size.height()});
        QTextImageFormat format;
        format.setName(picture.Name);
        format.setWidth(size.width() * scale * geometry_.PixelsPerPt);
        format.setHeight(size.height() * scale * geometry_.PixelsPerPt);
        cursor_.insertImage(format);
    }

    // A table at the current paragraph; the selection moves into its first
    // cell. As in a word processor the table takes the place of an empty
    // paragraph instead of following it.
    QTextTable* AddTable(int rows, int columns, Qt::Alignment alignment) {
        cellFont_ = font_;
        // Qt splits the current paragraph around the table, so the part after
        // the table is a paragraph of its own already: for a package, an
        // empty current paragraph is merged into the one before. Qt's own
        // layout instead draws the table over the paragraph it splits and
        // over the part after it: both stay, and one more paragraph follows.
        const QTextBlock current = cursor_.block();
        if (!geometry_.QtLayout && current.length() == 1 && current.previous().isValid() &&
            cursor_.currentFrame() == document_.rootFrame()) {
            QTextCursor before(current.previous());
            if (before.currentTable() == nullptr && before.currentFrame() == document_.rootFrame())
                cursor_.deletePreviousChar();
        }
        QTextTableFormat format;
        format.setAlignment(alignment);
        format.setBorder(BorderPt * geometry_.PixelsPerPt);
        format.setBorderBrush(Qt::black);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        format.setCellSpacing(0);
        format.setCellPadding(0);
        QTextTable* table = cursor_.insertTable(rows, columns, format);
        if (geometry_.QtLayout) {
            QTextCursor after = table->lastCursorPosition();
            after.movePosition(QTextCursor::NextBlock);
            after.insertBlock(after.blockFormat(), cellFont_);
        }
        QTextTableCellFormat cell;
        cell.setLeftPadding(CellSidePaddingPt * geometry_.PixelsPerPt);
        cell.setRightPadding(CellSidePaddingPt * geometry_.PixelsPerPt);
        cell.setTopPadding(CellEndPaddingPt * geometry_.PixelsPerPt);
        cell.setBottomPadding(CellEndPaddingPt * geometry_.PixelsPerPt);
        // Collapsed borders are drawn from the cells' own.
        cell.setBorder(BorderPt * geometry_.PixelsPerPt);
        cell.setBorderBrush(Qt::black);
        cell.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) table->cellAt(row, column).setFormat(cell);
        cursor_ = table->cellAt(0, 0).firstCursorPosition();
        return table;
    }

    // To the next cell of the table.
    void MoveRight() { cursor_.movePosition(QTextCursor::NextCell); }

    // To the end of the document.
    void EndKey() { cursor_.movePosition(QTextCursor::End); }

    // Adds text at the end of a cell, in the font the table was made in.
    void CellText(QTextTable* table, int row, int column, const QString& text, bool bold = false) {
        if (text.isEmpty()) return;
        QTextCharFormat format = cellFont_;
        format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
        table->cellAt(row, column).lastCursorPosition().insertText(text, format);
    }

    // Sizes the columns to their contents, as a word processor's fit to contents.
    void FitColumns(QTextTable* table) const {
        QImage device(1, 1, QImage::Format_RGB32);  // 72 dpi: one pixel is one point
        device.setDotsPerMeterX(2835);
        device.setDotsPerMeterY(2835);
        std::vector<double> widths(static_cast<size_t>(table->columns()), 0.0);
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
                    double line = 0.0;
                    for (QTextBlock::iterator fragment = it.currentBlock().begin(); !fragment.atEnd(); ++fragment) {
                        QFont font = fragment.fragment().charFormat().font();
                        if (!geometry_.FontFamily.isEmpty()) font.setFamilies({geometry_.FontFamily});
                        line += QFontMetricsF(font, &device).horizontalAdvance(fragment.fragment().text());
                    }
                    widths[static_cast<size_t>(column)] = std::max(widths[static_cast<size_t>(column)], line);
                }
            }
        }
        // Room for the fonts of another machine, the padding and the borders.
        double total = 0.0;
        for (double& width : widths) {
            width = width * 1.1 + 6.0 + 2 * CellSidePaddingPt + BorderPt;
            total += width;
        }
        const double scale = total > geometry_.TextWidthPt ? geometry_.TextWidthPt / total : 1.0;
        QList<QTextLength> constraints;
        for (double width : widths)
            constraints.append(QTextLength(QTextLength::FixedLength, width * scale * geometry_.TableUnitsPerPt));
        QTextTableFormat format = table->format();
        format.setColumnWidthConstraints(constraints);
        format.setWidth(QTextLength(QTextLength::FixedLength, total * scale * geometry_.TableUnitsPerPt));
        table->setFormat(format);
    }

    // The height of a picture scaled to the text width (not enlarged).
    double FittedHeightPt(const ReportPicture& picture) const {
        const QSizeF size = picture.SizePt;
        if (size.width() <= 0 || size.height() <= 0) return 0.0;
        return size.height() * std::min(1.0, geometry_.TextWidthPt / size.width());
    }

    // The lines a paragraph of body text takes at the text width.
    int LinesOf(const QString& text) const {
        const double average = BodySize * 0.55;  // a generous average character width
        const double perLine = std::max(20.0, geometry_.TextWidthPt / average);
        return std::max(1, static_cast<int>(std::ceil(static_cast<double>(text.size()) / perLine)));
    }

    // The largest heights of pictures that fit with `textPt` of other content
    // on one page, shared in proportion to their heights at the text width.
    std::vector<double> PictureHeights(std::initializer_list<const ReportPicture*> pictures, double textPt) const {
        double fitted = 0.0;
        for (const ReportPicture* picture : pictures) fitted += FittedHeightPt(*picture);
        const double room = std::max(geometry_.TextHeightPt - textPt, SmallestPictureShare * geometry_.TextHeightPt);
        const double scale = fitted > room ? room / fitted : 1.0;
        std::vector<double> heights;
        for (const ReportPicture* picture : pictures) heights.push_back(FittedHeightPt(*picture) * scale);
        return heights;
    }

private:
    QTextDocument& document_;
    QTextCursor cursor_;
    const ReportGeometry& geometry_;
    QTextCharFormat font_;
    QTextCharFormat cellFont_;
};

// A header row typed cell by cell in bold.
void TypeHeaderRow(Selection& selection, const QStringList& texts) {
    selection.SetBold(true);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0) selection.MoveRight();
        selection.TypeText(texts[i]);
    }
    selection.SetBold(false);
}

// Tables 2 and 3: the controller's OPC items from the given row of the OPC table on.
void ControllerTable(Selection& selection, const ReportInputs& inputs, const QString& title, int firstOpcRow) {
    static const QStringList Labels = {QStringLiteral("P term"), QStringLiteral("I term"), QStringLiteral("D term"),
                                       QStringLiteral("M/A"),    QStringLiteral("Manual"), QStringLiteral("Automatic")};
    QTextTable* table = selection.AddTable(7, 2, Qt::AlignLeft);
    TypeHeaderRow(selection, {title, QStringLiteral("OPC points")});
    for (int i = 0; i < Labels.size(); ++i) {
        selection.CellText(table, i + 1, 0, Labels[i]);
        selection.CellText(table, i + 1, 1, inputs.OpcTable[static_cast<size_t>(firstOpcRow + i)].Item);
    }
    selection.FitColumns(table);
    selection.EndKey();
    selection.TypeParagraph(2);
}

const ReportPicture& Picture(const QHash<QString, ReportPicture>& pictures, const char* name) {
    static const ReportPicture none;
    const auto it = pictures.constFind(QString::fromLatin1(name));
    return it == pictures.constEnd() ? none : *it;
}

void RunEventsList(Selection& selection, const ReportInputs& inputs, bool titled = true);
void SummaryBlock(Selection& selection, const ReportInputs& inputs);

void DataSection(Selection& selection, const ReportInputs& inputs, const QHash<QString, ReportPicture>& pictures) {
    struct Signal {
        const char* Name;
        int OpcRow;
        const char* TimeResponse;
        const char* Histogram;
    };
    static const Signal Signals[ReportInputs::Signals] = {
        {"manipulative signal", OpcManipulated, "grafik0.png", "grafik_HMV.png"},
        {"process input", OpcInput, "grafik.png", "grafik_HU.png"},
        {"inner process output", OpcInnerOutput, "grafik1.png", "grafik_HY.png"},
        {"outer process output", OpcOuterOutput, "grafik2.png", "grafik_HY1.png"},
    };

    selection.InsertPageBreak();
    selection.Heading(QStringLiteral("Data"));
    // The first signal's page also holds the heading and the run's events.
    double firstPageText = HeadingLinePt + LinePt;
    if (!inputs.RunEvents.isEmpty()) {
        firstPageText += 2 * LinePt;
        for (const QString& line : inputs.RunEvents) firstPageText += selection.LinesOf(line) * LinePt;
    }
    RunEventsList(selection, inputs);
    for (int i = 0; i < ReportInputs::Signals; ++i) {
        const Signal& signal = Signals[i];
        const QString description = inputs.OpcTable[static_cast<size_t>(signal.OpcRow)].Description;
        const ReportSignalStatistics& statistics = inputs.Statistics[static_cast<size_t>(i)];
        // "(description)" only when there is one.
        const QString named =
            description.isEmpty() ? QString() : QStringLiteral(" (") + description + QStringLiteral(")");
        const QString chartCaption = QStringLiteral("Time response of %1").arg(QLatin1StringView(signal.Name)) + named;
        const QString histogramCaption = QStringLiteral("Histogram of %1").arg(QLatin1StringView(signal.Name)) + named;

        // The signal's chart and its histogram share a page with their
        // captions and figures: the pictures take the room the lines leave.
        const ReportPicture& chart = Picture(pictures, signal.TimeResponse);
        const ReportPicture& histogram = Picture(pictures, signal.Histogram);
        const int lines = selection.LinesOf(chartCaption) + selection.LinesOf(histogramCaption) + 8;
        const std::vector<double> heights =
            selection.PictureHeights({&chart, &histogram}, (i == 0 ? firstPageText : 0.0) + lines * LinePt);

        selection.TypeText(chartCaption);
        selection.TypeParagraph();
        selection.AddPicture(chart, heights[0]);
        selection.TypeParagraph(2);
        selection.TypeText(QStringLiteral("MAX: ") + statistics.Max);
        selection.TypeParagraph();
        selection.TypeText(QStringLiteral("MIN: ") + statistics.Min);
        selection.TypeParagraph();
        selection.TypeText(QStringLiteral("STD: ") + statistics.Std);
        selection.TypeParagraph(2);
        selection.TypeText(histogramCaption);
        selection.TypeParagraph();
        selection.SetAlignment(Qt::AlignHCenter);
        selection.AddPicture(histogram, heights[1]);
        selection.TypeParagraph();
        selection.SetAlignment(Qt::AlignLeft);
        selection.TypeParagraph();
        if (i < ReportInputs::Signals - 1) selection.InsertPageBreak();
    }
}

// The run's events, one paragraph each, under a title of their own.
void RunEventsList(Selection& selection, const ReportInputs& inputs, bool titled) {
    if (inputs.RunEvents.isEmpty()) return;
    if (titled) {
        selection.TypeText(QStringLiteral("Events of the experiment"));
        selection.TypeParagraph();
    }
    for (const QString& line : inputs.RunEvents) {
        selection.TypeText(line);
        selection.TypeParagraph();
    }
    selection.TypeParagraph();
}

// The six lines of one model's figures, in the order of the Model page, and
// its process type when it is named.
QStringList ModelLines(const ReportModelTexts& model) {
    QStringList lines = {QStringLiteral("Estimated gain: ") + model.Gain,
                         QStringLiteral("Estimated time constant(s): ") + model.TimeConstant,
                         QStringLiteral("Estimates dead time [s]: ") + model.DeadTime,
                         QStringLiteral("Standard deviation: ") + model.ModelStd,
                         QStringLiteral("Relative model error: ") + model.RelativeError,
                         QStringLiteral("Model quality: ") + model.ModelQuality};
    if (!model.ProcessType.isEmpty()) lines << QStringLiteral("Process type: ") + model.ProcessType;
    return lines;
}

// A bold title, a blank line, the lines and a blank line.
void TitledLines(Selection& selection, const QString& title, const QStringList& lines) {
    selection.SetBold(true);
    selection.TypeText(title);
    selection.SetBold(false);
    selection.TypeParagraph(2);
    for (const QString& line : lines) {
        selection.TypeText(line);
        selection.TypeParagraph();
    }
    selection.TypeParagraph();
}

void ModelSection(Selection& selection, const ReportInputs& inputs, const QHash<QString, ReportPicture>& pictures) {
    const QStringList figures = ModelLines(inputs.Model);
    QStringList refined;
    if (!inputs.RefinedGain.isEmpty()) {
        refined = {
            QStringLiteral("Refined gain (95 % interval): ") + inputs.RefinedGain,
            QStringLiteral("Refined time constant [s] (95 % interval): ") + inputs.RefinedTimeConstant,
            QStringLiteral("Refined dead time [s] (95 % interval): ") + inputs.RefinedDeadTime,
            QStringLiteral("Fit of the refined model [%]: ") + inputs.RefinedFit,
        };
        if (!inputs.RefinedReason.isEmpty())
            refined << QStringLiteral("The identified model stays: ") + inputs.RefinedReason;
    }
    const ReportModelTexts& other = inputs.OtherModel;
    const QStringList otherFigures = ModelLines(other);

    // The chart takes the room the section's lines leave on its page.
    int lines = 2 + 3 + static_cast<int>(figures.size()) + 1;
    for (const QString& line : refined) lines += selection.LinesOf(line);
    if (!refined.isEmpty()) lines += 3;
    if (!other.Title.isEmpty()) lines += 3 + static_cast<int>(otherFigures.size());
    const ReportPicture& chart = Picture(pictures, "grafik3.png");
    const double height = selection.PictureHeights({&chart}, HeadingLinePt + LinePt + lines * LinePt).front();

    selection.InsertPageBreak();
    selection.Heading(QStringLiteral("Model"));
    selection.TypeText(QStringLiteral("Open-loop process response"));
    selection.TypeParagraph();
    selection.AddPicture(chart, height);
    selection.TypeParagraph(2);
    TitledLines(selection, QStringLiteral("Model parameters"), figures);
    if (!refined.isEmpty())
        // The refined model, each figure with the half-width of its 95 % interval.
        TitledLines(selection, QStringLiteral("Refined model"), refined);
    if (!other.Title.isEmpty()) TitledLines(selection, other.Title, otherFigures);
}

// The robustness and performance figures of the four controllers, when given.
void FiguresTable(Selection& selection, const ReportInputs& inputs) {
    bool any = false;
    for (const auto& row : inputs.Figures)
        for (const QString& cell : row) any = any || !cell.isEmpty();
    if (!any) return;
    selection.SetBold(true);
    selection.TypeText(QStringLiteral("Robustness and performance"));
    selection.SetBold(false);
    selection.TypeParagraph();
    QTextTable* table = selection.AddTable(5, 1 + ReportInputs::FigureColumns, Qt::AlignHCenter);
    TypeHeaderRow(selection,
                  {QStringLiteral("Controller type"), QStringLiteral("Ms"), QStringLiteral("GM"),
                   QStringLiteral("PM [\u00b0]"), QStringLiteral("IAE set point"), QStringLiteral("IAE disturbance")});
    const char* names[4] = {"I controller", "P controller", "PI controller", "PID controller"};
    for (int row = 0; row < 4; ++row) {
        selection.CellText(table, row + 1, 0, QString::fromLatin1(names[row]), true);
        for (int column = 0; column < ReportInputs::FigureColumns; ++column)
            selection.CellText(table, row + 1, column + 1,
                               inputs.Figures[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
    }
    selection.FitColumns(table);
    selection.EndKey();
    selection.TypeParagraph();
    selection.TypeText(
        QStringLiteral("Ms: maximum sensitivity (1.2\u20131.4 robust, 1.4\u20132 normal, above 2 "
                       "aggressive); GM, PM: gain and phase margins; IAE: integrated absolute error "
                       "after a unit set-point step and after the load step of the "
                       "disturbance-rejection response; \u2014: does not exist."));
    selection.TypeParagraph(2);
}

void ControllerSection(Selection& selection, const ReportInputs& inputs,
                       const QHash<QString, ReportPicture>& pictures) {
    // The chart takes the room the tables and lines leave on the page.
    bool figures = false;
    for (const auto& row : inputs.Figures)
        for (const QString& cell : row) figures = figures || !cell.isEmpty();
    int lines = 1 + 4 + 2 + 4;
    if (figures) lines += 2 + 4 + 2;
    if (!inputs.ScaledNote.isEmpty()) lines += selection.LinesOf(inputs.ScaledNote);
    const double tables = (figures ? 10 : 5) * TableRowPt;
    const ReportPicture& chart = Picture(pictures, "grafik4.png");
    const double height = selection.PictureHeights({&chart}, HeadingLinePt + LinePt + lines * LinePt + tables).front();

    selection.InsertPageBreak();
    selection.Heading(QStringLiteral("Controller"));
    selection.TypeText(QStringLiteral("Open-loop and closed-loop responses"));
    selection.TypeParagraph();
    selection.AddPicture(chart, height);
    selection.TypeParagraph(4);

    QTextTable* table = selection.AddTable(5, 4, Qt::AlignHCenter);
    TypeHeaderRow(selection, {QStringLiteral("Controller type"), QStringLiteral("Kp"), QStringLiteral("Ki"),
                              QStringLiteral("Kd")});
    const QString rows[4][4] = {
        {QStringLiteral("I controller"), QString(), inputs.I_Ki, QString()},
        {QStringLiteral("P controller"), inputs.P_Kp, QString(), QString()},
        {QStringLiteral("PI controller"), inputs.PI_Kp, inputs.PI_Ki, QString()},
        {QStringLiteral("PID controller"), inputs.PID_Kp, inputs.PID_Ki, inputs.PID_Kd},
    };
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            selection.CellText(table, row + 1, column, rows[row][column], column == 0);
    selection.FitColumns(table);
    selection.EndKey();
    selection.TypeParagraph(2);
    FiguresTable(selection, inputs);

    const std::pair<const char*, const QString*> scaled[] = {{"Scaled P term: ", &inputs.ScaledP},
                                                             {"Scaled I term: ", &inputs.ScaledI},
                                                             {"Scaled D term: ", &inputs.ScaledD}};
    if (!inputs.ScaledNote.isEmpty() &&
        !(inputs.ScaledP.isEmpty() && inputs.ScaledI.isEmpty() && inputs.ScaledD.isEmpty())) {
        selection.TypeText(inputs.ScaledNote);
        selection.TypeParagraph();
    }
    for (const auto& [label, value] : scaled) {
        if (value->isEmpty()) continue;
        selection.TypeText(QString::fromLatin1(label) + *value);
        selection.TypeParagraph();
    }
}

// The summary of the experiment and its processing, as a two-column table.
void SummaryBlock(Selection& selection, const ReportInputs& inputs) {
    const ReportSummary& s = inputs.Summary;
    const bool data = inputs.IncludeData;
    const bool controller = inputs.IncludeController;
    const std::pair<QString, bool> rows[] = {
        {QStringLiteral("Experiment date"), data},
        {QStringLiteral("Data file"), data},
        {QStringLiteral("Sampling time [s]"), data},
        {QStringLiteral("Window"), data || inputs.IncludeModel},
        {QStringLiteral("Plant"), true},
        {QStringLiteral("Tuning method"), controller},
        {QStringLiteral("Robustness factor"), controller},
        {QStringLiteral("Controller form"), controller},
        {QStringLiteral("Closed-loop sampling time [s]"), controller},
    };
    const QString* values[] = {&s.ExperimentDate, &s.DataFile,         &s.SamplingTime,   &s.Window,          &s.Plant,
                               &s.TuningMethod,   &s.RobustnessFactor, &s.ControllerForm, &s.LoopSamplingTime};
    QList<std::pair<QString, QString>> shown;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].second && !values[i]->isEmpty()) shown.append({rows[i].first, *values[i]});
    if (shown.isEmpty()) return;
    // A size smaller than the body's keeps the block and the OPC tables on the first page.
    selection.SetSize(SummarySize);
    QTextTable* table = selection.AddTable(static_cast<int>(shown.size()), 2, Qt::AlignLeft);
    selection.SetSize(BodySize);
    for (qsizetype row = 0; row < shown.size(); ++row) {
        selection.CellText(table, static_cast<int>(row), 0, shown[row].first, true);
        selection.CellText(table, static_cast<int>(row), 1, shown[row].second);
    }
    selection.FitColumns(table);
    selection.EndKey();
    selection.TypeParagraph();
}

}  // namespace

QSizeF PictureSizePt(const QByteArray& bytes) {
    QImage image;
    if (!image.loadFromData(bytes) || image.width() <= 0 || image.height() <= 0) return {};
    const double dotsPerPt = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 / 72.0 : 96.0 / 72.0;
    const double dotsPerPtY = image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() * 0.0254 / 72.0 : dotsPerPt;
    return QSizeF(image.width() / dotsPerPt, image.height() / dotsPerPtY);
}

void BuildReportDocument(QTextDocument& document, const ReportInputs& inputs,
                         const QHash<QString, ReportPicture>& pictures, const ReportGeometry& geometry) {
    Selection selection(document, geometry);

    // Title block.
    selection.TypeParagraph();
    selection.SetSize(TitleSize);
    selection.SetBold(true);
    selection.TypeText(QStringLiteral("Report on experiment"));
    selection.SetSize(BodySize);
    selection.SetBold(false);
    selection.TypeParagraph();
    selection.SetItalic(true);
    selection.TypeText(inputs.Caption);
    selection.SetAlignment(Qt::AlignRight);
    selection.SetItalic(false);
    selection.TypeParagraph();
    selection.SetAlignment(Qt::AlignLeft);
    selection.TypeParagraph();

    SummaryBlock(selection, inputs);

    // OPC settings.
    selection.Heading(QStringLiteral("OPC settings"));
    selection.TypeText(QStringLiteral("OPC server: ") + inputs.ServerName);
    selection.TypeParagraph(3);

    // Table 1: the process signals.
    QTextTable* signals_ = selection.AddTable(5, 3, Qt::AlignLeft);
    TypeHeaderRow(selection,
                  {QStringLiteral("Process signals"), QStringLiteral("Description"), QStringLiteral("OPC points")});
    const std::pair<const char*, int> signalRows[] = {{"Manipulative signal", OpcManipulated},
                                                      {"Process input", OpcInput},
                                                      {"Process inner output", OpcInnerOutput},
                                                      {"Process outer output", OpcOuterOutput}};
    for (int i = 0; i < 4; ++i) {
        const ReportOpcRow& opc = inputs.OpcTable[static_cast<size_t>(signalRows[i].second)];
        selection.CellText(signals_, i + 1, 0, QString::fromLatin1(signalRows[i].first));
        selection.CellText(signals_, i + 1, 1, opc.Description);
        selection.CellText(signals_, i + 1, 2, opc.Item);
    }
    selection.FitColumns(signals_);
    selection.EndKey();
    selection.TypeParagraph(2);

    // Tables 2 and 3: the inner and the outer controller.
    ControllerTable(selection, inputs, QStringLiteral("Controller parameters"), OpcControllerFirst);
    ControllerTable(selection, inputs, QStringLiteral("Outer controller parameters"), OpcOuterControllerFirst);

    if (inputs.IncludeData) {
        DataSection(selection, inputs, pictures);
    } else if (!inputs.RunEvents.isEmpty()) {
        selection.InsertPageBreak();
        selection.Heading(QStringLiteral("Events of the experiment"));
        RunEventsList(selection, inputs, false);
    }
    if (inputs.IncludeModel) ModelSection(selection, inputs, pictures);
    if (inputs.IncludeController) ControllerSection(selection, inputs, pictures);
}

}  // namespace halvetra
