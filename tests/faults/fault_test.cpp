// The fault matrix: the real window, QtSerialPort on a pseudo-terminal, the record log on
// disk and the steady clock against a misbehaving instrument, cable, disk or technician.
// Each case is a script of steps and the end state it must reach; one runner plays them.
#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

#include "faults/outcome.h"
#include "instrument.h"
#include "protocol/clock.h"
#include "protocol/record_line.h"
#include "pty_instrument.h"
#include "serial/qt_serial_port.h"
#include "window/qt_support.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace splicerec {
namespace {

using namespace std::chrono_literals;
using sim::Behaviour;

struct Rig;
constexpr int kAtRest = -1, kInBox = -2;
// A step clicks a button or acts `ms` after the instrument has heard `heard` bytes, or all
// is at rest, or a message box is open (the step then deals with the box).
struct Step { const char* button; int heard, ms; void (*act)(Rig&, const Step&); };
void press(Rig& rig, const Step& step);
void sigterm(Rig& rig, const Step&);
Step click(const char* button, int heard = kAtRest, int ms = 0) { return {button, heard, ms, press}; }
Step at(int heard, int ms, void (*act)(Rig&, const Step&)) { return {nullptr, heard, ms, act}; }

enum Setup { kNone, kMissingDevice, kDeviceHeld, kSymlinkToHeld, kNoPermission,
             kLogOnFullDisk, kLogParentIsFile, kLogIsDirectory, kLogInReadOnlyDir, kFileSizeLimit };

struct End { QString status, buttons; bool portOpen; };  // buttons: the enabled lower ones

struct Case {
    const char* name;
    Behaviour behaviour;
    std::vector<Step> script;
    End end;
    QStringList boxes{};  // "{dev}" is the device as given; a final "*" matches any rest
    std::vector<std::pair<int, int>> log{};  // record ranges, in order
    int pageLast = -1;  // the record on the page's last line; -1: the last logged, or 0
    Setup setup = kNone;

    bool inDriver() const { return script.back().act == &sigterm; }
    int restWithinS() const { return behaviour.records > 1000 ? 120 : 30; }
};

QString logText(std::vector<std::pair<int, int>> ranges)
{
    QString text;
    for (const auto& [first, last] : ranges)
        for (int n = first; n <= last; ++n)
            text += QString::fromStdString(RecordLine::fromFrame(sim::Instrument::frame(n)).text) + "\r\n";
    return text;
}

QString readLog(const QString& path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : "";
}

// One case: instrument, port, window, log, and the player of the script: a timer that also
// fires inside every nested wait and message box, so a step can come at any moment.
struct Rig {
    explicit Rig(const Case& theCase) : c(theCase), instrument(std::make_unique<sim::PtyInstrument>(c.behaviour))
    {
        device = instrument->devicePath();
        logPath = dir.filePath("RECORD.txt");
        const QString held = device, ro = dir.filePath("ro");
        switch (c.setup) {
        case kMissingDevice: device = dir.filePath("ttyUSB7"); break;
        case kSymlinkToHeld: QFile::link(held, device = dir.filePath("splicer")); [[fallthrough]];
        case kDeviceHeld: (holder = std::make_unique<QtSerialPort>(held))->open(); break;
        case kNoPermission: QFile::setPermissions(device, {}); break;
        case kLogOnFullDisk: logPath = "/dev/full"; break;
        case kLogParentIsFile: QFile(logPath).open(QIODevice::WriteOnly), logPath += "/RECORD.txt"; break;
        case kLogIsDirectory: logPath = dir.path(); break;
        case kLogInReadOnlyDir:
            QDir(dir.path()).mkdir(ro), QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner);
            logPath = ro + "/RECORD.txt";
            break;
        case kFileSizeLimit:  // two lines of 42 bytes fit, the third is cut after 16
            ::getrlimit(RLIMIT_FSIZE, &savedLimit), smallLimit = {100, savedLimit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &smallLimit), savedSigxfsz = std::signal(SIGXFSZ, SIG_IGN);
            break;
        case kNone: break;
        }
        connectWindow();
    }
    ~Rig()
    {
        if (smallLimit.rlim_cur)
            ::setrlimit(RLIMIT_FSIZE, &savedLimit), std::signal(SIGXFSZ, savedSigxfsz);
    }
    void connectWindow()
    {
        form.reset();
        port = std::make_unique<QtSerialPort>(device);
        form = std::make_unique<Form1>(*port, clock, RecordLog(logPath.toStdString()));
        form->show();
    }
    void replug()  // a new instrument, as after plugging the adapter back in; a new window, the same log
    {
        device = (instrument = std::make_unique<sim::PtyInstrument>(Behaviour{}))->devicePath();
        connectWindow();
    }
    void press(const char* name) { QTest::mouseClick(form->findChild<QAbstractButton*>(name), Qt::LeftButton); }
    void play(qint64 driverPid = 0)
    {
        pid = driverPid, timer.start();
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
        ticker.start(2);
    }
    bool finished() const { return next == c.script.size() && busy == 0 && !openBox(); }
    static QMessageBox* openBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }
    bool holds(const Step& step) const
    {
        // The driver clicks for itself; a signal waits until its last click has begun.
        if (pid && driverClicks < std::count_if(c.script.begin(), c.script.end(), [](auto& s) { return s.button; }))
            return step.heard == kAtRest;
        if (step.heard == kInBox)
            return openBox() || driverBoxOpen;
        return step.heard >= 0 ? int(instrument->received().size()) >= step.heard : busy == 0 && !openBox();
    }
    void tick()
    {
        const qint64 now = timer.elapsed();
        if (!timedOut && now > c.restWithinS() * 1000)  // end every wait: fail, do not hang
            timedOut = true, next = c.script.size(), form->requestQuit();
        if (!hangUpAt && instrument->instrument().hungUp())
            hangUpAt = now;
        if (hangUpAt && !closedAfterHangUp && !port->isOpen())
            closedAfterHangUp = now - *hangUpAt;
        auto* box = openBox();
        if (box && !boxNoted)
            boxes << box->text().replace(device, "{dev}");
        boxNoted = box != nullptr;
        if (next < c.script.size()) {
            const auto& step = c.script[next];
            since = holds(step) ? since.value_or(now) : std::optional<qint64>();
            if (since && now - *since >= step.ms) {
                ++next, ++busy;
                since.reset();
                // Out of the timer's slot, so that the timer keeps firing inside the step.
                QTimer::singleShot(0, [this, &step] { step.act(*this, step), --busy; });
            }
            if (step.heard == kInBox && box)
                return;  // the step deals with the box
        }
        if (box)
            box->button(QMessageBox::Ok)->click(), boxNoted = false;
    }

    const Case& c;
    QTemporaryDir dir;
    SteadyClock clock;
    std::unique_ptr<sim::PtyInstrument> instrument;
    std::unique_ptr<QtSerialPort> holder, port;
    std::unique_ptr<Form1> form;
    QString device, logPath;
    rlimit savedLimit{}, smallLimit{};
    void (*savedSigxfsz)(int) = nullptr;
    qint64 pid = 0, signalledAt = -1;
    QElapsedTimer timer;
    QTimer ticker;
    std::size_t next = 0, busy = 0;
    long driverClicks = 0;
    std::optional<qint64> since, hangUpAt, closedAfterHangUp;
    bool boxNoted = false, driverBoxOpen = false, timedOut = false;
    QStringList boxes;
};

void press(Rig& rig, const Step& step)  // the driver clicks for itself
{
    if (!rig.pid)
        rig.press(step.button);
}
void hangUp(Rig& rig, const Step&) { rig.instrument->hangUp(), rig.hangUpAt = rig.timer.elapsed(); }
void quit(Rig& rig, const Step&) { rig.form->requestQuit(); }
void closeWindow(Rig& rig, const Step&) { rig.form->close(); }
void answerBox(Rig&, const Step&) {}  // the next tick answers it
void sigterm(Rig& rig, const Step&) { rig.signalledAt = rig.timer.elapsed(), ::kill(pid_t(rig.pid), SIGTERM); }

QString ok(int records) { return QStringLiteral("Communication success !%1 records in the device!").arg(records); }
const QString kFail = "Communication error ! Please check the cable !",
              kSilent = "Device not responding ! Please check the cable !", kSaveError = "RECORD SAVE ERROR !!",
              kLost = "The connection to {dev} was lost: *", kInUse = "Cannot open {dev}: it is in use*",
              kComplete = "RECORD DOWNLOAD COMPLETE !", kStopped = "Reading record stopped !";
const End kLinkFailed{kFail, "", true}, kFailed{kFail, "", false}, kBusy{"Communicating...", "", true},
    kLinked{ok(57), "Start,ReadAll", true}, kPaged{ok(57), "Next Page,ReadAll,StopRead", true},
    kSaveFailed{ok(57), "Start", false}, kQuitReading{ok(57), "", true};
End done(int records, QString buttons) { return {ok(records), buttons, false}; }
const char *const kTest = "Command5", *const kStart = "Command1", *const kNext = "Command4",
                  *const kAll = "Command3", *const kStop = "Command2";
Behaviour records(int n) { return {.records = n}; }
Behaviour silentAfter(int k) { return {.silentAfterRecords = k}; }
// Com Test, then Start or ReadAll, then more.
std::vector<Step> linked(std::vector<Step> more = {}) { return more.insert(more.begin(), click(kTest)), more; }
std::vector<Step> started(std::vector<Step> more = {}) { return more.insert(more.begin(), click(kStart)), linked(more); }
std::vector<Step> reading(std::vector<Step> more = {}) { return more.insert(more.begin(), click(kAll)), linked(more); }

const Case kCases[] = {
    // 1. Link tests against instruments that do not answer as they should.
    {"ComTestSilent", {.silent = true}, linked(), kLinkFailed},
    {"WrongIdentificationOnce", {.wrongIdentifications = 1}, linked(), kLinked},
    {"WrongIdentificationTenTimes", {.wrongIdentifications = 10}, linked(), kLinked},
    {"WrongIdentificationElevenTimes", {.wrongIdentifications = 11}, linked(), kLinkFailed},
    {"EchoOnly", {.echo = true}, linked(), kLinkFailed},
    {"GarbageShorterThanAFrame", {.garbageBytes = 5}, linked(), kLinkFailed},
    {"GarbageLongerThanAFrame", {.garbageBytes = 12}, started(), kLinkFailed},
    {"CountReplyMissing", {.countReplyLength = 0}, linked(), kLinkFailed},
    {"CountReplyOfOneByte", {.countReplyLength = 1}, linked(), kLinkFailed},
    {"CountReplyOfThreeBytes", {.countReplyLength = 3}, linked(), kLinkFailed},
    {"LineTakesNothing", {.stalled = true}, linked(), kLinkFailed},
    // 2. Replies in pieces, short, long or late; a late frame is never the next record.
    {"RepliesInPiecesWithGaps", {.pieces = 3, .pieceGap = 60ms}, started(), kPaged, {}, {{1, 20}}},
    {"ExtraBytesAfterEachFrame", {.extraBytesPerFrame = 3}, started(), kPaged, {}, {{1, 20}}},
    {"SevenBytesThenSilence", {.shortFrameAfterRecords = 4}, started(), kFailed, {kSilent}, {{1, 4}}},
    {"LateReplyWhileThePortIsClosed", {.lateAfterRecords = 3, .lateBy = 3300ms},
     started({at(kInBox, 1500, answerBox), click(kTest), click(kStart)}), kPaged, {kSilent}, {{1, 3}, {1, 20}}},
    {"LateReplyAfterTheNextComTest", {.lateAfterRecords = 3, .lateBy = 3600ms},
     started({click(kTest), click(kStart), click(kNext, kAtRest, 1500)}), kPaged, {kSilent}, {{1, 3}, {1, 40}}},
    // 3. Silence and hang-ups midway: one message; a hung-up port closes at once, a new instrument works.
    {"SilentDuringStart", silentAfter(5), started(), kFailed, {kSilent}, {{1, 5}}},
    {"SilentDuringReadAll", silentAfter(25), reading(), kFailed, {kSilent}, {{1, 25}}},
    {"HangUpDuringComTest", {.silent = true}, linked({at(1, 100, hangUp)}), kFailed, {kLost}},
    {"HangUpMidRecord", {.shortFrameAfterRecords = 4}, started({at(7, 200, hangUp)}), kFailed, {kLost}, {{1, 4}}},
    {"HangUpDuringReadAll", {.hangUpAfterRecords = 25}, reading(), kFailed, {kLost}, {{1, 25}}},
    // 4. Ports that cannot be opened.
    {"MissingDevice", {}, linked(), kFailed, {"Cannot open {dev}: the device does not exist*"}, {}, -1, kMissingDevice},
    {"DeviceHeldByAnotherOpener", {}, linked(), kFailed, {kInUse}, {}, -1, kDeviceHeld},
    {"SymlinkToAHeldDevice", {}, linked(), kFailed, {kInUse}, {}, -1, kSymlinkToHeld},
    {"PermissionDenied", {}, linked(), kFailed, {"Cannot open {dev}: permission denied*"}, {}, -1, kNoPermission},
    // 5. Logs that cannot be written: the record stays on the page, nothing half-written.
    {"LogOnAFullDisk", {}, started(), kSaveFailed, {kSaveError}, {}, 1, kLogOnFullDisk},
    {"LogParentIsAFile", {}, started(), kSaveFailed, {kSaveError}, {}, 1, kLogParentIsFile},
    {"LogIsADirectory", {}, started(), kSaveFailed, {kSaveError}, {}, 1, kLogIsDirectory},
    {"LogInAReadOnlyDirectory", {}, started(), kSaveFailed, {kSaveError}, {}, 1, kLogInReadOnlyDir},
    {"LogCutMidLine", {}, started(), kSaveFailed, {kSaveError}, {{1, 2}}, 3, kFileSizeLimit},
    {"LogFailsDuringReadAll", {}, reading(), done(57, "Start,StopRead"), {kSaveError}, {}, 1, kLogOnFullDisk},
    // 6. Quitting while each kind of wait runs, in this process and by SIGTERM to the program.
    {"QuitInIdentificationWait", {.silent = true}, linked({at(1, 100, quit)}), kBusy},
    {"QuitInCountWait", {.countReplyLength = 0}, linked({at(2, 100, quit)}), kBusy},
    {"QuitInOutputDrain", {.stalled = true}, linked({at(0, 300, quit)}), kBusy},
    {"QuitInRecordWait", silentAfter(3), started({at(6, 100, quit)}), kQuitReading, {}, {{1, 3}}},
    {"QuitInMessageBox", silentAfter(3), started({at(kInBox, 100, quit)}), kFailed, {kSilent}, {{1, 3}}},
    {"WindowClosedDuringReadAll", silentAfter(30), reading({at(33, 100, closeWindow)}), {ok(57), "StopRead", true},
     {}, {{1, 30}}},
    {"SigtermInIdentificationWait", {.silent = true}, linked({at(1, 200, sigterm)}), kBusy},
    {"SigtermInCountWait", {.countReplyLength = 0}, linked({at(2, 200, sigterm)}), kBusy},
    {"SigtermInOutputDrain", {.stalled = true}, linked({at(0, 1000, sigterm)}), kBusy},
    {"SigtermInRecordWait", silentAfter(3), started({at(6, 200, sigterm)}), kQuitReading, {}, {{1, 3}}},
    {"SigtermInMessageBox", silentAfter(3), started({at(kInBox, 200, sigterm)}), kFailed, {kSilent}, {{1, 3}}},
    // 7. Buttons pressed again while something runs or after it ended.
    {"ComTestWhileReadAllWaits", {.lateAfterRecords = 5, .lateBy = 2000ms},
     reading({click(kTest, 8, 100), click(kStart, kAtRest, 2500)}), kPaged, {}, {{1, 5}, {1, 20}}},
    {"StopReadTwiceThenReadAllAgain", {.records = 30, .replyDelay = 150ms},
     reading({click(kStop, 7), click(kStop, 7), click(kAll)}), done(30, "StopRead"), {kStopped, kComplete}, {{1, 30}}},
    {"ReadAllAgainAfterCompletion", records(3), reading({click(kAll), click(kStop), click(kAll)}), done(3, "StopRead"),
     {kComplete, kComplete}, {{1, 3}, {1, 3}}},
    // 8. Record counts at the edges: nothing to start, a page, the limit of 5000.
    {"NoRecordsNothingToStart", records(0), started({click(kAll)}), {ok(0), "", true}},
    {"OneRecordByStart", records(1), started(), done(1, ""), {kComplete}, {{1, 1}}},
    {"OnePageByStart", records(20), started(), done(20, ""), {kComplete}, {{1, 20}}},
    {"OnePageByReadAll", records(20), reading(), done(20, "StopRead"), {kComplete}, {{1, 20}}},
    {"OneMoreThanAPage", records(21), reading(), done(21, "StopRead"), {kComplete}, {{1, 21}}},
    {"AtTheLimit", records(5000), reading(), done(5000, "StopRead"), {kComplete}, {{1, 5000}}},
    {"OneAboveTheLimit", records(5001), reading(), done(5001, "StopRead"), {kComplete}, {{1, 5000}}},
    {"LargestCount", records(65535), reading(), done(65535, "StopRead"), {kComplete}, {{1, 5000}}},
};

// The program itself in a process of its own, reporting "what: text" lines on stdout.
test::Outcome runInDriver(Rig& rig)
{
    QStringList arguments{"--port", rig.device, "--log", rig.logPath};
    for (const auto& step : rig.c.script)
        if (step.button)
            arguments << "--click" << step.button;
    QProcess driver;  // inherits QT_QPA_PLATFORM
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(FAULT_DRIVER_PATH, arguments);
    EXPECT_TRUE(driver.waitForStarted(10000));
    rig.play(driver.processId());
    QMap<QString, QString> report;
    const auto readReport = [&] {
        while (driver.canReadLine()) {
            const auto line = QString::fromLocal8Bit(driver.readLine()).chopped(1);
            const auto what = line.section(": ", 0, 0), value = line.section(": ", 1);
            if (what == "box")
                rig.boxes << QString(value).replace(rig.device, "{dev}"), rig.driverBoxOpen = true;
            rig.driverClicks += what == "click";
            report[what] = value;
        }
    };
    QObject::connect(&driver, &QProcess::readyReadStandardOutput, readReport);
    // QSerialPort names its lock after the path below /dev, slashes as underscores.
    const QString lockFile = "/var/lock/LCK.." + rig.device.mid(5).replace('/', '_');
    bool lockSeen = false;
    const bool exited = QTest::qWaitFor([&] {
        lockSeen |= QFileInfo::exists(lockFile);
        return driver.state() == QProcess::NotRunning;
    }, (rig.c.restWithinS() + 10) * 1000);
    const qint64 quitMs = rig.timer.elapsed() - rig.signalledAt;
    rig.ticker.stop();
    readReport();  // an overrunning driver is killed as `driver` goes
    EXPECT_TRUE(exited && driver.exitStatus() == QProcess::NormalExit && driver.exitCode() == 0);
    EXPECT_TRUE(rig.signalledAt >= 0 && quitMs < 5000) << "SIGTERM at " << rig.signalledAt << " ms, quit " << quitMs;
    EXPECT_TRUE(lockSeen) << "no lock file " << lockFile.toStdString() << " while the driver ran";
    EXPECT_FALSE(QFileInfo::exists(lockFile));
    EXPECT_NO_THROW(QtSerialPort(rig.device).open());
    return {rig.boxes, report["status"], report["buttons"], report["port"] == "open", report["page-last"].toInt()};
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }  // also names the ctest cases
class FaultMatrix : public testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, EndsInTheExpectedStateAndComesToRest)
{
    const Case& c = GetParam();
    if (::geteuid() == 0 && (c.setup == kNoPermission || c.setup == kLogInReadOnlyDir))
        GTEST_SKIP() << "root ignores permissions";
    Rig rig(c);
    test::Outcome got;
    if (c.inDriver()) {
        got = runInDriver(rig);
    } else {
        rig.play();
        EXPECT_TRUE(QTest::qWaitFor([&] { return rig.finished(); }, (c.restWithinS() + 10) * 1000));
        rig.ticker.stop();
        EXPECT_FALSE(rig.timedOut) << "not at rest within " << c.restWithinS() << " s";
        got = test::outcomeOf(*rig.form, rig.port->isOpen(), rig.boxes);
        // At rest means idle: no handler polling, no port error repeating.
        const std::clock_t before = std::clock();
        QTest::qWait(1000);
        EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.2) << "CPU seconds in 1 s at rest";
    }
    EXPECT_TRUE(std::equal(got.boxes.begin(), got.boxes.end(), c.boxes.begin(), c.boxes.end(),
                           [](const QString& seen, const QString& want) {
                               return want.endsWith('*') ? seen.startsWith(want.chopped(1)) : seen == want;
                           }))
        << "boxes seen: [" << got.boxes.join(" | ").toStdString() << "]";
    EXPECT_EQ(got.status, c.end.status);
    EXPECT_EQ(got.buttons, c.end.buttons);
    EXPECT_EQ(got.portOpen, c.end.portOpen);
    EXPECT_EQ(got.pageLast, c.pageLast >= 0 ? c.pageLast : c.log.empty() ? 0 : c.log.back().second);
    if (c.setup != kLogOnFullDisk) {
        EXPECT_EQ(readLog(rig.logPath), logText(c.log)) << "the record log";
    }
    if (c.boxes.contains(kLost)) {
        ASSERT_TRUE(rig.closedAfterHangUp.has_value()) << "the port stayed open after the hang-up";
        EXPECT_LT(*rig.closedAfterHangUp, 1000);
        test::MessageBoxAnswerer answerer;
        rig.replug();
        rig.press(kTest);
        rig.press(kStart);
        EXPECT_EQ(rig.form->statusText(), ok(57).toStdString());
        EXPECT_EQ(readLog(rig.logPath), logText(c.log) + logText({{1, 20}})) << "the record log after replugging";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace splicerec
