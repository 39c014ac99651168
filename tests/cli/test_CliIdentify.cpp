// halvetra-cli identify on a recorded cascade step: the models it prints, the
// options that override the file's settings, the model file it writes, and
// its failures.
#include <QJsonArray>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <sstream>

#include "CliRunner.h"

namespace {

// An .hvd file of a cascade: the input steps by 10 at sample 50; the inner
// output follows with K 2, T 8 s, L 3 s; the outer output follows the inner
// one with K 0.5, T 15 s, L 5 s (a level: integrates it with a slope gain of
// 0.01 per second after 5 s). Ts = 1 s, window 1 .. n in the header.
QString WriteCascade(const QTemporaryDir& dir, int n = 400, bool level = false) {
    const QString path = dir.filePath("cascade.hvd");
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "HALVETRA Mesurements\r\nV1.0\r\n1.1.2026\r\n08:00:00\r\n1\r\n"
        << n << "\r\n1\r\n"
        << n << "\r\n0\r\n100\r\n0\r\n0\r\nMV\r\nMV\r\nU\r\nU\r\nY\r\nY2\r\n";
    std::vector<double> u(n), y(n), y2(n);
    double a = 0, b = 0;
    for (int k = 0; k < n; ++k) {
        u[k] = k >= 50 ? 10.0 : 0.0;
        y[k] = a;
        y2[k] = b;
        a += (1 - std::exp(-1.0 / 8.0)) * (2.0 * (k >= 3 ? u[k - 3] : 0.0) - a);
        if (level)
            b += 0.01 * (k >= 5 ? y[k - 5] : 0.0);
        else
            b += (1 - std::exp(-1.0 / 15.0)) * (0.5 * (k >= 5 ? y[k - 5] : 0.0) - b);
    }
    for (int k = 0; k < n; ++k) {
        std::ostringstream row;
        row.precision(12);
        row << k << '\t' << u[k] << '\t' << u[k] << '\t' << u[k] << '\t' << u[k] << '\t' << y[k] << '\t' << y2[k];
        out << row.str() << "\r\n";
    }
    return path;
}

}  // namespace

TEST(CliIdentify, PrintsBothModelsOfTheFilesWindow) {
    QTemporaryDir dir;
    const Result result = RunCli({"identify", WriteCascade(dir)});
    ASSERT_EQ(result.status, 0) << result.err;
    const QJsonObject json = Parse(result.out);
    EXPECT_EQ(json.keys(), QStringList({"inner", "outer", "sampling_time", "window"}));
    EXPECT_EQ(json["sampling_time"].toDouble(), 1.0);
    EXPECT_EQ(json["window"].toArray(), QJsonArray({1, 400}));
    const QJsonObject inner = json["inner"].toObject();
    EXPECT_EQ(inner.keys(), QStringList({"dead_time", "gain", "gain_deviation", "quality", "relative_error", "std",
                                         "time_constant", "time_constant_deviation"}));
    EXPECT_NEAR(inner["gain"].toDouble(), 2.0, 0.05);
    EXPECT_NEAR(inner["time_constant"].toDouble(), 8.0, 1.0);
    EXPECT_NEAR(inner["dead_time"].toDouble(), 4.0, 1.0);  // the reference runs one sample late
    const QJsonObject outer = json["outer"].toObject();
    EXPECT_NEAR(outer["gain"].toDouble(), 0.5, 0.02);
    EXPECT_NE(outer["quality"].toString(), "Bad");

    // --refine adds the refined model to each and leaves the rest as it was;
    // the record is an exact sampled process, so the inner one is exact.
    const Result refinedRun = RunCli({"identify", WriteCascade(dir), "--refine"});
    ASSERT_EQ(refinedRun.status, 0) << refinedRun.err;
    const QJsonObject withRefined = Parse(refinedRun.out);
    for (const char* name : {"inner", "outer"}) {
        QJsonObject set = withRefined[name].toObject();
        const QJsonObject refined = set.take("refined").toObject();
        EXPECT_EQ(set, json[name].toObject());
        QStringList keys = {"converged", "dead_time",  "dead_time_ci95", "fit_percent",       "gain",
                            "gain_ci95", "iterations", "time_constant",  "time_constant_ci95"};
        if (refined.contains("reason")) keys.insert(6, "reason");
        EXPECT_EQ(refined.keys(), keys) << name;
        EXPECT_EQ(refined["gain_ci95"].toArray().size(), 2);
        EXPECT_TRUE(refined["converged"].isBool());
    }
    const QJsonObject refinedInner = withRefined["inner"].toObject()["refined"].toObject();
    EXPECT_FALSE(refinedInner.contains("reason"));
    EXPECT_NEAR(refinedInner["gain"].toDouble(), 2.0, 1e-6);
    EXPECT_NEAR(refinedInner["time_constant"].toDouble(), 8.0, 1e-5);
    EXPECT_NEAR(refinedInner["dead_time"].toDouble(), 4.0, 1e-5);
}

// --process: "auto" finds the level of a flow cascade integrating and keeps
// the example's cascade self-regulating; each model then names its type, the
// integrating one with its intervals, and the model file marks it.
TEST(CliIdentify, ProcessTypesByChoiceAndAutomatically) {
    QTemporaryDir dir;
    const QString model = dir.filePath("level.hvm");
    const Result level = RunCli({"identify", WriteCascade(dir, 400, true), "--process", "auto", "--save-model", model});
    ASSERT_EQ(level.status, 0) << level.err;
    const QJsonObject json = Parse(level.out);
    const QJsonObject inner = json["inner"].toObject();
    const QJsonObject outer = json["outer"].toObject();
    EXPECT_EQ(inner["model_type"].toString(), "self-regulating");
    EXPECT_EQ(outer["model_type"].toString(), "integrating");
    EXPECT_NEAR(outer["gain"].toDouble(), 0.01, 0.005 * 0.01);
    EXPECT_NEAR(outer["dead_time"].toDouble(), 6.0, 0.05);
    EXPECT_NEAR(outer["time_constant"].toDouble(), 0.0, 0.05);
    EXPECT_EQ(outer["quality"].toString(), "Very good");
    for (const char* key : {"gain_ci95", "time_constant_ci95", "dead_time_ci95", "fit_percent", "std"})
        EXPECT_TRUE(outer.contains(key)) << key;
    std::ifstream in(model.toStdString(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[19].rfind("integrating ", 0), 0u) << lines[19];

    const QString example = QStringLiteral(HALVETRA_SOURCE_DIR "/examples/cascade-steps.hvd");
    const Result plain = RunCli({"identify", example});
    const Result automatic = RunCli({"identify", example, "--process", "auto"});
    ASSERT_EQ(automatic.status, 0) << automatic.err;
    for (const char* name : {"inner", "outer"}) {
        QJsonObject set = Parse(automatic.out)[name].toObject();
        EXPECT_EQ(set.take("model_type").toString(), "self-regulating") << name;
        EXPECT_EQ(set, Parse(plain.out)[name].toObject()) << name;
    }
    EXPECT_EQ(RunCli({"identify", example, "--process", "level"}).status, 2);
}

TEST(CliIdentify, OptionsOverrideTheFileAndTheModelFileMatchesTheOutput) {
    QTemporaryDir dir;
    const QString file = WriteCascade(dir);
    const QString model = dir.filePath("out.hvm");
    const Result result = RunCli({"identify", file, "--start", "21", "--end=300", "--filter", "0", "--actuator",
                                  "100,0,0", "--columns", "1,3,5,6", "--save-model", model});
    ASSERT_EQ(result.status, 0) << result.err;
    const QJsonObject json = Parse(result.out);
    EXPECT_EQ(json["window"].toArray(), QJsonArray({21, 300}));

    std::ifstream in(model.toStdString(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
    ASSERT_EQ(lines.size(), 37u + 280u);
    EXPECT_EQ(lines[0], "HALVETRA Model");
    EXPECT_EQ(lines[35], "280");
    // The gain in the file is the printed one to 14 significant digits.
    EXPECT_NEAR(std::stod(lines[3]), json["inner"].toObject()["gain"].toDouble(),
                1e-13 * std::abs(std::stod(lines[3])));
}

TEST(CliIdentify, ClampsTheWindowAsTheSlidersDoAndRefusesBadOptions) {
    QTemporaryDir dir;
    const QString file = WriteCascade(dir, 100);
    const Result clamped = RunCli({"identify", file, "--start", "0", "--end", "5000"});
    ASSERT_EQ(clamped.status, 0) << clamped.err;
    EXPECT_EQ(Parse(clamped.out)["window"].toArray(), QJsonArray({1, 100}));

    const Result column = RunCli({"identify", file, "--columns", "1,3,5,7"});
    EXPECT_EQ(column.status, 1);
    EXPECT_EQ(column.err, "Column 7 is not a column of the file (1 .. 6)\n");
    EXPECT_TRUE(column.out.empty());

    const Result filter = RunCli({"identify", file, "--filter", "1,5"});
    EXPECT_EQ(filter.status, 1);
    EXPECT_EQ(filter.err, "'1,5' is not a valid floating point value\n");

    const Result empty = RunCli({"identify", file, "--start", "3000", "--end", "50"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err,
              "The identification window from sample 3000 to sample 50 is empty: its start lies after its end\n");
    EXPECT_TRUE(empty.out.empty());

    // A record of two columns has no column 3 for the default U.
    const QString narrow = dir.filePath("narrow.dat");
    {
        std::ofstream out(narrow.toStdString(), std::ios::binary);
        out << "1.1.2026;x\r\n\r\nA;B;\r\n\r\n\r\n";
        for (int k = 0; k < 30; ++k) out << "08:00:" << (k < 10 ? "0" : "") << k << ";" << (k > 10) << ";1;\r\n";
        out << "end\r\n";
    }
    const Result defaults = RunCli({"identify", narrow});
    EXPECT_EQ(defaults.status, 1);
    EXPECT_EQ(defaults.err,
              "Column 3 is not a column of the file (1 .. 2); choose the columns with --columns MV,U,Y,Y2\n");

    EXPECT_EQ(RunCli({"identify", file, "--actuator", "100,0"}).status, 2);
    EXPECT_EQ(RunCli({"identify", file, "--start"}).status, 2);
    EXPECT_EQ(RunCli({"identify"}).status, 2);
}
