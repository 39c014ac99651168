#pragma once
// Runs halvetra-plant on a free loopback port for one test and kills it at
// the end.
#include <csignal>

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <stdexcept>
#include <string>

#include "../common/ServerTesting.h"

namespace testing_plant {

using testing_common::ErrorOf;
using testing_common::FreeLoopbackPort;
using testing_common::WaitFor;

class PlantProcess {
public:
    explicit PlantProcess(const QString& program, const QStringList& arguments = {}) {
        // A port found free may be taken before the plant binds it: try again.
        for (int attempt = 0; attempt < 3 && url_.empty(); ++attempt) Start(program, arguments);
        if (url_.empty()) throw std::runtime_error("halvetra-plant did not start: " + output_);
    }
    ~PlantProcess() { Kill(); }
    PlantProcess(const PlantProcess&) = delete;
    PlantProcess& operator=(const PlantProcess&) = delete;

    const std::string& Url() const { return url_; }

    // Stops the plant without closing its connections, as a hung server.
    void Freeze() {
        if (process_.state() == QProcess::Running) ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
    }

    // Ends the plant at once, as a crash would.
    void Kill() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(5000);
    }

private:
    void Start(const QString& program, const QStringList& arguments) {
        Kill();
        const QString port = QString::number(FreeLoopbackPort());
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, QStringList{"--port", port} + arguments);
        if (!process_.waitForStarted(5000)) throw std::runtime_error("cannot run " + program.toStdString());
        const QByteArray expected = "halvetra-plant listening on opc.tcp://127.0.0.1:" + port.toLatin1();
        QElapsedTimer timer;
        timer.start();
        QByteArray seen;
        while (timer.elapsed() < 10000 && process_.state() == QProcess::Running) {
            if (process_.canReadLine() || process_.waitForReadyRead(100)) {
                while (process_.canReadLine()) {
                    const QByteArray line = process_.readLine().trimmed();
                    seen += line + "\n";
                    if (line == expected) {
                        url_ = "opc.tcp://127.0.0.1:" + port.toStdString();
                        return;
                    }
                }
            }
        }
        output_ = seen.toStdString();
        Kill();
    }

    QProcess process_;
    std::string url_;
    std::string output_;
};

// The event loop the client needs: one application object for the program.
inline void EnsureApplication() { testing_common::EnsureApplication("halvetra-integration-tests"); }

// Lets the connection's updates arrive for `ms` milliseconds of real time.
inline void Pump(int ms) { testing_common::ProcessEventsFor(ms); }

}  // namespace testing_plant
