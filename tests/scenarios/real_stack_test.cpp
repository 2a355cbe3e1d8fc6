// The scenario table against the program as it ships: its window, QtSerialPort on a
// pseudo-terminal, the record log on disk and the steady clock. Only the rows that need
// the real stack run here; a timer plays each step, also inside nested waits and boxes.
#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <ctime>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

#include "app/program.h"
#include "pty_instrument.h"
#include "scenarios/outcome.h"
#include "support/fakes.h"
#include "window/qt_support.h"

namespace splicerec::test {
namespace {

std::vector<std::string> readLog(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    std::vector<std::string> lines;
    for (const auto& line : QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        lines.push_back(line.toStdString());
    return lines;
}

QString objectName(const char* caption)
{
    const std::pair<std::string, const char*> names[] = {
        {kTest, "Command5"}, {kStart, "Command1"}, {kNext, "Command4"}, {kAll, "Command3"}, {kStop, "Command2"}};
    for (const auto& [text, name] : names)
        if (text == caption)
            return QString::fromLatin1(name);
    return {};
}

struct Rig {
    explicit Rig(const Scenario& row) : row(row), instrument(std::make_unique<sim::PtyInstrument>(row.behaviour))
    {
        device = instrument->devicePath();
        logPath = dir.filePath("RECORD.txt");
        const QString served = device;
        switch (row.setup) {
        case Setup::MissingDevice: device = dir.filePath("ttyUSB7"); break;
        case Setup::SymlinkToHeld: QFile::link(served, device = dir.filePath("splicer")); [[fallthrough]];
        case Setup::DeviceHeld: (holder = std::make_unique<QtSerialPort>(served))->open(); break;
        case Setup::NoPermission: QFile::setPermissions(device, {}); break;
        case Setup::LogFailsAtOnce: logPath = "/dev/full"; break;
        case Setup::LogCutMidLine:  // two lines of 42 bytes fit, the third is cut after 16
            ::getrlimit(RLIMIT_FSIZE, &savedLimit);
            smallLimit = {100, savedLimit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &smallLimit);
            savedSigxfsz = std::signal(SIGXFSZ, SIG_IGN);
            break;
        case Setup::OpenFailsOnce:
        case Setup::None: break;
        }
        if (!row.inDriver())
            startProgram();
    }
    ~Rig()
    {
        if (smallLimit.rlim_cur) {
            ::setrlimit(RLIMIT_FSIZE, &savedLimit);
            std::signal(SIGXFSZ, savedSigxfsz);
        }
    }
    void startProgram()
    {
        program.reset();
        program = std::make_unique<Program>(device, logPath.toStdString());
        program->window().show();
    }
    // A new instrument, as after plugging the adapter back in; the same log.
    void replug()
    {
        device = (instrument = std::make_unique<sim::PtyInstrument>(sim::Behaviour{}))->devicePath();
        startProgram();
    }
    void press(const char* caption)
    {
        QTest::mouseClick(program->window().findChild<QAbstractButton*>(objectName(caption)), Qt::LeftButton);
    }
    void play()
    {
        clock.start();
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
        ticker.start(2);
    }
    static QMessageBox* openBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }
    bool finished() const { return next == row.steps.size() && busy == 0 && !openBox(); }
    bool holds(const Step& step) const
    {
        // The driver clicks for itself; the signal waits until its last click has begun.
        if (driver && driverClicks < std::count_if(row.steps.begin(), row.steps.end(), [](auto& s) { return s.button; }))
            return step.heard == kAtRest;
        if (step.heard == kInBox)
            return openBox() || driverBoxOpen;
        return step.heard >= 0 ? instrument->received().size() >= step.heard : busy == 0 && !openBox();
    }
    void act(const Step& step)
    {
        switch (step.action) {
        case Step::Click: return driver ? void() : press(step.button);
        case Step::HangUp: return instrument->hangUp();
        case Step::Quit: return program->window().requestQuit();
        case Step::CloseWindow: return void(program->window().close());
        case Step::Sigterm:
            signalledAt = clock.elapsed();
            ::kill(pid_t(driver->processId()), SIGTERM);
            return;
        case Step::AnswerBox: return;
        }
    }
    void tick()
    {
        const qint64 now = clock.elapsed();
        if (!timedOut && now > restWithinMs) {  // end every wait: fail, do not hang
            timedOut = true;
            next = row.steps.size();
            if (program)
                program->window().requestQuit();
        }
        if (!hangUpAt && instrument->instrument().hungUp())
            hangUpAt = now;
        if (hangUpAt && !closedAfterHangUp && program && !program->port().isOpen())
            closedAfterHangUp = now - *hangUpAt;
        auto* box = openBox();
        if (box && !boxNoted)
            boxes.push_back(box->text().toStdString());
        boxNoted = box != nullptr;
        if (next < row.steps.size()) {
            const auto& step = row.steps[next];
            since = holds(step) ? since.value_or(now) : std::optional<qint64>();
            if (since && now - *since >= step.ms) {
                ++next;
                ++busy;
                since.reset();
                // Out of the timer's slot, so that the timer keeps firing inside the step.
                QTimer::singleShot(0, [this, &step] { act(step), --busy; });
            }
            if (step.heard == kInBox && box)
                return;  // the step deals with the box
        }
        if (box) {
            box->button(QMessageBox::Ok)->click();
            boxNoted = false;
        }
    }
    Outcome outcome()
    {
        auto& form = program->window();
        const auto enabled = [&form](Button button) { return form.buttonEnabled(button); };
        return {boxes,          form.statusText(),       enabledButtons(enabled), program->port().isOpen(),
                readLog(logPath), form.pageText(), instrument->received().toStdString()};
    }

    const Scenario& row;
    QTemporaryDir dir;
    std::unique_ptr<sim::PtyInstrument> instrument;
    std::unique_ptr<QtSerialPort> holder;
    std::unique_ptr<Program> program;
    QProcess* driver = nullptr;
    QString device, logPath;
    rlimit savedLimit{}, smallLimit{};
    void (*savedSigxfsz)(int) = nullptr;
    QElapsedTimer clock;
    QTimer ticker;
    qint64 restWithinMs = 30'000, signalledAt = -1;
    std::size_t next = 0, busy = 0;
    long driverClicks = 0;
    std::optional<qint64> since, hangUpAt, closedAfterHangUp;
    bool boxNoted = false, timedOut = false, driverBoxOpen = false;
    std::vector<std::string> boxes;
};

// The program in a process of its own, for a signal: it reports "what: text" lines.
Outcome runInDriver(Rig& rig)
{
    QStringList arguments{"--port", rig.device, "--log", rig.logPath};
    for (const auto& step : rig.row.steps)
        if (step.button)
            arguments << "--click" << objectName(step.button);
    QProcess driver;  // inherits QT_QPA_PLATFORM
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(PROGRAM_DRIVER_PATH, arguments);
    EXPECT_TRUE(driver.waitForStarted(10000));
    rig.driver = &driver;
    rig.play();
    Outcome got;
    const auto readReport = [&] {
        while (driver.canReadLine()) {
            const auto line = QString::fromLocal8Bit(driver.readLine()).chopped(1);
            const auto what = line.section(": ", 0, 0).toStdString();
            const auto value = line.section(": ", 1).toStdString();
            if (what == "box") {
                got.boxes.push_back(value);
                rig.driverBoxOpen = true;
            }
            rig.driverClicks += what == "click";
            if (what == "status")
                got.status = value;
            if (what == "buttons")
                got.buttons = value;
            if (what == "port")
                got.portOpen = value == "open";
            if (what == "page")
                got.page = replaced(value, " | ", "\r\n");
        }
    };
    QObject::connect(&driver, &QProcess::readyReadStandardOutput, readReport);
    // QSerialPort names its lock after the path below /dev, slashes as underscores.
    const QString lockFile = "/var/lock/LCK.." + rig.device.mid(5).replace('/', '_');
    bool lockSeen = false;
    const bool exited = QTest::qWaitFor(
        [&] {
            lockSeen |= QFileInfo::exists(lockFile);
            return driver.state() == QProcess::NotRunning;
        },
        40'000);
    const qint64 quitMs = rig.clock.elapsed() - rig.signalledAt;
    rig.ticker.stop();
    readReport();
    EXPECT_TRUE(exited && driver.exitStatus() == QProcess::NormalExit && driver.exitCode() == 0);
    EXPECT_TRUE(rig.signalledAt >= 0 && quitMs < 5000) << "SIGTERM at " << rig.signalledAt << " ms, quit " << quitMs;
    EXPECT_TRUE(lockSeen) << "no lock file " << lockFile.toStdString() << " while the driver ran";
    EXPECT_FALSE(QFileInfo::exists(lockFile));
    EXPECT_NO_THROW(QtSerialPort(rig.device).open());
    got.log = readLog(rig.logPath);
    got.heard = rig.instrument->received().toStdString();
    return got;
}

class RealStack : public testing::TestWithParam<Scenario> {};

TEST_P(RealStack, EndsAsTheRowSaysAndComesToRest)
{
    const Scenario& row = GetParam();
    if (::geteuid() == 0 && row.setup == Setup::NoPermission)
        GTEST_SKIP() << "root ignores permissions";
    Rig rig(row);
    Outcome got;
    if (row.inDriver()) {
        got = runInDriver(rig);
    } else {
        EXPECT_EQ(rig.outcome().buttons, "") << "after start-up only Com Test is enabled";
        rig.play();
        EXPECT_TRUE(QTest::qWaitFor([&] { return rig.finished(); }, rig.restWithinMs + 10'000));
        rig.ticker.stop();
        EXPECT_FALSE(rig.timedOut) << "not at rest in time";
        got = rig.outcome();
        // At rest means idle: no handler polling, no port error repeating.
        const std::clock_t before = std::clock();
        QTest::qWait(500);
        EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.1) << "CPU seconds in 0.5 s at rest";
        if (row.screenshot) {
            const QString shot = QDir(testOutputDir()).filePath(QLatin1String(row.screenshot));
            EXPECT_TRUE(rig.program->window().grab().save(shot, "PNG")) << shot.toStdString();
        }
    }
    expectOutcome(row, got, rig.device.toStdString());

    if (std::find(row.boxes.begin(), row.boxes.end(), kLost) != row.boxes.end()) {
        ASSERT_TRUE(rig.closedAfterHangUp.has_value()) << "the port stayed open after the hang-up";
        EXPECT_LT(*rig.closedAfterHangUp, 1000);
        MessageBoxAnswerer answerer;
        rig.replug();
        rig.press(kTest);
        rig.press(kStart);
        EXPECT_EQ(rig.program->window().statusText(), ok(57));
        auto log = row.log;
        log.push_back({1, 20});
        EXPECT_EQ(readLog(rig.logPath), expectedLines(log)) << "the record log after replugging";
    }
}

std::vector<Scenario> realRows()
{
    std::vector<Scenario> rows;
    std::copy_if(kScenarios.begin(), kScenarios.end(), std::back_inserter(rows),
                 [](const Scenario& row) { return row.runners & kReal; });
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealStack, testing::ValuesIn(realRows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace splicerec::test
