#include <QApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "app/options.h"
#include "log/record_log.h"
#include "protocol/clock.h"
#include "pty_instrument.h"
#include "serial/port_choice.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"

namespace {

int quitPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int)
{
    // Only async-signal-safe work here: the event loop reads the pipe and quits.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(quitPipe[1], &byte, 1);
    errno = savedErrno;
}

// SIGINT and SIGTERM close the window the way the technician would, so a handler that
// is waiting unwinds and the program exits normally.
bool installQuitSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, quitPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0)
        return false;
    // A launcher may start us with these blocked so that an early signal waits for the
    // handler instead of killing us half-initialised.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGINT);
    sigaddset(&quitSignals, SIGTERM);
    return ::sigprocmask(SIG_UNBLOCK, &quitSignals, nullptr) == 0;
}

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("splice-records"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPLICE_VERSION));
    const QString defaultPort = splicerec::defaultPortPath();
    const QString defaultLog = QString::fromStdString(splicerec::RecordLog::defaultPath().string());

    // Help and version need no display, so they are answered before the GUI starts;
    // everything else is parsed after QApplication has taken out its own options.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    auto command = splicerec::parseCommandLine(rawArguments, defaultPort, defaultLog);
    if (command.action == splicerec::ParsedCommandLine::Action::ShowHelp ||
        command.action == splicerec::ParsedCommandLine::Action::ShowVersion) {
        print(stdout, command.text);
        return 0;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("splice-records"));

    command = splicerec::parseCommandLine(QApplication::arguments(), defaultPort, defaultLog);
    switch (command.action) {
    case splicerec::ParsedCommandLine::Action::ShowHelp:
    case splicerec::ParsedCommandLine::Action::ShowVersion:
        print(stdout, command.text);
        return 0;
    case splicerec::ParsedCommandLine::Action::Fail:
        print(stderr, command.text);
        return 2;
    case splicerec::ParsedCommandLine::Action::Run:
        break;
    }
    const auto& options = command.options;

    std::unique_ptr<splicerec::sim::PtyInstrument> demoInstrument;
    QString device = options.port;
    if (options.demo) {
        try {
            demoInstrument = std::make_unique<splicerec::sim::PtyInstrument>(splicerec::sim::Behaviour{.paced = true});
        } catch (const std::exception& error) {
            print(stderr, QStringLiteral("splice-records: cannot start the demo instrument: %1\n")
                              .arg(QString::fromLocal8Bit(error.what())));
            return 1;
        }
        device = demoInstrument->devicePath();
    }

    splicerec::QtSerialPort port(device);
    splicerec::SteadyClock clock;
    splicerec::Form1 form1(port, clock, splicerec::RecordLog(options.logPath.toStdString()));

    if (!installQuitSignals()) {
        print(stderr, QStringLiteral("splice-records: cannot install the signal handlers\n"));
        return 1;
    }
    QSocketNotifier quitNotifier(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &form1, [&form1] {
        char bytes[16];
        while (::read(quitPipe[0], bytes, sizeof bytes) > 0) {
        }
        form1.requestQuit();
    });

    form1.show();
    return QApplication::exec();
}
