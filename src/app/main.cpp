#include <QApplication>
#include <QSettings>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/options.h"
#include "app/program.h"
#include "app/quit_signals.h"
#include "log/record_log.h"
#include "serial/port_choice.h"

namespace {

void print(std::FILE* stream, const std::string& text)
{
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

// SPLICE_EXIT_WHEN_SHOWN=1: quit once the window has been painted, so that a benchmark
// can time the start-up from outside.
class ExitWhenShown : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // Queued, so the painted frame is flushed before the loop ends.
        if (event->type() == QEvent::Paint)
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("splice-records"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPLICE_VERSION));
    const QString defaultPort = splicerec::defaultPortPath();

    // The whole command line is read before the GUI starts: help, the version, the port
    // list and a mistake need no display, and a machine without one must still say them.
    const std::vector<std::string> arguments(argv, argv + argc);
    const auto command = splicerec::parseCommandLine(
        arguments, {SPLICE_VERSION, defaultPort.toStdString(), splicerec::RecordLog::defaultPath(), true});
    using Action = splicerec::ParsedCommandLine::Action;
    switch (command.action) {
    case Action::ShowHelp:
    case Action::ShowVersion: print(stdout, command.text); return command.exitCode();
    case Action::ListPorts:
        print(stdout, splicerec::formatPortList(splicerec::presentPorts(), defaultPort).toStdString());
        return command.exitCode();
    case Action::Fail: print(stderr, command.text); return command.exitCode();
    case Action::Run: break;
    }
    const auto& options = command.options;
    const std::string& logPath = options.logPath;

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("splice-records"));

    // Only a real port is picked and remembered.
    QSettings memory(QStringLiteral("splice-records"), QStringLiteral("splice-records"));
    const auto program = options.demo ? std::make_unique<splicerec::Program>(splicerec::Program::Demo{}, logPath)
                                      : std::make_unique<splicerec::Program>(options.port, logPath, &memory);
    auto& form1 = program->window();
    if (!splicerec::quitOnSignals(form1, [&form1] { form1.requestQuit(); })) {
        print(stderr, "splice-records: cannot install the signal handlers\n");
        return 1;
    }

    ExitWhenShown exitWhenShown;
    if (qEnvironmentVariableIsSet("SPLICE_EXIT_WHEN_SHOWN"))
        form1.installEventFilter(&exitWhenShown);
    form1.show();
    return QApplication::exec();
}
