// halvetra-cli data, run as a program on files written here: the JSON it
// prints for both file layouts, the value arrays, the locale's decimal
// separator in the .hvd header, and the exit status of failures.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>

#include "CliRunner.h"

#include <fstream>
#include <string>
#include <vector>

namespace {

class CliData : public ::testing::Test {
protected:
    QString Write(const QString& name, const std::vector<std::string>& lines) {
        const QString path = folder_.filePath(name);
        std::ofstream out(path.toStdString(), std::ios::binary);
        for (const auto& line : lines) out << line << "\r\n";
        return path;
    }

    QTemporaryDir folder_;
};

std::vector<std::string> Hvd(const std::string& samplingTime) {
    return {"HALVETRA Mesurements",
            "V1.0",
            "1.2.2024",
            "10:20:30",
            samplingTime,
            "3",
            "2",
            "3",
            "1.5",
            "90",
            "10",
            "20",
            "MV",
            "MV",
            "U",
            "U",
            "Y \"outer\"",
            "Y2",
            "0\t1\t1\t2\t2\t3\t4",
            "0.1\t0,5\t0.5\t2\t2\t3\t4",
            "0.2\t1e-7\t1\t2\t2\t3\tbad"};
}

TEST_F(CliData, HvdFile) {
    const auto run = RunCli({"data", Write("record.hvd", Hvd("0.1"))});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Keys in their documented order.
    std::size_t at = 0;
    for (const char* key : {"format", "date", "hour", "sampling_time", "sample_count", "column_count", "descriptions",
                            "window", "filter", "actuator", "unreadable_fields"}) {
        const auto next = run.out.find("\"" + std::string(key) + "\":", at);
        ASSERT_NE(next, std::string::npos) << key;
        at = next;
    }
    EXPECT_NE(run.out.find("\"sampling_time\":0.1,"), std::string::npos);

    const auto json = Parse(run.out);
    EXPECT_EQ(json["format"].toString(), "hvd");
    EXPECT_EQ(json["date"].toString(), "1.2.2024");
    EXPECT_EQ(json["hour"].toString(), "10:20:30");
    EXPECT_EQ(json["sampling_time"].toDouble(), 0.1);
    EXPECT_EQ(json["sample_count"].toInt(), 3);
    EXPECT_EQ(json["column_count"].toInt(), 6);
    EXPECT_EQ(json["descriptions"].toArray().size(), 6);
    EXPECT_EQ(json["descriptions"].toArray()[4].toString(), "Y \"outer\"");
    EXPECT_EQ(json["window"].toArray(), QJsonArray({2, 3}));
    EXPECT_EQ(json["filter"].toString(), "1.5");
    EXPECT_EQ(json["actuator"].toObject(), QJsonObject({{"maximum", "90"}, {"minimum", "10"}, {"opening", "20"}}));
    EXPECT_EQ(json["unreadable_fields"].toInt(), 1);
    EXPECT_FALSE(json.contains("times"));
    EXPECT_FALSE(json.contains("columns"));
}

TEST_F(CliData, ValuesArrays) {
    const auto run = RunCli({"data", "--values", Write("record.txt", Hvd("0.1"))});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"times\":[0,0.1,0.2]"), std::string::npos) << run.out;
    const auto json = Parse(run.out);
    const auto columns = json["columns"].toArray();
    ASSERT_EQ(columns.size(), 6);
    EXPECT_EQ(columns[0].toArray(), QJsonArray({1, 0.5, 1e-7}));
    EXPECT_EQ(columns[5].toArray(), QJsonArray({4, 4, 0}));
}

TEST_F(CliData, DelimitedFile) {
    const auto path = Write(
        "export.dat", {"12.3.2024;x", "", "A;B;", "", "", "23:59:59;1,5;2;", "00:00:00;3;x;", "00:00:01;5;6;", "end"});
    const auto run = RunCli({"data", path, "--values"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto json = Parse(run.out);
    EXPECT_EQ(json["format"].toString(), "delimited");
    EXPECT_EQ(json["date"].toString(), "12.3.2024");
    EXPECT_EQ(json["hour"].toString(), "23:59:59");
    EXPECT_EQ(json["sampling_time"].toDouble(), 1.0);
    EXPECT_EQ(json["sample_count"].toInt(), 3);
    EXPECT_EQ(json["column_count"].toInt(), 2);
    EXPECT_EQ(json["descriptions"].toArray(), QJsonArray({"A", "B"}));
    EXPECT_EQ(json["window"].toArray(), QJsonArray({1, 3}));
    EXPECT_EQ(json["filter"].toString(), "0");
    EXPECT_EQ(json["actuator"].toObject(), QJsonObject({{"maximum", "100"}, {"minimum", "0"}, {"opening", "100"}}));
    EXPECT_EQ(json["unreadable_fields"].toInt(), 1);
    EXPECT_EQ(json["times"].toArray(), QJsonArray({0, 1, 2}));
    EXPECT_EQ(json["columns"].toArray()[0].toArray(), QJsonArray({1.5, 3, 5}));
}

TEST_F(CliData, HeaderUsesTheSystemLocaleSeparator) {
    const auto path = Write("comma.hvd", Hvd("0,25"));
    const auto german = RunCli({"data", path}, "de_DE.UTF-8");
    ASSERT_EQ(german.status, 0) << german.err;
    EXPECT_EQ(Parse(german.out)["sampling_time"].toDouble(), 0.25);

    // Swiss German writes a point: the territory decides over the language.
    EXPECT_EQ(RunCli({"data", path}, "de_CH.UTF-8").status, 1);

    const auto plain = RunCli({"data", path});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.err, "'0,25' is not a valid floating point value\n");
}

TEST_F(CliData, FailuresAndUsage) {
    const QString missing = folder_.filePath("missing.hvd");
    const auto failed = RunCli({"data", missing});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "Cannot open file " + missing.toStdString() + "\n");

    auto lines = Hvd("1");
    lines[6] = "start";
    const auto badWindow = RunCli({"data", Write("window.hvd", lines)});
    EXPECT_EQ(badWindow.status, 1);
    EXPECT_EQ(badWindow.err, "'start' is not a valid integer value\n");

    // A NUL byte in a header value is shown, and the message goes on after it.
    const auto nul = RunCli({"data", Write("nul.hvd", Hvd(std::string("1\0x", 3)))});
    EXPECT_EQ(nul.status, 1);
    EXPECT_EQ(nul.err, "'1\\0x' is not a valid floating point value\n");

    for (const QStringList& arguments : {QStringList{}, QStringList{"identify-nothing"}, QStringList{"data"},
                                         QStringList{"data", "a", "b"}, QStringList{"data", "a", "--value"}}) {
        const auto run = RunCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_NE(run.err.find("Usage: halvetra-cli"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }

    const auto help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("data FILE [--values]"), std::string::npos);
}

}  // namespace
