// halvetra-cli tune and simulate: the gains of a hand-checked model, the
// cascade, a model file as input, the CSV of the responses and the failures.
#include <QJsonArray>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "CliRunner.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<double> Row(const std::string& line) {
    std::vector<double> values;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) values.push_back(std::stod(field));
    return values;
}

}  // namespace

TEST(CliTune, PrintsTheGainsAsTuned) {
    // Set-point Chien-Hrones-Reswick on K 2, T 10 s, L 1 s.
    const Result result = RunCli({"tune", "--inner", "2,10,1", "--method", "2", "--robustness", "20"});
    ASSERT_EQ(result.status, 0) << result.err;
    const QJsonObject json = Parse(result.out);
    EXPECT_EQ(json.keys(), QStringList({"KdPID", "KiI", "KiPI", "KiPID", "KpP", "KpPI", "KpPID", "cascade", "kp_inner",
                                        "method", "recommended_sampling_time", "robustness", "robustness_factor"}));
    EXPECT_EQ(json["method"].toInt(), 2);
    EXPECT_EQ(json["cascade"].toBool(), false);
    EXPECT_EQ(json["kp_inner"].toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(json["KpPID"].toDouble(), 3.0);  // not multiplied by the robustness factor
    EXPECT_DOUBLE_EQ(json["KiPID"].toDouble(), 0.3);
    EXPECT_DOUBLE_EQ(json["KdPID"].toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(json["KpPI"].toDouble(), 1.75);
    EXPECT_DOUBLE_EQ(json["KiPI"].toDouble(), 1.75 / 12);
    EXPECT_NEAR(json["robustness_factor"].toDouble(), 2.6456, 1e-4);
    // The recommended sampling time uses the gains times the factor, to the millisecond.
    const double f = json["robustness_factor"].toDouble();
    const double expected = std::nearbyint(100 * std::min(10 / (1.75 * f * 2), 1 / (1.75 / 12 * f * 2))) * 0.001;
    EXPECT_NEAR(json["recommended_sampling_time"].toDouble(), expected, 1e-12);
}

TEST(CliTune, RobustnessFiguresAndTheComparisonOfRules) {
    // SIMC on e^-s / (s + 1) at a small Ts: the published PI figures; no I
    // controller, so no figures for it; a P controller has no IAE.
    const Result tuned = RunCli({"tune", "--inner", "1,1,1", "--method", "7", "--sampling-time", "0.01"});
    ASSERT_EQ(tuned.status, 0) << tuned.err;
    const QJsonObject robustness = Parse(tuned.out)["robustness"].toObject();
    EXPECT_EQ(robustness.keys(), QStringList({"I", "P", "PI", "PID"}));
    EXPECT_TRUE(robustness["I"].toObject().isEmpty());
    const QJsonObject pi = robustness["PI"].toObject();
    EXPECT_EQ(pi.keys(), QStringList({"gain_margin", "iae_disturbance", "iae_setpoint", "ms", "mt", "phase_margin_deg",
                                      "stable"}));
    EXPECT_TRUE(pi["stable"].toBool());
    EXPECT_NEAR(pi["ms"].toDouble(), 1.59, 0.03);
    EXPECT_NEAR(pi["iae_setpoint"].toDouble(), 2.17, 0.03);
    EXPECT_FALSE(robustness["P"].toObject().contains("iae_setpoint"));

    // Every rule but "no rule"; a rule without a tuning for the model shows
    // its error and the others still compare; an unstable loop shows only that.
    const Result compared = RunCli({"compare", "--inner", "2,10,1", "--type", "PID", "--sampling-time", "0.1"});
    ASSERT_EQ(compared.status, 0) << compared.err;
    const QJsonArray rules = Parse(compared.out)["rules"].toArray();
    ASSERT_EQ(rules.size(), 9);
    EXPECT_EQ(rules[6].toObject()["name"].toString(), "SIMC");
    EXPECT_EQ(rules[7].toObject()["name"].toString(), "AMIGO");
    EXPECT_EQ(rules[8].toObject()["name"].toString(), "Optimal (Ms-constrained)");
    EXPECT_TRUE(rules[7].toObject().contains("Kd"));
    EXPECT_NEAR(rules[6].toObject()["figures"].toObject()["ms"].toDouble(), 1.59, 0.05);
    const Result noDeadTime = RunCli({"compare", "--inner", "2,10,0"});
    ASSERT_EQ(noDeadTime.status, 0) << noDeadTime.err;
    EXPECT_EQ(Parse(noDeadTime.out)["rules"].toArray()[6].toObject()["error"].toString(),
              "Floating point division by zero");
    const Result aggressive = RunCli({"compare", "--inner", "1,1,3", "--robustness", "20"});
    ASSERT_EQ(aggressive.status, 0) << aggressive.err;
    const QJsonObject zn = Parse(aggressive.out)["rules"].toArray()[0].toObject()["figures"].toObject();
    EXPECT_EQ(zn.keys(), QStringList({"stable"}));
    EXPECT_EQ(RunCli({"compare", "--inner", "1,10,2", "--type", "PD"}).status, 2);

    // Method 9: the gains as for every method, factor 1 and the Ms target of
    // the slider, which its loops meet; in the comparison its PI has the
    // least load IAE of all rules whose loop is at least as robust.
    const Result optimal =
        RunCli({"tune", "--inner", "1,5,1", "--method", "9", "--robustness", "10", "--sampling-time", "0.05"});
    ASSERT_EQ(optimal.status, 0) << optimal.err;
    const QJsonObject tunedOptimal = Parse(optimal.out);
    EXPECT_TRUE(tunedOptimal.contains("KdPID"));
    EXPECT_EQ(tunedOptimal["robustness_factor"].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(tunedOptimal["ms_target"].toDouble(), 1.6);
    for (const char* type : {"I", "PI", "PID", "P"})
        EXPECT_LE(tunedOptimal["robustness"].toObject()[type].toObject()["ms"].toDouble(), 1.6 * 1.005) << type;
    const Result ranked = RunCli({"compare", "--inner", "1,5,1", "--sampling-time", "0.05", "--robustness", "20"});
    ASSERT_EQ(ranked.status, 0) << ranked.err;
    const QJsonArray all = Parse(ranked.out)["rules"].toArray();
    const QJsonObject best = all[8].toObject();
    EXPECT_DOUBLE_EQ(best["ms_target"].toDouble(), 2.0);
    const double bestIae = best["figures"].toObject()["iae_disturbance"].toDouble();
    for (const QJsonValue& rule : all) {
        const QJsonObject f = rule.toObject()["figures"].toObject();
        if (f.contains("ms") && f["ms"].toDouble() <= 2.0) {
            EXPECT_GE(f["iae_disturbance"].toDouble(), bestIae) << rule.toObject()["name"].toString().toStdString();
        }
    }
}

TEST(CliTune, TunesACascadeFromAModelFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("m.hvm");
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        const char* values[] = {"1.5", "8",  "2", "1", "0", "0", "0", "0.02",
                                "0.8", "20", "3", "1", "0", "0", "0", "0.03"};
        out << "HALVETRA Model\r\nV1.0\r\n";
        for (const char* v : values) out << "label\r\n" << v << "\r\n";
        out << "Stevilo vzorcev:\r\n0\r\nPodatki:\r\n";
    }
    const Result fromFile = RunCli({"tune", "--model", path, "--cascade", "--method", "5"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    const Result fromOptions = RunCli({"tune", "--inner", "1.5,8,2", "--outer", "0.8,20,3", "--cascade", "--method=5"});
    ASSERT_EQ(fromOptions.status, 0) << fromOptions.err;
    EXPECT_EQ(fromFile.out, fromOptions.out);
    const QJsonObject json = Parse(fromFile.out);
    EXPECT_EQ(json["cascade"].toBool(), true);
    EXPECT_GT(json["kp_inner"].toDouble(), 0.0);
    EXPECT_EQ(json["KdPID"].toDouble(), 0.0);  // the outer PID of a cascade is its PI
    EXPECT_EQ(json["KpPID"].toDouble(), json["KpPI"].toDouble());
}

TEST(CliSimulate, PrintsTheResponsesAsCsv) {
    const Result result = RunCli({"simulate", "--inner", "1,10,2", "--method", "2"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 72u);  // header and n = Round((10 L + 5 T) / Ts) + 1 = 71 samples
    EXPECT_EQ(lines[0], "t,OL,CL_I,CL_PI,CL_PID,CL_P");
    EXPECT_EQ(Row(lines[1]), std::vector<double>(6, 0.0));
    const auto last = Row(lines[71]);
    EXPECT_EQ(last[0], 70.0);
    EXPECT_NEAR(last[1], 1.0, 1e-2);  // the open loop settles at 1
    EXPECT_NEAR(last[3], 1.0, 5e-2);  // so does the PI loop

    const Result disturbance = RunCli({"simulate", "--inner", "1,10,2", "--response", "1", "--sampling-time", "0.5"});
    ASSERT_EQ(disturbance.status, 0) << disturbance.err;
    const auto rows = Lines(disturbance.out);
    ASSERT_EQ(rows.size(), 142u);                 // n = 141 at Ts 0.5 s
    EXPECT_NEAR(Row(rows.back())[3], 0.0, 5e-2);  // the PI loop removes the disturbance

    // The sampling-time text is read as the page's edit reads it.
    EXPECT_EQ(RunCli({"simulate", "--inner", "1,10,2", "--sampling-time", "0,5"}, "de_DE.UTF-8").status, 0);
}

TEST(CliSimulate, FailuresEndWithTheSystemsText) {
    const Result zeroGain = RunCli({"simulate", "--inner", "0,10,2"});
    EXPECT_EQ(zeroGain.status, 1);
    EXPECT_EQ(zeroGain.err, "Floating point division by zero\n");
    EXPECT_TRUE(zeroGain.out.empty());
    const Result badTime = RunCli({"simulate", "--inner", "1,10,2", "--sampling-time", "fast"});
    EXPECT_EQ(badTime.status, 1);
    EXPECT_EQ(badTime.err, "'fast' is not a valid floating point value\n");
    // Numbers that overflow end the command as on the Controller page: no
    // null, NaN or Inf is ever printed.
    for (const QStringList& arguments : {QStringList{"tune", "--inner", "1e-320,10,2"},
                                         QStringList{"simulate", "--inner", "1,10,2", "--sampling-time", "1e308"}}) {
        const Result overflow = RunCli(arguments);
        EXPECT_EQ(overflow.status, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(overflow.err, "Floating point overflow\n") << arguments.join(' ').toStdString();
        EXPECT_TRUE(overflow.out.empty()) << overflow.out;
    }
    EXPECT_EQ(RunCli({"tune", "--inner", "1,10,2", "--method", "10"}).status, 2);
    EXPECT_EQ(RunCli({"tune", "--inner", "1,10"}).status, 2);
    EXPECT_EQ(RunCli({"tune"}).status, 2);
    EXPECT_EQ(RunCli({"tune", "--inner", "1,10,2", "--robustness", "21"}).status, 2);
    EXPECT_EQ(RunCli({"tune", "--inner", "1;10;2"}).status, 2);
}

// Integrating processes given as K,L[,T]: SIMC's gains by its formulas, the
// other rules refused by name, the ramp of the open loop levelling at 1, the
// closed loops settling, and a model file whose outer gain line is marked
// integrating tuning as the options do.
TEST(CliTune, IntegratingProcessesFromOptionsAndAModelFile) {
    const Result tuned = RunCli({"tune", "--inner-integrating", "0.05,3", "--method", "7"});
    ASSERT_EQ(tuned.status, 0) << tuned.err;
    const QJsonObject json = Parse(tuned.out);
    EXPECT_DOUBLE_EQ(json["KpPI"].toDouble(), 1 / (0.05 * 6));
    EXPECT_DOUBLE_EQ(json["KiPI"].toDouble(), 1 / (0.05 * 6) / 24);
    EXPECT_TRUE(json["robustness"].toObject()["PI"].toObject()["stable"].toBool());
    const Result refused = RunCli({"tune", "--inner-integrating", "0.05,3", "--method", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "The rule MOMI method - control does not apply to integrating processes; choose SIMC, AMIGO or the "
              "optimal rule\n");

    const Result single = RunCli({"simulate", "--inner-integrating", "0.05,3,1", "--method", "7"});
    ASSERT_EQ(single.status, 0) << single.err;
    const auto lines = Lines(single.out);
    ASSERT_EQ(lines.size(), 102u);                 // n = Round((30 L + 10 T) / Ts) + 1 = 101 samples
    EXPECT_NEAR(Row(lines.back())[1], 1.0, 1e-9);  // the ramp stops at 1 after the pulse
    EXPECT_NEAR(Row(lines.back())[3], 1.0, 2e-2);

    QTemporaryDir dir;
    const QString path = dir.filePath("level.hvm");
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        const char* values[] = {"2", "10", "1", "1", "0", "0", "0",   "0.02", "integrating 0.05",
                                "0", "4",  "1", "0", "0", "0", "0.03"};
        out << "HALVETRA Model\r\nV1.1\r\n";
        for (const char* v : values) out << "label\r\n" << v << "\r\n";
        out << "Stevilo vzorcev:\r\n0\r\nPodatki:\r\n";
    }
    const Result fromFile = RunCli({"simulate", "--model", path, "--cascade", "--method", "7"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    const Result fromOptions =
        RunCli({"simulate", "--inner", "2,10,1", "--outer-integrating", "0.05,4", "--cascade", "--method", "7"});
    EXPECT_EQ(fromFile.out, fromOptions.out);
    EXPECT_NEAR(Row(Lines(fromFile.out).back())[3], 1.0, 2e-2);

    EXPECT_EQ(RunCli({"tune", "--inner-integrating", "0.05"}).status, 2);
    EXPECT_EQ(RunCli({"tune", "--inner", "1,10,2", "--inner-integrating", "0.05,3"}).status, 2);
    EXPECT_EQ(RunCli({"tune", "--inner", "1,10,2", "--outer", "1,2,3", "--outer-integrating", "0.05,3"}).status, 2);
}
