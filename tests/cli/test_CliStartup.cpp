// What halvetra-cli loads: the computing subcommands start with the C++
// runtime alone (the dynamic loader lists every library it opens when
// LD_DEBUG=files is set), while the subcommands that need the windows or the
// plant link are handed over and do load them.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "CliRunner.h"

#include <string>

namespace {

// The libraries of the windows, the charts and the OPC UA client, and Qt itself.
bool LoadsHeavyLibraries(const std::string& loaderLog) {
    for (const char* library : {"file=libQt6", "file=libqcustomplot", "file=libopen62541"})
        if (loaderLog.find(library) != std::string::npos) return true;
    return false;
}

TEST(CliStartup, ComputingSubcommandsLoadNoQtNoChartsAndNoPlantLink) {
    const QString record = QStringLiteral(HALVETRA_SOURCE_DIR "/examples/cascade-steps.hvd");
    QTemporaryDir folder;
    const QString model = folder.filePath("m.hvm");
    qputenv("LD_DEBUG", "files");
    const struct Case {
        QStringList arguments;
        bool heavy;
    } cases[] = {
        {{"--help"}, false},
        {{"data", record, "--values"}, false},
        {{"identify", record, "--save-model", model}, false},
        {{"tune", "--model", model}, false},
        {{"simulate", "--inner", "1,10,2", "--outer", "0.5,20,3", "--cascade"}, false},
        // Handed over: proves that the loader's log is seen at all.
        {{"chain", "--help"}, true},
    };
    for (const auto& c : cases) {
        const auto run = RunCli(c.arguments);
        const std::string name = c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_NE(run.err.find("file=libstdc++"), std::string::npos) << name;
        EXPECT_EQ(LoadsHeavyLibraries(run.err), c.heavy) << name;
    }
    qunsetenv("LD_DEBUG");
}

TEST(CliStartup, WithoutItsSecondProgramTheHandedOverSubcommandsFailByName) {
    QTemporaryDir folder;
    const QString alone = folder.filePath("halvetra-cli");
    ASSERT_TRUE(QFile::copy(HALVETRA_CLI_PATH, alone));
    QProcess process;
    process.start(alone, {"chain", "--help"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(process.readAllStandardOutput(), "");
    EXPECT_EQ(process.readAllStandardError().toStdString(), "halvetra-cli: cannot start " +
                                                                folder.filePath("halvetra-cli-full").toStdString() +
                                                                ": No such file or directory\n");
}

}  // namespace
