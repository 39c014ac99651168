// The report written to a temporary folder and unpacked again: the order of
// its paragraphs, tables and pictures, their formats, the template's styles,
// and the failures that must leave nothing written.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>

#include "data/Errors.h"
#include "report/ReportDocument.h"
#include "report/ReportTemplate.h"
#include "report/TPorocilo.h"
#include "report/ZipPackage.h"

using namespace halvetra;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

// The shipped template is a resource of the report library.
static void InitReportResources() { Q_INIT_RESOURCE(halvetra_report); }

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_TPorocilo";
        static char* argv[] = {name, nullptr};
        app_ = new QGuiApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

private:
    QGuiApplication* app_ = nullptr;
};
[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// ---- What content.xml says -------------------------------------------------------

using Properties = QHash<QString, QString>;  // the attributes of a style and its property elements

struct Item {
    bool IsTable = false;
    QString Text;      // a paragraph's text
    Properties Style;  // a paragraph's or table's style
    Properties Run;    // the style of a paragraph's first run
    QStringList Pictures;
    std::vector<QStringList> Cells;  // a table's rows
    std::vector<std::vector<bool>> Bold;
    int Columns = 0;
};

class Content {
public:
    explicit Content(const QByteArray& xml) : reader_(xml) {
        while (!reader_.atEnd()) {
            if (reader_.readNext() != QXmlStreamReader::StartElement) continue;
            if (reader_.qualifiedName() == u"style:style")
                ReadStyle();
            else if (reader_.qualifiedName() == u"office:text")
                while (reader_.readNextStartElement())
                    Items.push_back(reader_.qualifiedName() == u"table:table" ? ReadTable() : ReadParagraph());
        }
        EXPECT_FALSE(reader_.hasError()) << reader_.errorString().toStdString();
    }

    std::vector<Item> Items;
    bool NamesAFont = false;

    std::vector<const Item*> Tables() const {
        std::vector<const Item*> tables;
        for (const Item& item : Items)
            if (item.IsTable) tables.push_back(&item);
        return tables;
    }
    QStringList Texts() const {  // the non-empty paragraphs
        QStringList texts;
        for (const Item& item : Items)
            if (!item.IsTable && !item.Text.isEmpty()) texts << item.Text;
        return texts;
    }
    QStringList Pictures() const {
        QStringList pictures;
        for (const Item& item : Items) pictures << item.Pictures;
        return pictures;
    }
    const Item& Find(const QString& text) const {
        for (const Item& item : Items)
            if (!item.IsTable && item.Text == text) return item;
        ADD_FAILURE() << "no paragraph " << text.toStdString();
        static const Item none;
        return none;
    }

private:
    QString Attr(const char* name) const { return reader_.attributes().value(QString::fromLatin1(name)).toString(); }

    void Collect(Properties& properties) {
        for (const QXmlStreamAttribute& attribute : reader_.attributes()) {
            properties.insert(attribute.qualifiedName().toString(), attribute.value().toString());
            NamesAFont = NamesAFont || attribute.qualifiedName() == u"fo:font-family";
        }
    }

    void ReadStyle() {
        Properties& properties = styles_[Attr("style:name")];
        Collect(properties);
        while (reader_.readNextStartElement()) {
            Collect(properties);
            reader_.skipCurrentElement();
        }
    }

    Item ReadParagraph() {
        Item item;
        item.Style = styles_.value(Attr("text:style-name"));
        for (int depth = 1; depth > 0 && !reader_.atEnd();) {
            reader_.readNext();
            if (reader_.isStartElement()) {
                ++depth;
                if (reader_.qualifiedName() == u"text:span" && item.Run.isEmpty())
                    item.Run = styles_.value(Attr("text:style-name"));
                else if (reader_.qualifiedName() == u"draw:image")
                    item.Pictures << Attr("xlink:href");
                else if (reader_.qualifiedName() == u"text:s")
                    item.Text += QString(std::max(1, Attr("text:c").toInt()), u' ');
            } else if (reader_.isEndElement()) {
                --depth;
            } else if (reader_.isCharacters() && !reader_.isWhitespace()) {
                item.Text += reader_.text();  // the writer's indentation lies between elements only
            }
        }
        return item;
    }

    Item ReadTable() {
        Item table;
        table.IsTable = true;
        table.Style = styles_.value(Attr("table:style-name"));
        while (reader_.readNextStartElement()) {
            if (reader_.qualifiedName() == u"table:table-column") {
                table.Columns += std::max(1, Attr("table:number-columns-repeated").toInt());
                reader_.skipCurrentElement();
                continue;
            }
            table.Cells.emplace_back();
            table.Bold.emplace_back();
            while (reader_.readNextStartElement()) {  // cells
                QString text;
                bool bold = false;
                while (reader_.readNextStartElement()) {
                    const Item paragraph = ReadParagraph();
                    text += paragraph.Text;
                    bold = bold || paragraph.Run.value("fo:font-weight") == u"bold";
                }
                table.Cells.back() << text;
                table.Bold.back().push_back(bold);
            }
        }
        return table;
    }

    QXmlStreamReader reader_;
    QHash<QString, Properties> styles_;
};

// ---- Inputs and what they should give ------------------------------------------------

ReportInputs SampleInputs() {
    ReportInputs in;
    in.Caption = QStringLiteral(" Halvetra E 1.0.7");
    in.Model.Gain = "1.234", in.Model.TimeConstant = "12.5", in.Model.DeadTime = "3.25";
    in.Model.ModelStd = "0.0123", in.Model.RelativeError = "4.5 %", in.Model.ModelQuality = "good";
    in.RefinedGain = QString::fromUtf8("1.241 \u00B1 0.006"),
    in.RefinedTimeConstant = QString::fromUtf8("13.08 \u00B1 0.21");
    in.RefinedDeadTime = QString::fromUtf8("2.8 \u00B1 0.1"), in.RefinedFit = "97.42";
    in.I_Ki = "0.011", in.P_Kp = "0.5", in.PI_Kp = "0.45", in.PI_Ki = "0.035";
    in.PID_Kp = "0.7", in.PID_Ki = "0.04", in.PID_Kd = "1.5";
    in.ScaledP = "70", in.ScaledI = "4", in.ScaledD = "150";
    for (int i = 0; i < ReportInputs::Signals; ++i)
        in.Statistics[static_cast<size_t>(i)] = {QStringLiteral("max%1").arg(i), QStringLiteral("min%1").arg(i),
                                                 QStringLiteral("std%1").arg(i)};
    in.ServerName = QStringLiteral("opc.tcp://127.0.0.1:4840");
    for (int row = 0; row < ReportInputs::OpcRows; ++row)
        in.OpcTable[static_cast<size_t>(row)] = {QStringLiteral("ns=1;s=Item%1").arg(row),
                                                 QStringLiteral("Description %1").arg(row)};
    return in;
}

QStringList ExpectedTexts(const ReportInputs& in) {
    QStringList texts = {"Report on experiment", in.Caption, "OPC settings", "OPC server: " + in.ServerName};
    if (in.IncludeData) {
        texts << "Data";
        const char* names[] = {"manipulative signal", "process input", "inner process output", "outer process output"};
        const int rows[] = {0, 2, 4, 5};
        for (size_t i = 0; i < 4; ++i) {
            const QString description = "(" + in.OpcTable[static_cast<size_t>(rows[i])].Description + ")";
            const ReportSignalStatistics& s = in.Statistics[i];
            texts << QStringLiteral("Time response of %1 ").arg(QLatin1StringView(names[i])) + description
                  << "MAX: " + s.Max << "MIN: " + s.Min << "STD: " + s.Std
                  << QStringLiteral("Histogram of %1 ").arg(QLatin1StringView(names[i])) + description;
        }
    }
    if (in.IncludeModel)
        texts << "Model"
              << "Open-loop process response"
              << "Model parameters"
              << "Estimated gain: " + in.Model.Gain << "Estimated time constant(s): " + in.Model.TimeConstant
              << "Estimates dead time [s]: " + in.Model.DeadTime << "Standard deviation: " + in.Model.ModelStd
              << "Relative model error: " + in.Model.RelativeError << "Model quality: " + in.Model.ModelQuality;
    if (in.IncludeModel && !in.RefinedGain.isEmpty()) {
        texts << "Refined model"
              << "Refined gain (95 % interval): " + in.RefinedGain
              << "Refined time constant [s] (95 % interval): " + in.RefinedTimeConstant
              << "Refined dead time [s] (95 % interval): " + in.RefinedDeadTime
              << "Fit of the refined model [%]: " + in.RefinedFit;
        if (!in.RefinedReason.isEmpty()) texts << "The identified model stays: " + in.RefinedReason;
    }
    if (in.IncludeController) {
        texts << "Controller"
              << "Open-loop and closed-loop responses";
        for (const auto& [label, value] : {std::pair{"Scaled P term: ", in.ScaledP},
                                           {"Scaled I term: ", in.ScaledI},
                                           {"Scaled D term: ", in.ScaledD}})
            if (!value.isEmpty()) texts << label + value;
    }
    return texts;
}

QStringList ExpectedPictures(const ReportInputs& in) {
    QStringList pictures;
    if (in.IncludeData)
        pictures << "grafik0.png"
                 << "grafik_HMV.png"
                 << "grafik.png"
                 << "grafik_HU.png"
                 << "grafik1.png"
                 << "grafik_HY.png"
                 << "grafik2.png"
                 << "grafik_HY1.png";
    if (in.IncludeModel) pictures << "grafik3.png";
    if (in.IncludeController) pictures << "grafik4.png";
    return pictures;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray PngBytes(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A US letter template with a known header, a header picture and a master page of its own name.
QByteArray TestTemplate(const QByteArray& logo) {
    QByteArray styles = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document-styles xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3">
 <office:styles><style:style style:name="Standard" style:family="paragraph"/></office:styles>
 <office:automatic-styles>
  <style:page-layout style:name="Letter"><style:page-layout-properties fo:page-width="8.5in" fo:page-height="11in" fo:margin="1in"/></style:page-layout>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="TestPage" style:page-layout-name="Letter">
   <style:header><text:p>Test header 4711 <draw:frame svg:width="1cm" svg:height="1cm"><draw:image xlink:href="Pictures/logo.png"/></draw:frame></text:p></style:header>
   <style:footer><text:p>Page <text:page-number>1</text:page-number></text:p></style:footer>
  </style:master-page>
 </office:master-styles>
</office:document-styles>
)";
    return WriteZip({{"mimetype", "application/vnd.oasis.opendocument.text-template", true},
                     {"content.xml", "<office:document-content/>", false},
                     {"styles.xml", styles, false},
                     {"Pictures/logo.png", logo, false}});
}
QByteArray LandscapeTemplate(const QByteArray& logo) {
    QByteArray bytes = TestTemplate(logo);
    auto package = ReadZip(bytes).value();
    for (ZipEntry& entry : package)
        if (entry.Name == "styles.xml")
            entry.Data.replace(R"(fo:page-width="8.5in" fo:page-height="11in")",
                               R"(fo:page-width="11in" fo:page-height="8.5in" style:print-orientation="landscape")");
    return WriteZip(package);
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // Ten pictures that differ, so that each can be recognised in the package.
        for (size_t i = 0; i < TPorocilo::PictureFiles.size(); ++i) {
            const QString name = QString::fromLatin1(TPorocilo::PictureFiles[i]);
            const int n = static_cast<int>(i);
            pictures_.insert(name, PngBytes(400 + 10 * n, 250, QColor::fromHsv(n * 36, 200, 200)));
            ASSERT_TRUE(WriteAll(Path(name), pictures_.value(name)));
        }
    }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    ReportInputs Inputs(const QString& fileName = QStringLiteral("report.odt")) const {
        ReportInputs in = SampleInputs();
        in.ReportFileName = Path(fileName);
        return in;
    }

    // Makes the report and returns its unpacked package.
    static std::vector<ZipEntry> Make(const ReportInputs& in) {
        TPorocilo().Make(in);
        const auto package = ReadZip(ReadAll(in.ReportFileName));
        EXPECT_TRUE(package.has_value());
        return package.value_or(std::vector<ZipEntry>{});
    }

    static QByteArray File(const std::vector<ZipEntry>& package, const QString& name) {
        const ZipEntry* entry = FindEntry(package, name);
        EXPECT_NE(entry, nullptr) << name.toStdString();
        return entry ? entry->Data : QByteArray();
    }

    QTemporaryDir dir_;
    QHash<QString, QByteArray> pictures_;
};

// ---- The document -----------------------------------------------------------------------

TEST_F(ReportTest, WithoutSectionsHoldsTitleBlockServerLineAndTablesOneToThree) {
    ReportInputs in = Inputs();
    in.IncludeData = in.IncludeModel = in.IncludeController = false;
    const Content content(File(Make(in), "content.xml"));

    // Every paragraph mark: "" is an empty paragraph, "#" a table.
    QStringList sequence;
    for (const Item& item : content.Items) sequence << (item.IsTable ? QStringLiteral("#") : item.Text);
    EXPECT_EQ(sequence,
              QStringList({"", "Report on experiment", in.Caption, "", "OPC settings", "",
                           "OPC server: " + in.ServerName, "", "", "#", "", "", "#", "", "", "#", "", "", ""}));
    EXPECT_TRUE(content.Pictures().isEmpty());

    const Item& title = content.Find("Report on experiment");
    EXPECT_EQ(title.Run.value("fo:font-size"), "20pt");
    EXPECT_EQ(title.Run.value("fo:font-weight"), "bold");
    const Item& caption = content.Find(in.Caption);
    EXPECT_EQ(caption.Run.value("fo:font-style"), "italic");
    EXPECT_EQ(caption.Run.value("fo:font-size"), "12pt");
    EXPECT_FALSE(caption.Run.contains("fo:font-weight"));
    EXPECT_EQ(caption.Style.value("fo:text-align"), "end");
    EXPECT_EQ(content.Items[3].Style.value("fo:text-align"), "start");  // left again after the caption
    const Item& heading = content.Find("OPC settings");
    EXPECT_EQ(heading.Run.value("fo:font-size"), "14pt");
    EXPECT_EQ(heading.Run.value("fo:font-weight"), "bold");
    const Item& server = content.Find("OPC server: " + in.ServerName);
    EXPECT_EQ(server.Run.value("fo:font-size"), "12pt");
    EXPECT_FALSE(server.Run.contains("fo:font-weight"));

    const auto item = [&](int row) { return in.OpcTable[static_cast<size_t>(row)].Item; };
    const auto description = [&](int row) { return in.OpcTable[static_cast<size_t>(row)].Description; };
    std::vector<QStringList> expected[3] = {{{"Process signals", "Description", "OPC points"},
                                             {"Manipulative signal", description(0), item(0)},
                                             {"Process input", description(2), item(2)},
                                             {"Process inner output", description(4), item(4)},
                                             {"Process outer output", description(5), item(5)}},
                                            {{"Controller parameters", "OPC points"}},
                                            {{"Outer controller parameters", "OPC points"}}};
    const QStringList labels = {"P term", "I term", "D term", "M/A", "Manual", "Automatic"};
    for (int i = 0; i < 6; ++i) {
        expected[1].push_back({labels[i], item(7 + i)});
        expected[2].push_back({labels[i], item(14 + i)});
    }
    const auto tables = content.Tables();
    ASSERT_EQ(tables.size(), 3u);
    for (size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(tables[t]->Cells, expected[t]) << "table " << t + 1;
        EXPECT_EQ(tables[t]->Columns, expected[t].front().size());
        EXPECT_EQ(tables[t]->Style.value("table:align"), "left");
        for (size_t row = 0; row < tables[t]->Bold.size(); ++row)
            for (bool bold : tables[t]->Bold[row]) EXPECT_EQ(bold, row == 0) << "only the header row is bold";
    }
}

TEST_F(ReportTest, EveryCombinationOfSectionsInOrder) {
    for (int mask = 0; mask < 8; ++mask) {
        SCOPED_TRACE("sections " + std::to_string(mask));
        ReportInputs in = Inputs(QStringLiteral("report%1.odt").arg(mask));
        in.IncludeData = mask & 1;
        in.IncludeModel = mask & 2;
        in.IncludeController = mask & 4;
        const std::vector<ZipEntry> package = Make(in);
        const Content content(File(package, "content.xml"));

        EXPECT_EQ(content.Texts(), ExpectedTexts(in));
        EXPECT_EQ(content.Tables().size(), in.IncludeController ? 4u : 3u);

        // The pictures in order, each stored in the package with the bytes of its file.
        const QStringList expected = ExpectedPictures(in);
        const QStringList pictures = content.Pictures();
        ASSERT_EQ(pictures.size(), expected.size());
        for (qsizetype i = 0; i < pictures.size(); ++i)
            EXPECT_EQ(File(package, pictures[i]), pictures_.value(expected[i])) << "picture " << i;
        EXPECT_EQ(std::count_if(package.begin(), package.end(),
                                [](const ZipEntry& e) { return e.Name.startsWith("Pictures/"); }),
                  expected.size());

        // Each section starts on a new page, and so does each signal of the Data section.
        QStringList breaks, expectedBreaks;
        for (const Item& item : content.Items)
            if (item.Style.value("fo:break-before") == u"page") breaks << item.Text;
        if (in.IncludeData)
            expectedBreaks << "Data"
                           << "Time response of process input (Description 2)"
                           << "Time response of inner process output (Description 4)"
                           << "Time response of outer process output (Description 5)";
        if (in.IncludeModel) expectedBreaks << "Model";
        if (in.IncludeController) expectedBreaks << "Controller";
        EXPECT_EQ(breaks, expectedBreaks);
    }
}

TEST_F(ReportTest, SectionFormatsAndControllerTable) {
    const Content content(File(Make(Inputs()), "content.xml"));
    for (const char* heading : {"Data", "Model", "Controller"}) {
        EXPECT_EQ(content.Find(heading).Run.value("fo:font-size"), "14pt");
        EXPECT_EQ(content.Find(heading).Run.value("fo:font-weight"), "bold");
    }
    EXPECT_EQ(content.Find("Model parameters").Run.value("fo:font-weight"), "bold");
    EXPECT_EQ(content.Find("Model parameters").Run.value("fo:font-size"), "12pt");
    EXPECT_FALSE(content.Find("Estimated gain: 1.234").Run.contains("fo:font-weight"));

    // Histograms are centred, time responses and charts are not.
    for (const Item& item : content.Items)
        for (const QString& picture : item.Pictures)
            EXPECT_EQ(item.Style.value("fo:text-align") == u"center", picture.contains("_H")) << picture.toStdString();

    const auto tables = content.Tables();
    ASSERT_EQ(tables.size(), 4u);
    const Item& table = *tables[3];
    EXPECT_EQ(table.Cells, std::vector<QStringList>({{"Controller type", "Kp", "Ki", "Kd"},
                                                     {"I controller", "", "0.011", ""},
                                                     {"P controller", "0.5", "", ""},
                                                     {"PI controller", "0.45", "0.035", ""},
                                                     {"PID controller", "0.7", "0.04", "1.5"}}));
    EXPECT_EQ(table.Columns, 4);
    EXPECT_EQ(table.Style.value("table:align"), "center");
    for (size_t row = 0; row < table.Bold.size(); ++row)
        for (size_t column = 0; column < table.Bold[row].size(); ++column)
            if (!table.Cells[row][static_cast<qsizetype>(column)].isEmpty()) {
                EXPECT_EQ(table.Bold[row][column], row == 0 || column == 0) << row << "," << column;
            }
    EXPECT_EQ(content.Texts().mid(content.Texts().size() - 3),
              QStringList({"Scaled P term: 70", "Scaled I term: 4", "Scaled D term: 150"}));

    // The figures of the four controllers follow the gains when they are given.
    ReportInputs in = Inputs();
    in.Figures = {{{"1.71", "2.96", "60.1", "9.870", "9.871"},
                   {"1.42", "3.10", "75.0", "\u2014", "\u2014"},
                   {"1.58", "3.09", "63.4", "2.199", "2.196"},
                   {"unstable", "\u2014", "\u2014", "\u2014", "\u2014"}}};
    const Content figuresContent(File(Make(in), "content.xml"));
    const auto withFigures = figuresContent.Tables();
    ASSERT_EQ(withFigures.size(), 5u);
    EXPECT_EQ(
        withFigures[4]->Cells,
        std::vector<QStringList>({{"Controller type", "Ms", "GM", "PM [\u00b0]", "IAE set point", "IAE disturbance"},
                                  {"I controller", "1.71", "2.96", "60.1", "9.870", "9.871"},
                                  {"P controller", "1.42", "3.10", "75.0", "\u2014", "\u2014"},
                                  {"PI controller", "1.58", "3.09", "63.4", "2.199", "2.196"},
                                  {"PID controller", "unstable", "\u2014", "\u2014", "\u2014", "\u2014"}}));
}

TEST_F(ReportTest, EmptyScaledTermsLeaveTheirLinesOutOtherEmptyTextsStay) {
    ReportInputs in = Inputs();
    in.ScaledI.clear();
    in.Model.Gain.clear();
    in.Statistics[1].Max.clear();
    QStringList texts = Content(File(Make(in), "content.xml")).Texts();
    EXPECT_EQ(texts, ExpectedTexts(in));
    EXPECT_FALSE(texts.join('\n').contains("Scaled I term"));
    EXPECT_TRUE(texts.contains("Scaled P term: 70") && texts.contains("Scaled D term: 150"));
    EXPECT_TRUE(texts.contains("Estimated gain: ") && texts.contains("MAX: "));

    in.ScaledP.clear();
    in.ScaledD.clear();
    texts = Content(File(Make(in), "content.xml")).Texts();
    EXPECT_FALSE(texts.join('\n').contains("Scaled"));
    EXPECT_EQ(texts.back(), "Open-loop and closed-loop responses");

    // The line about values computed for other gains comes with the values only, before them.
    in.ScaledNote = "The scaled values were computed for the previous gains (changed: robustness).";
    EXPECT_EQ(Content(File(Make(in), "content.xml")).Texts(), texts);

    // The refined model: the reason when the identified model stays; no
    // refined lines at all without a refined gain.
    in.RefinedReason = "no step in the input";
    EXPECT_EQ(Content(File(Make(in), "content.xml")).Texts(), ExpectedTexts(in));
    EXPECT_TRUE(ExpectedTexts(in).contains("The identified model stays: no step in the input"));
    in.RefinedGain.clear();
    EXPECT_FALSE(Content(File(Make(in), "content.xml")).Texts().join('\n').contains("Refined"));
    in.ScaledP = "70";
    texts = Content(File(Make(in), "content.xml")).Texts();
    EXPECT_EQ(texts.mid(texts.size() - 2), QStringList({in.ScaledNote, "Scaled P term: 70"}));
}

// ---- The package and the template ---------------------------------------------------------

TEST_F(ReportTest, PackageStartsWithStoredMimetypeAndListsEveryFile) {
    const ReportInputs in = Inputs();
    const std::vector<ZipEntry> package = Make(in);
    const QByteArray bytes = ReadAll(in.ReportFileName);
    const QByteArray mimetype = "application/vnd.oasis.opendocument.text";
    EXPECT_EQ(bytes.left(4), QByteArray("PK\x03\x04", 4));
    EXPECT_EQ(bytes.mid(8, 2), QByteArray(2, '\0'));           // stored
    EXPECT_EQ(bytes.mid(26, 4), QByteArray("\x08\0\0\0", 4));  // a name of 8, no extra field
    EXPECT_EQ(bytes.mid(30, 8 + mimetype.size()), "mimetype" + mimetype);

    QStringList listed, files = {"/"};
    QXmlStreamReader manifest(File(package, "META-INF/manifest.xml"));
    while (!manifest.atEnd())
        if (manifest.readNext() == QXmlStreamReader::StartElement && manifest.name() == u"file-entry")
            listed << manifest.attributes().value("manifest:full-path").toString();
    for (const ZipEntry& entry : package)
        if (entry.Name != u"mimetype" && entry.Name != u"META-INF/manifest.xml") files << entry.Name;
    EXPECT_EQ(listed, files);
    EXPECT_TRUE(files.contains("styles.xml"));
}

TEST_F(ReportTest, TemplateStylesHeaderAndPicturesCarryIntoTheReport) {
    // The shipped template for "normal.dot" and an empty name.
    InitReportResources();
    const ReportTemplate shipped = ReportTemplate::Load(TPorocilo::ShippedTemplatePath());
    EXPECT_TRUE(shipped.StylesXml.contains("Halvetra"));
    EXPECT_DOUBLE_EQ(shipped.Layout.WidthMm, 210);
    EXPECT_DOUBLE_EQ(shipped.Layout.HeightMm, 297);
    EXPECT_DOUBLE_EQ(shipped.Layout.LeftMm, 20);
    EXPECT_DOUBLE_EQ(shipped.FontSizePt, 12);
    ASSERT_EQ(shipped.Footer.size(), 1u);
    EXPECT_EQ(shipped.Footer[0].Text, QString(ReportTemplate::PageNumberMark));
    for (const QString& name : {QStringLiteral("normal.dot"), QString(), QStringLiteral("Normal.dot")}) {
        ReportInputs in = Inputs();
        in.TemplateName = name;
        const std::vector<ZipEntry> package = Make(in);
        EXPECT_EQ(File(package, "styles.xml"), shipped.StylesXml);
        const Content content(File(package, "content.xml"));
        EXPECT_EQ(content.Items.front().Style.value("style:master-page-name"), "Standard");
        EXPECT_FALSE(content.NamesAFont) << "the template's body font applies";
    }

    // A template of its own, by a name relative to the report's folder and by an absolute one.
    const QByteArray logo = PngBytes(20, 20, Qt::red);
    const auto templatePackage = ReadZip(TestTemplate(logo));
    ASSERT_TRUE(templatePackage && WriteAll(Path("letter.ott"), TestTemplate(logo)));
    for (const QString& name : {QStringLiteral("letter.ott"), Path("letter.ott")}) {
        ReportInputs in = Inputs();
        in.TemplateName = name;
        const std::vector<ZipEntry> package = Make(in);
        EXPECT_EQ(File(package, "styles.xml"), File(*templatePackage, "styles.xml"));
        EXPECT_TRUE(File(package, "styles.xml").contains("Test header 4711"));
        EXPECT_EQ(File(package, "Pictures/logo.png"), logo);
        const Content content(File(package, "content.xml"));
        EXPECT_EQ(std::count_if(content.Items.begin(), content.Items.end(),
                                [](const Item& i) { return i.Style.contains("style:master-page-name"); }),
                  1)
            << "only the first paragraph starts the page style";
        EXPECT_EQ(content.Items.front().Style.value("style:master-page-name"), "TestPage");
        EXPECT_EQ(content.Pictures().size(), 10);
        EXPECT_FALSE(content.Pictures().contains("Pictures/logo.png"));
    }

    EXPECT_EQ(TPorocilo::TemplatePath("plant.ott", "/runs"), "/runs/plant.ott");
    EXPECT_EQ(TPorocilo::TemplatePath("/t/plant.ott", "/runs"), "/t/plant.ott");
}

// ---- Failures write nothing -------------------------------------------------------------------

TEST_F(ReportTest, TemplateMissingOrOfAnotherKindIsAnErrorAndNothingIsWritten) {
    ReportInputs in = Inputs();
    in.TemplateName = QStringLiteral("missing.ott");
    try {
        TPorocilo().Make(in);
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + Path("missing.ott").toStdString());
    }
    EXPECT_FALSE(QFile::exists(in.ReportFileName));

    ASSERT_TRUE(WriteAll(Path("plain.txt"), "not a package"));
    ASSERT_TRUE(
        WriteAll(Path("sheet.ots"), WriteZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", true},
                                              {"styles.xml", "<x/>", false}})));
    ASSERT_TRUE(WriteAll(in.ReportFileName, "earlier report"));
    for (const char* name : {"missing.ott", "plain.txt", "sheet.ots"}) {
        in.TemplateName = QString::fromLatin1(name);
        EXPECT_THROW(TPorocilo().Make(in), HalvetraError) << name;
        EXPECT_EQ(ReadAll(in.ReportFileName), "earlier report") << "an earlier report stays as it was";
    }
}

TEST_F(ReportTest, MissingPictureIsAnErrorOnlyForItsSection) {
    ASSERT_TRUE(QFile::remove(Path("grafik_HY.png")));
    ReportInputs in = Inputs();
    try {
        TPorocilo().Make(in);
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + Path("grafik_HY.png").toStdString());
    }
    EXPECT_FALSE(QFile::exists(in.ReportFileName));
    in.IncludeData = false;
    EXPECT_NO_THROW(TPorocilo().Make(in));

    ASSERT_TRUE(WriteAll(Path("grafik3.png"), "no picture"));
    in.ReportFileName = Path("other.odt");
    EXPECT_THROW(TPorocilo().Make(in), FileError);
    EXPECT_FALSE(QFile::exists(in.ReportFileName));

    // The pictures may lie in another folder than the report.
    QTemporaryDir out;
    in = Inputs();
    in.ReportFileName = out.filePath("report.odt");
    in.PictureFolder = out.path();
    EXPECT_THROW(TPorocilo().Make(in), FileError);
    in.PictureFolder = dir_.path();
    in.IncludeData = in.IncludeModel = false;
    EXPECT_EQ(Content(File(Make(in), "content.xml")).Pictures(), QStringList({"Pictures/grafik4.png"}));
}

TEST_F(ReportTest, ExistingReportIsReplacedWholeUnwritableOneIsAnError) {
    ReportInputs in = Inputs();
    const QByteArray junk(4 << 20, 'x');
    ASSERT_TRUE(WriteAll(in.ReportFileName, junk));
    EXPECT_FALSE(Make(in).empty());
    const QByteArray bytes = ReadAll(in.ReportFileName);
    EXPECT_LT(bytes.size(), junk.size());
    EXPECT_FALSE(bytes.contains(QByteArray(64, 'x')));
    for (const QString& file : QDir(dir_.path()).entryList(QDir::Files))
        EXPECT_TRUE(file == "report.odt" || file.endsWith(".png")) << "left behind: " << file.toStdString();

    in.ReportFileName = Path("no such folder/report.odt");
    EXPECT_THROW(TPorocilo().Make(in), FileError);
    in.ReportFileName.clear();
    EXPECT_THROW(TPorocilo().Make(in), FileError);
}

// ---- PDF ----------------------------------------------------------------------------------------

TEST_F(ReportTest, PdfNameGivesPdfOnTheTemplatesPage) {
    const auto pages = [](const QByteArray& pdf) {
        return QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b(?!s)")));
    };
    ReportInputs in = Inputs(QStringLiteral("report.pdf"));
    TPorocilo().Make(in);
    QByteArray pdf = ReadAll(in.ReportFileName);
    EXPECT_TRUE(pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF"));
    EXPECT_EQ(pages(pdf), 7) << "title page, four signals, the model, the controller";

    in = Inputs(QStringLiteral("short.PDF"));
    in.IncludeData = in.IncludeModel = in.IncludeController = false;
    TPorocilo().Make(in);
    pdf = ReadAll(in.ReportFileName);
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_EQ(pages(pdf), 1);
    EXPECT_TRUE(QString::fromLatin1(pdf).contains(QRegularExpression(R"(/MediaBox \[0 0 595(\.0+)? 842(\.0+)?\])")));

    ASSERT_TRUE(WriteAll(Path("letter.ott"), TestTemplate(PngBytes(4, 4, Qt::blue))));
    in.TemplateName = QStringLiteral("letter.ott");
    TPorocilo().Make(in);
    EXPECT_TRUE(QString::fromLatin1(ReadAll(in.ReportFileName))
                    .contains(QRegularExpression(R"(/MediaBox \[0 0 612(\.0+)? 792(\.0+)?\])")));

    // A landscape template gives landscape pages, not its size turned back upright.
    ASSERT_TRUE(WriteAll(Path("landscape.ott"), LandscapeTemplate(PngBytes(4, 4, Qt::blue))));
    in.TemplateName = QStringLiteral("landscape.ott");
    TPorocilo().Make(in);
    EXPECT_TRUE(QString::fromLatin1(ReadAll(in.ReportFileName))
                    .contains(QRegularExpression(R"(/MediaBox \[0 0 792(\.0+)? 612(\.0+)?\])")));
}

// The summary block right after the title block, its rows left out with
// their sections and when they have no value.
TEST_F(ReportTest, SummaryBlockFollowsTheTitleBlock) {
    ReportInputs in = Inputs();
    in.Summary = {"4 May 2026 13:14:15",
                  "steps.hvd",
                  "0,5",
                  "samples 3 \u2013 240 (1 s \u2013 119,5 s)",
                  "built-in simulation",
                  "SIMC",
                  "1,0000 (slider position 10)",
                  "Serial (Kp, Ti [s], Td [s]), PI controller",
                  ""};
    const Content content(File(Make(in), "content.xml"));
    ASSERT_EQ(content.Tables().size(), 5u);  // the first, before the OPC tables
    EXPECT_EQ(content.Tables()[0]->Cells,
              std::vector<QStringList>({{"Experiment date", "4 May 2026 13:14:15"},
                                        {"Data file", "steps.hvd"},
                                        {"Sampling time [s]", "0,5"},
                                        {"Window", "samples 3 \u2013 240 (1 s \u2013 119,5 s)"},
                                        {"Plant", "built-in simulation"},
                                        {"Tuning method", "SIMC"},
                                        {"Robustness factor", "1,0000 (slider position 10)"},
                                        {"Controller form", "Serial (Kp, Ti [s], Td [s]), PI controller"}}));

    in.IncludeData = in.IncludeController = false;
    const Content modelOnly(File(Make(in), "content.xml"));
    EXPECT_EQ(modelOnly.Tables()[0]->Cells,
              std::vector<QStringList>(
                  {{"Window", "samples 3 \u2013 240 (1 s \u2013 119,5 s)"}, {"Plant", "built-in simulation"}}));
}

// As the PDF writer lays the document out: every picture on the page of its
// caption and a signal's chart on the page of its histogram, on an upright A4
// and a landscape letter page, with pictures of the sizes the windows export.
TEST_F(ReportTest, PicturesStayOnThePageOfTheirCaptions) {
    QHash<QString, ReportPicture> pictures;
    for (const char* name : TPorocilo::PictureFiles) {
        const bool histogram = QString::fromLatin1(name).contains("_H");
        ReportPicture picture;
        picture.Name = QString::fromLatin1(name);
        picture.Bytes = histogram ? PngBytes(832, 532, Qt::blue) : PngBytes(1400, 720, Qt::red);
        picture.SizePt = PictureSizePt(picture.Bytes);
        pictures.insert(picture.Name, picture);
    }
    ReportInputs in = Inputs();
    in.RunEvents = {"12.0 s, sample 13: the plant refused the write of MV1"};
    in.Summary.Plant = "built-in simulation";
    for (const QSizeF text : {QSizeF(481.9, 685.9), QSizeF(648.0, 400.0)}) {
        ReportGeometry geometry;
        geometry.TextWidthPt = text.width();
        geometry.TextHeightPt = text.height();
        geometry.PixelsPerPt = geometry.TableUnitsPerPt = 96.0 / 72.0;
        geometry.QtLayout = true;
        QTextDocument document;
        BuildReportDocument(document, in, pictures, geometry);
        document.setDocumentMargin(0);
        const double pageHeight = text.height() * geometry.PixelsPerPt;
        document.setPageSize(QSizeF(text.width() * geometry.PixelsPerPt, pageHeight));
        QAbstractTextDocumentLayout* layout = document.documentLayout();
        // The page of a block's first line (a block that starts a page has
        // its break's room above that line).
        const auto page = [&](const QTextBlock& block) {
            const double top = layout->blockBoundingRect(block).top() + block.layout()->lineAt(0).position().y();
            return static_cast<int>((top + 1.0) / pageHeight);
        };
        QString caption;
        int captionPage = -1;
        QList<int> picturePages;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            const bool picture = block.text().contains(QChar::ObjectReplacementCharacter);
            if (!picture && !block.text().trimmed().isEmpty()) {
                caption = block.text();
                captionPage = page(block);
            } else if (picture) {
                EXPECT_EQ(page(block), captionPage) << caption.toStdString() << " at " << text.height();
                const QRectF box = layout->blockBoundingRect(block);
                EXPECT_LE(box.bottom(), (page(block) + 1) * pageHeight + 1) << caption.toStdString();
                picturePages << page(block);
            }
        }
        ASSERT_EQ(picturePages.size(), 10);
        for (int signal = 0; signal < 4; ++signal)
            EXPECT_EQ(picturePages[2 * signal], picturePages[2 * signal + 1]) << "signal " << signal;
    }
}

}  // namespace
