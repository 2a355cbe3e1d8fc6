// scenario-line ROW FOLDER: the instrument of one scenario row on a pseudo-terminal, for a
// runner that cannot serve one itself (a Windows program under Wine, on COM1). Prints the
// pseudo-terminal's path, then talks to the runner through files in FOLDER:
//   heard    every byte the instrument has heard, appended as it hears it
//   hung-up  made once the line is down, by the row's behaviour or on cue
//   hang-up  made by the runner: drop the line now
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "pty_instrument.h"
#include "scenarios/scenarios.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: scenario-line ROW FOLDER\n");
        return 2;
    }
    const auto& rows = splicerec::test::kScenarios;
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return std::strcmp(r.name, argv[1]) == 0; });
    if (row == rows.end()) {
        std::fprintf(stderr, "scenario-line: no row %s\n", argv[1]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QFile heard(folder + "/heard");
    if (!heard.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "scenario-line: cannot write %s\n", qPrintable(heard.fileName()));
        return 1;
    }
    try {
        splicerec::sim::PtyInstrument instrument(row->behaviour);
        std::printf("%s\n", qPrintable(instrument.devicePath()));
        std::fflush(stdout);

        // The runner's steps wait on what is heard: a millisecond late at most.
        QTimer watch;
        watch.setTimerType(Qt::PreciseTimer);
        qsizetype written = 0;
        bool down = false;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const auto received = instrument.received();
            if (received.size() > written) {
                const auto fresh = received.mid(written);
                if (heard.write(fresh) != fresh.size() || !heard.flush()) {
                    std::fprintf(stderr, "scenario-line: cannot write %s\n", qPrintable(heard.fileName()));
                    QCoreApplication::exit(1);
                }
                written = received.size();
            }
            if (down)
                return;
            const bool cued = QFile::exists(folder + "/hang-up");
            if (cued)
                instrument.hangUp();
            if (cued || instrument.instrument().hungUp()) {
                down = true;
                QFile(folder + "/hung-up").open(QIODevice::WriteOnly);
            }
        });
        watch.start(1);
        return app.exec();
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "scenario-line: %s\n", error.what());
        return 1;
    }
}
