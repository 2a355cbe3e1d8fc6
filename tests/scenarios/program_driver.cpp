// program_driver: the program as src/app/main.cpp builds it, with scripted clicks, for the
// scenarios that need a process of their own (quitting by signal). It reports on stdout
// each click and message box as it happens, and the window's final state.
#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

#include "app/program.h"
#include "app/quit_signals.h"
#include "support/fakes.h"

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

    splicerec::Program program(parser.value(port), parser.value(log).toStdString());
    auto& form1 = program.window();
    if (!splicerec::quitOnSignals(form1, [&form1] { form1.requestQuit(); }))
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

    const auto enabled = [&form1](splicerec::Button button) { return form1.buttonEnabled(button); };
    say("status", QString::fromStdString(form1.statusText()));
    say("buttons", QString::fromStdString(splicerec::test::enabledButtons(enabled)));
    say("port", program.port().isOpen() ? QStringLiteral("open") : QStringLiteral("closed"));
    say("page", QString::fromStdString(form1.pageText()).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")));
    return code;
}
