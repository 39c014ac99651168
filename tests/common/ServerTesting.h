#pragma once
// What the tests against an OPC UA server share, whether the server runs in
// the test process or as halvetra-plant beside it: a free loopback port for
// it, the Qt application the client's timer needs, waits that keep the event
// loop running, and the text of an error.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace testing_common {

// A loopback port nobody listens on (at the time of asking).
inline std::uint16_t FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no free port");
    ::close(s);
    return ntohs(address.sin_port);
}

// One application object for the test program, named at the first call.
inline void EnsureApplication(const char* programName) {
    static int argc = 1;
    static std::string name = programName;
    static char* argv[] = {name.data(), nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// Processes events until the condition holds (true) or the time is up (false).
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Lets the connection's updates arrive for `milliseconds` of real time.
inline void ProcessEventsFor(int milliseconds) {
    WaitFor([] { return false; }, milliseconds);
}

// The text of the error the action raises, "(no error)" when it succeeds.
inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace testing_common
