#pragma once
// Runs the built halvetra-cli in a given locale and parses its JSON output.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <string>

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline Result RunCli(const QStringList& arguments, const QString& locale = "C") {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& name : {"LANG", "LANGUAGE", "LC_NUMERIC"}) environment.remove(name);
    environment.insert("LC_ALL", locale);
    // The program keeps servers used before and its certificate in the user's
    // configuration folder, and its write log and rescued records in the
    // user's data folder: tests use temporary ones, never the user's. A test
    // that chose its own temporary folder keeps it.
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        if (environment.value(variable).startsWith(QDir::tempPath() + '/')) continue;
        // Removed when the test program ends.
        static const QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("halvetra-cli-tests-XXXXXX")));
        const QString path = QDir(folder.path()).filePath(QString::fromLatin1(variable));
        QDir().mkpath(path);
        environment.insert(variable, path);
    }
    process.setProcessEnvironment(environment);
    process.start(HALVETRA_CLI_PATH, arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    Result result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

inline QJsonObject Parse(const std::string& text) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}
