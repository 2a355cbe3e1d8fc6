// fault_driver: the program as src/app/main.cpp builds it, with scripted clicks, for the
// fault tests that need a process of its own (quitting by signal). It reports on stdout
// each click and message box as it happens, and the window's final state.
#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdio>

#include "app/quit_signals.h"
#include "faults/outcome.h"
#include "log/record_log.h"
#include "protocol/clock.h"
#include "serial/qt_serial_port.h"

static void say(const char* what, const QString& text)
{
    std::printf("%s: %s\n", what, qPrintable(text));
    std::fflush(stdout);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("splice-records"));
    QCommandLineParser parser;
    const QCommandLineOption port("port", "Device.", "PATH"), log("log", "Record log.", "PATH"),
        click("click", "Button to click once the window is up (repeatable).", "NAME");
    parser.addOptions({port, log, click});
    parser.process(app);

    splicerec::QtSerialPort serialPort(parser.value(port));
    splicerec::SteadyClock clock;
    splicerec::Form1 form1(serialPort, clock, splicerec::RecordLog(parser.value(log).toStdString()));
    if (!splicerec::quitOnSignals(form1))
        return 1;

    // Boxes are left open: nobody is at the keyboard, so the test quits from inside them.
    QPointer<QMessageBox> announced;
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible() && box != announced)
            say("box", (announced = box)->text());
    });
    boxWatch.start(10);
    QTimer::singleShot(0, &form1, [&] {
        for (const auto& name : parser.values(click)) {
            if (form1.quitRequested())
                break;
            say("click", name);
            if (auto* button = form1.findChild<QAbstractButton*>(name))
                button->click();
        }
    });
    form1.show();
    const int code = QApplication::exec();

    const auto outcome = splicerec::test::outcomeOf(form1, serialPort.isOpen(), {});
    say("status", outcome.status);
    say("buttons", outcome.buttons);
    say("port", outcome.portOpen ? QStringLiteral("open") : QStringLiteral("closed"));
    say("page-last", QString::number(outcome.pageLast));
    return code;
}
