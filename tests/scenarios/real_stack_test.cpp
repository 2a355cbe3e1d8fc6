// The scenario table against the program as it ships: its window, QtSerialPort on a
// pseudo-terminal, the record log on disk and the steady clock. Every row it can play runs
// here; a timer plays each step, also inside nested waits and boxes.
#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <csignal>
#include <ctime>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "app/program.h"
#include "app/quit_signals.h"
#include "pty_instrument.h"
#include "scenarios/outcome.h"
#include "support/fakes.h"
#include "window/qt_support.h"

namespace splicerec::test {
namespace {

struct Rig {
    explicit Rig(const Scenario& row)
        : row(row), player(row.steps), instrument(row.behaviour)
    {
        device = instrument.devicePath();
        logPath = dir.filePath("RECORD.txt");
        const QString served = device;
        switch (row.setup) {
        case Setup::MissingDevice: device = dir.filePath("ttyUSB7"); break;
        case Setup::SymlinkToHeld: QFile::link(served, device = dir.filePath("splicer")); [[fallthrough]];
        case Setup::DeviceHeld: (holder = std::make_unique<QtSerialPort>(served))->open(); break;
        case Setup::NoPermission: QFile::setPermissions(device, {}); break;
        case Setup::LogFailsAtOnce: logPath = "/dev/full"; break;
        case Setup::LogFolderMissing: logPath = dir.filePath("gone/RECORD.txt"); break;
        case Setup::LogIsFifo: ::mkfifo(QFile::encodeName(logPath).constData(), 0600); break;
        case Setup::LogWithoutLineEnd: {
            QFile log(logPath);
            if (log.open(QIODevice::WriteOnly))
                log.write(QByteArray::fromStdString(expectedLine(57)));
            break;
        }
        case Setup::LogCutMidLine:  // two lines of 42 bytes fit, the third is cut after 16
            ::getrlimit(RLIMIT_FSIZE, &savedLimit);
            smallLimit = {100, savedLimit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &smallLimit);
            savedSigxfsz = std::signal(SIGXFSZ, SIG_IGN);
            break;
        case Setup::OpenFailsOnce:
        case Setup::LogFolderVanishes:
        case Setup::None: break;
        }
        program = std::make_unique<Program>(device.toStdString(), logPath.toStdString());
        auto& form = program->window();
        quitOnSignals(form, [this, &form] {
            quitAt = clock.elapsed();
            form.requestQuit();
        });
        form.show();
    }
    ~Rig()
    {
        if (smallLimit.rlim_cur) {
            ::setrlimit(RLIMIT_FSIZE, &savedLimit);
            std::signal(SIGXFSZ, savedSigxfsz);
        }
    }
    void play()
    {
        clock.start();
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
        ticker.start(2);
    }
    static QMessageBox* openBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }
    bool finished() const { return player.done() && busy == 0 && !openBox(); }
    void act(const Step& step)
    {
        switch (step.action) {
        case Step::Click:  // by its caption, as the technician finds it
            for (auto* button : program->window().findChildren<QAbstractButton*>())
                if (button->text() == QLatin1String(step.button))
                    return QTest::mouseClick(button, Qt::LeftButton);
            return;
        case Step::HangUp:
            hangUpAt = clock.elapsed();
            return instrument.hangUp();
        case Step::Quit: return program->window().requestQuit();
        case Step::CloseWindow: return void(program->window().close());
        case Step::DestroyWindow: return program->window().windowHandle()->destroy();
        case Step::Stall: return std::this_thread::sleep_for(std::chrono::milliseconds(kStallMs));
        case Step::Sigterm:
            signalledAt = clock.elapsed();
            ::kill(::getpid(), SIGTERM);
            return;
        case Step::AnswerBox: return;
        }
    }
    // Fires every 2 ms, also inside nested waits and message boxes.
    void tick()
    {
        const qint64 now = clock.elapsed();
        if (now > restWithinMs && program && !program->window().quitRequested()) {
            timedOut = true;  // end every wait: fail, do not hang
            program->window().requestQuit();
        }
        if (!hangUpAt && instrument.instrument().hungUp())
            hangUpAt = now;
        if (hangUpAt && !closedAfterHangUp && program && !program->port().isOpen())
            closedAfterHangUp = now - *hangUpAt;
        auto* box = openBox();
        if (box && !boxNoted && row.screenshot)  // the box of a row with a screenshot, for the README
            box->grab().save(QDir(testOutputDir()).filePath(QStringLiteral("box-") + QLatin1String(row.screenshot)));
        if (box && !boxNoted)
            boxes.push_back((box->informativeText().isEmpty() ? box->text() : box->text() + '\n' + box->informativeText()).toStdString());
        boxNoted = box != nullptr;
        if (const Step* step = player.due(now, instrument.received().size(), busy == 0 && !box, box != nullptr)) {
            ++busy;
            // Out of the timer's slot, so that the timer keeps firing inside the step.
            QTimer::singleShot(0, [this, step] {
                act(*step);
                --busy;
            });
        } else if (box && !player.nextIsInBox()) {
            box->button(QMessageBox::Ok)->click();
            boxNoted = false;
        }
    }
    Outcome outcome()
    {
        auto& form = program->window();
        const auto enabled = [&form](Button button) { return form.buttonEnabled(button); };
        Outcome got{boxes, form.statusText(), enabledButtons(enabled), program->port().isOpen(), {}, form.pageText(),
                    instrument.received().toStdString()};
        QFile log(logPath);
        const bool readable = QFileInfo(logPath).isFile() && log.open(QIODevice::ReadOnly);
        for (const auto& line : QString::fromLatin1(readable ? log.readAll() : "").split("\r\n", Qt::SkipEmptyParts))
            got.log.push_back(line.toStdString());
        return got;
    }

    const Scenario& row;
    StepPlayer player;
    QTemporaryDir dir;
    sim::PtyInstrument instrument;
    std::unique_ptr<QtSerialPort> holder;
    std::unique_ptr<Program> program;
    QString device, logPath;
    rlimit savedLimit{}, smallLimit{};
    void (*savedSigxfsz)(int) = nullptr;
    QElapsedTimer clock;
    QTimer ticker;
    qint64 restWithinMs = 30'000, signalledAt = -1, quitAt = -1;
    int busy = 0;
    std::optional<qint64> hangUpAt, closedAfterHangUp;
    bool boxNoted = false, timedOut = false;
    std::vector<std::string> boxes;
};

class RealStack : public testing::TestWithParam<Scenario> {};

TEST_P(RealStack, endsAsTheRowSaysAndComesToRest)
{
    const Scenario& row = GetParam();
    if (::geteuid() == 0 && row.setup == Setup::NoPermission)
        GTEST_SKIP() << "root ignores permissions";
    Rig rig(row);
    EXPECT_EQ(rig.outcome().buttons, "") << "after start-up only Com Test is enabled";
    rig.play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.finished(); }, rig.restWithinMs + 10'000));
    rig.ticker.stop();
    EXPECT_FALSE(rig.timedOut) << "not at rest in time";
    const Outcome got = rig.outcome();
    // At rest means idle: no handler polling, no port error repeating.
    const std::clock_t before = std::clock();
    QTest::qWait(500);
    EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.1) << "CPU seconds in 0.5 s at rest";
    if (row.screenshot) {
        const QString shot = QDir(testOutputDir()).filePath(QLatin1String(row.screenshot));
        EXPECT_TRUE(rig.program->window().grab().save(shot, "PNG")) << shot.toStdString();
    }
    if (rig.signalledAt >= 0) {
        EXPECT_LT(rig.quitAt - rig.signalledAt, 1000) << "ms from SIGTERM to the window closing";
    }
    expectOutcome(row, got, rig.device.toStdString(), rig.logPath.toStdString());

    // A program that quit mid-wait leaves the device free for the next opener.
    rig.program.reset();
    if (row.steps.back().action >= Step::Quit) {
        EXPECT_NO_THROW(QtSerialPort(rig.device).open());
    }

    // Plugging the adapter back in, within one run of the program, is a scenario of the emulated machine.
    if (std::find(row.boxes.begin(), row.boxes.end(), kLost) != row.boxes.end()) {
        ASSERT_TRUE(rig.closedAfterHangUp.has_value()) << "the port stayed open after the hang-up";
        EXPECT_LT(*rig.closedAfterHangUp, 1000);
    }
}

// Linux: device nodes, a FIFO, signals, a window of its own and a log file on disk;
// /dev/full and a file size limit fill the disk.
INSTANTIATE_TEST_SUITE_P(Scenarios, RealStack,
                         testing::ValuesIn(rowsFor(kPseudoTerminal | kPosixFiles | kPosixSignals | kWindowSystem |
                                                   kFullDisk | kLogFile)),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace splicerec::test
