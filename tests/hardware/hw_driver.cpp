// hw_driver: the program as src/app/main.cpp builds it, driven line by line from stdin,
// for the scenarios in an emulated machine. Commands:
//   click NAME   click a button (Command5 = Com Test, Command1 Start, Command4 Next Page,
//                Command3 ReadAll, Command2 StopRead)
//   ok           close the message box on top
//   cpu MS       stay idle for MS milliseconds, then print "cpu: PERCENT" of one core
//   watch off    stop reporting (its polling costs CPU a benchmark should not count)
//   quit
// It reports on stdout, one line each, whatever the technician would see change:
// "box: TEXT | DETAIL", "status: ...", "buttons: ...", "port: open|closed", "page-last: N".
#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>

#include "app/program.h"
#include "app/quit_signals.h"
#include "support/fakes.h"

namespace {

void say(const char* what, const QString& text)
{
    std::printf("%s: %s\n", what, qPrintable(text));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("splice-records"));
    QCommandLineParser parser;
    const QCommandLineOption port("port", "Device; empty for the automatic choice.", "PATH"),
        log("log", "Record log.", "PATH");
    parser.addOptions({port, log});
    parser.process(app);

    splicerec::Program program(parser.value(port).toStdString(), parser.value(log).toStdString());
    auto& form1 = program.window();
    if (!splicerec::quitOnSignals(form1, [&form1] { form1.requestQuit(); }))
        return 1;

    // Everything the technician can see, reported when it changes.
    QPointer<QMessageBox> announced;
    std::map<std::string, QString> last;
    QTimer watch;
    const auto look = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible() && box != announced) {
            announced = box;
            say("box", box->text() + QStringLiteral(" | ") + box->informativeText());
        }
        // "page-last": the record on the last line of the page.
        const auto page = QString::fromStdString(form1.pageText()).split(QStringLiteral("\r\n")).last();
        const auto enabled = [&form1](splicerec::Button button) { return form1.buttonEnabled(button); };
        const std::map<std::string, QString> now = {
            {"status", QString::fromStdString(form1.statusText())},
            {"buttons", QString::fromStdString(splicerec::test::enabledButtons(enabled))},
            {"port", program.port().isOpen() ? QStringLiteral("open") : QStringLiteral("closed")},
            {"page-last", QString::number(page.startsWith(QStringLiteral("NO ")) ? page.mid(3, 5).toInt() : 0)}};
        for (const auto& [what, text] : now) {
            if (!last.contains(what) || last.at(what) != text)
                say(what.c_str(), text);
        }
        last = now;
    };
    QObject::connect(&watch, &QTimer::timeout, look);
    watch.start(20);

    const auto run = [&](const QString& line) {
        const auto words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            return;
        if (words[0] == QLatin1String("click") && words.size() == 2) {
            auto* button = form1.findChild<QAbstractButton*>(words[1]);
            if (!button || !button->isEnabled()) {
                say("disabled", words[1]);
                return;
            }
            say("click", words[1] + QStringLiteral(" ") + button->toolTip());
            button->click();  // returns when the handler does; later commands arrive meanwhile
        } else if (words[0] == QLatin1String("ok")) {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->done(QMessageBox::Ok);
            say("ok", {});
        } else if (words[0] == QLatin1String("cpu") && words.size() == 2) {
            // Our own watch stays still meanwhile, so only the program's work is counted.
            watch.stop();
            const std::clock_t start = std::clock();  // this process's CPU time, all threads
            const int ms = words[1].toInt();
            QTimer::singleShot(ms, &form1, [&, start, ms] {
                const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
                say("cpu", QString::number(seconds * 100000.0 / ms, 'f', 1));
                look();
                watch.start(20);
            });
        } else if (line == QLatin1String("watch off")) {
            watch.stop();
            say("watch", words[1]);
        } else if (words[0] == QLatin1String("quit")) {
            form1.requestQuit();
        } else {
            say("unknown", line);
        }
    };
    // Each command is queued, so one that blocks (a download, a box) does not hold the next.
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const auto count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, count);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const auto line = QString::fromUtf8(pending.left(end)).trimmed();
            QMetaObject::invokeMethod(&form1, [&run, line] { run(line); }, Qt::QueuedConnection);
        }
    });

    form1.show();
    say("ready", QString::number(::getpid()));
    return QApplication::exec();
}
