// The fault matrix: the real window, QtSerialPort on a pseudo-terminal, the record log
// on disk and the steady clock, against a misbehaving instrument, cable, disk or
// technician. Each case is a script of clicks and events and the end state it must
// reach; one runner plays them all.
#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
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
#include "protocol/link_test.h"
#include "protocol/record_line.h"
#include "pty_instrument.h"
#include "serial/qt_serial_port.h"
#include "window/form1.h"
#include "window/qt_support.h"

// Readable failures: gtest would print a QString as a list of UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace splicerec {
namespace {

using namespace std::chrono_literals;
using sim::Behaviour;
using test::Outcome;

// ---- the script -------------------------------------------------------------------

enum class Act { Click, HangUp, Quit, CloseWindow, AnswerBox, Signal };

struct When {
    int heard = -1;    // once the instrument has heard this many bytes; -1: once all is at rest
    bool box = false;  // while a message box is open (the step then deals with it)
    int ms = 0;        // this long after the condition first holds
};

struct Step {
    Act act;
    const char* button = nullptr;
    When when{};
};

Step click(const char* button, When when = {}) { return {Act::Click, button, when}; }
Step hangUp(When when) { return {Act::HangUp, nullptr, when}; }
Step quit(When when) { return {Act::Quit, nullptr, when}; }
Step closeWindow(When when) { return {Act::CloseWindow, nullptr, when}; }
Step answerBoxAfter(int ms) { return {Act::AnswerBox, nullptr, {.box = true, .ms = ms}}; }
Step sigterm(When when) { return {Act::Signal, nullptr, when}; }

// What the case needs besides the instrument.
enum class Setup {
    None, MissingDevice, DeviceHeld, SymlinkToHeldDevice, NoPermission,
    LogOnFullDisk, LogParentIsFile, LogIsDirectory, LogInReadOnlyDirectory, FileSizeLimit,
};

struct Expected {
    QStringList boxes;  // "{dev}" is the device as given; a final "*" matches any rest
    QString status;
    QString buttons;
    bool portOpen = false;
    std::vector<std::pair<int, int>> log;  // record ranges, in order
    int pageLast = 0;                      // checked when not 0
};

struct Case {
    const char* name;
    Behaviour behaviour;
    std::vector<Step> script;
    Expected expected;
    Setup setup = Setup::None;
    bool inDriver = false;        // a process of its own, quit by SIGTERM
    bool thenFreshInstrument = false;  // afterwards a new instrument and window must work
    int restWithinS = 30;
};

// ---- the rig ----------------------------------------------------------------------

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

QString lockFileOf(const QString& device)
{
    // QSerialPort names the lock after the path below /dev, slashes as underscores.
    return QStringLiteral("/var/lock/LCK..") + device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString logText(const std::vector<std::pair<int, int>>& ranges)
{
    QString text;
    for (const auto& [first, last] : ranges) {
        for (int number = first; number <= last; ++number)
            text += QString::fromStdString(RecordLine::fromFrame(sim::Instrument::frame(number)).text) + "\r\n";
    }
    return text;
}

QString readLog(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

bool boxesMatch(const QStringList& seen, const QStringList& expected)
{
    return std::equal(seen.begin(), seen.end(), expected.begin(), expected.end(), [](const auto& got, const auto& want) {
        return want.endsWith(QLatin1Char('*')) ? got.startsWith(want.chopped(1)) : got == want;
    });
}

// The instrument, the port, the window and the log of one case.
class Rig {
public:
    explicit Rig(const Case& c)
    {
        logPath = dir_.filePath(QStringLiteral("RECORD.txt"));
        instrument = std::make_unique<sim::PtyInstrument>(c.behaviour);
        device = instrument->devicePath();
        switch (c.setup) {
        case Setup::MissingDevice: device = dir_.filePath(QStringLiteral("ttyUSB7")); break;
        case Setup::SymlinkToHeldDevice:
            QFile::link(instrument->devicePath(), dir_.filePath(QStringLiteral("splicer")));
            device = dir_.filePath(QStringLiteral("splicer"));
            [[fallthrough]];
        case Setup::DeviceHeld:
            holder = std::make_unique<QtSerialPort>(instrument->devicePath());
            holder->open();
            break;
        case Setup::NoPermission:
            QFile::setPermissions(device, {});
            break;
        case Setup::LogOnFullDisk: logPath = QStringLiteral("/dev/full"); break;
        case Setup::LogParentIsFile: {
            QFile blocker(dir_.filePath(QStringLiteral("logs")));
            blocker.open(QIODevice::WriteOnly);
            logPath = dir_.filePath(QStringLiteral("logs/RECORD.txt"));
            break;
        }
        case Setup::LogIsDirectory: logPath = dir_.path(); break;
        case Setup::LogInReadOnlyDirectory:
            QDir(dir_.path()).mkdir(QStringLiteral("ro"));
            QFile::setPermissions(dir_.filePath(QStringLiteral("ro")), QFile::ReadOwner | QFile::ExeOwner);
            logPath = dir_.filePath(QStringLiteral("ro/RECORD.txt"));
            break;
        case Setup::FileSizeLimit: {
            // Two lines of 42 bytes fit, the third is cut after 16: a disk quota mid-line.
            ::getrlimit(RLIMIT_FSIZE, &savedLimit_);
            const rlimit small{100, savedLimit_.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &small);
            savedSigxfsz_ = std::signal(SIGXFSZ, SIG_IGN);
            limited_ = true;
            break;
        }
        case Setup::None: break;
        }
        connectWindow();
    }

    ~Rig()
    {
        form.reset();
        port.reset();
        if (limited_) {
            ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
            std::signal(SIGXFSZ, savedSigxfsz_);
        }
    }

    // A new instrument, as after plugging the adapter back in: the old window cannot
    // follow the vanished device, so a new one starts, logging to the same file.
    void replug()
    {
        form.reset();
        port.reset();
        instrument = std::make_unique<sim::PtyInstrument>(Behaviour{});
        device = instrument->devicePath();
        connectWindow();
    }

    QAbstractButton* button(const char* name) const { return form->findChild<QAbstractButton*>(name); }
    int heard() const { return static_cast<int>(instrument->received().size()); }

    std::unique_ptr<sim::PtyInstrument> instrument;
    std::unique_ptr<QtSerialPort> holder;
    std::unique_ptr<QtSerialPort> port;
    std::unique_ptr<Form1> form;
    QString device;
    QString logPath;

private:
    void connectWindow()
    {
        port = std::make_unique<QtSerialPort>(device);
        form = std::make_unique<Form1>(*port, clock_, RecordLog(logPath.toStdString()));
        form->show();
    }

    QTemporaryDir dir_;
    SteadyClock clock_;
    bool limited_ = false;
    rlimit savedLimit_{};
    void (*savedSigxfsz_)(int) = nullptr;
};

// Plays a script against a rig from a timer that also fires inside every nested wait
// and message box, so a step can happen at any moment of a handler.
class Player {
public:
    Player(Rig& rig, const Case& c, qint64 pid = 0) : rig_(rig), case_(c), pid_(pid)
    {
        deadline_.start();
        tick_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick_, &QTimer::timeout, [this] { tick(); });
        tick_.start(2);
    }

    // Every step done, every click returned, no box open.
    bool finished() const { return next_ == case_.script.size() && busy_ == 0 && !openBox(); }

    // What the driver printed, for the driver's cases.
    void driverSaw(const QString& box) { boxes_ << box; driverBoxOpen_ = true; }
    void driverClicked() { ++driverClicks_; }

    void stop() { tick_.stop(); }
    bool timedOut() const { return timedOut_; }
    QStringList boxes() const { return boxes_; }
    std::optional<qint64> closedAfterHangUpMs() const { return closedAfterHangUp_; }
    qint64 signalledAt() const { return signalledAt_; }
    qint64 elapsed() const { return deadline_.elapsed(); }

private:
    QMessageBox* openBox() const
    {
        if (!rig_.form)
            return nullptr;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box && box->isVisible() ? box : nullptr;
    }

    bool holds(const When& when) const
    {
        // The driver's clicks are its own; a signal waits until the last has begun.
        if (case_.inDriver && driverClicks_ < std::count_if(case_.script.begin(), case_.script.end(),
                                                             [](const Step& s) { return s.act == Act::Click; }))
            return when.heard < 0 && !when.box;
        if (when.box)
            return openBox() != nullptr || driverBoxOpen_;
        if (when.heard >= 0)
            return rig_.heard() >= when.heard;
        return busy_ == 0 && !openBox();
    }

    void tick()
    {
        if (!timedOut_ && deadline_.elapsed() > case_.restWithinS * 1000) {
            // Ends every wait, so that a hanging case fails instead of hanging the suite.
            timedOut_ = true;
            next_ = case_.script.size();
            if (rig_.form)
                rig_.form->requestQuit();
        }
        if (rig_.instrument->instrument().hungUp() && !hangUpAt_)
            hangUpAt_ = deadline_.elapsed();
        if (hangUpAt_ && !closedAfterHangUp_ && rig_.port && !rig_.port->isOpen())
            closedAfterHangUp_ = deadline_.elapsed() - *hangUpAt_;

        auto* box = openBox();
        if (box && !boxNoted_) {
            boxes_ << box->text().replace(rig_.device, QStringLiteral("{dev}"));
            boxNoted_ = true;
        } else if (!box) {
            boxNoted_ = false;
        }

        if (next_ < case_.script.size()) {
            const auto& step = case_.script[next_];
            if (holds(step.when)) {
                if (!since_)
                    since_ = deadline_.elapsed();
                if (deadline_.elapsed() - *since_ >= step.when.ms) {
                    ++next_;
                    since_.reset();
                    ++busy_;
                    // Out of the timer's own slot, so that the timer keeps firing
                    // inside whatever the step starts.
                    QTimer::singleShot(0, [this, &step] {
                        perform(step);
                        --busy_;
                    });
                }
                if (step.when.box)
                    return;  // the step deals with the box
            } else {
                since_.reset();
            }
        }
        if (box) {
            box->button(QMessageBox::Ok)->click();
            boxNoted_ = false;
        }
    }

    void perform(const Step& step)
    {
        switch (step.act) {
        case Act::Click:
            if (!case_.inDriver)
                QTest::mouseClick(rig_.button(step.button), Qt::LeftButton);
            break;
        case Act::HangUp:
            rig_.instrument->hangUp();
            hangUpAt_ = deadline_.elapsed();
            break;
        case Act::Quit: rig_.form->requestQuit(); break;
        case Act::CloseWindow: rig_.form->close(); break;
        case Act::AnswerBox:
            if (auto* box = openBox()) {
                box->button(QMessageBox::Ok)->click();
                boxNoted_ = false;
            }
            break;
        case Act::Signal:
            signalledAt_ = deadline_.elapsed();
            ::kill(static_cast<pid_t>(pid_), SIGTERM);
            break;
        }
    }

    Rig& rig_;
    const Case& case_;
    qint64 pid_;
    QElapsedTimer deadline_;
    QTimer tick_;
    std::size_t next_ = 0;
    int busy_ = 0;
    std::optional<qint64> since_;
    bool boxNoted_ = false;
    bool driverBoxOpen_ = false;
    long driverClicks_ = 0;
    bool timedOut_ = false;
    QStringList boxes_;
    std::optional<qint64> hangUpAt_;
    std::optional<qint64> closedAfterHangUp_;
    qint64 signalledAt_ = -1;
};

// ---- the cases --------------------------------------------------------------------

QString ok(int records)
{
    return QStringLiteral("Communication success !%1 records in the device!").arg(records);
}
const QString kFail = QString::fromLatin1(LinkTest::kFailureText);
const QString kCommunicating = QStringLiteral("Communicating...");
const QString kSilent = QStringLiteral("Device not responding ! Please check the cable !");
const QString kLost = QStringLiteral("The connection to {dev} was lost: *");
const QString kComplete = QStringLiteral("RECORD DOWNLOAD COMPLETE !");
const QString kStopped = QStringLiteral("Reading record stopped !");
const QString kSaveError = QStringLiteral("RECORD SAVE ERROR !!");
const QString kPage = QStringLiteral("Next Page,ReadAll,StopRead");  // after a page
const char* const kComTest = "Command5";
const char* const kStart = "Command1";
const char* const kNextPage = "Command4";
const char* const kReadAll = "Command3";
const char* const kStopRead = "Command2";

// Behaviour needs its fields in order; these read better in the table.
Behaviour records(int n) { return {.records = n}; }
Behaviour silentAfter(int k) { return {.silentAfterRecords = k}; }

const std::vector<Step> kLink{click(kComTest)};
const std::vector<Step> kLinkStart{click(kComTest), click(kStart)};
const std::vector<Step> kLinkReadAll{click(kComTest), click(kReadAll)};

const Case kCases[] = {
    // The link test against instruments that do not answer as they should.
    {"ComTestSilent", {.silent = true}, kLink, {{}, kFail, "", true, {}}},
    {"WrongIdentificationOnce", {.wrongIdentifications = 1}, kLink, {{}, ok(57), "Start,ReadAll", true, {}}},
    {"WrongIdentificationTenTimes", {.wrongIdentifications = 10}, kLink, {{}, ok(57), "Start,ReadAll", true, {}}},
    {"WrongIdentificationElevenTimes", {.wrongIdentifications = 11}, kLink, {{}, kFail, "", true, {}}},
    {"EchoOnly", {.echo = true}, kLink, {{}, kFail, "", true, {}}},
    {"GarbageShorterThanAFrame", {.garbageBytes = 5}, kLink, {{}, kFail, "", true, {}}},
    {"GarbageLongerThanAFrame", {.garbageBytes = 12}, kLinkStart, {{}, kFail, "", true, {}}},
    {"CountReplyMissing", {.countReplyLength = 0}, kLink, {{}, kFail, "", true, {}}},
    {"CountReplyOfOneByte", {.countReplyLength = 1}, kLink, {{}, kFail, "", true, {}}},
    {"CountReplyOfThreeBytes", {.countReplyLength = 3}, kLink, {{}, kFail, "", true, {}}},
    {"LineTakesNothing", {.stalled = true}, kLink, {{}, kFail, "", true, {}}},
    {"NoRecordsNothingToStart", records(0), {click(kComTest), click(kStart), click(kReadAll)},
     {{}, ok(0), "", true, {}}},

    // Replies that arrive in pieces, short, long or late.
    {"RepliesInPiecesWithGaps", {.pieces = 3, .pieceGap = 60ms}, kLinkStart, {{}, ok(57), kPage, true, {{1, 20}}, 20}},
    {"ExtraBytesAfterEachFrame", {.extraBytesPerFrame = 3}, kLinkStart, {{}, ok(57), kPage, true, {{1, 20}}, 20}},
    {"SevenBytesThenSilence", {.shortFrameAfterRecords = 4}, kLinkStart, {{kSilent}, kFail, "", false, {{1, 4}}, 4}},
    {"LateReplyWhileThePortIsClosed", {.lateAfterRecords = 3, .lateBy = 3300ms},
     {click(kComTest), click(kStart), answerBoxAfter(1500), click(kComTest), click(kStart)},
     {{kSilent}, ok(57), kPage, true, {{1, 3}, {1, 20}}, 20}},
    {"LateReplyAfterTheNextComTest", {.lateAfterRecords = 3, .lateBy = 3600ms},
     {click(kComTest), click(kStart), click(kComTest), click(kStart), click(kNextPage, {.ms = 1500})},
     {{kSilent}, ok(57), kPage, true, {{1, 3}, {1, 40}}, 40}},

    // Silence and hang-ups in the middle of things.
    {"SilentDuringStart", silentAfter(5), kLinkStart, {{kSilent}, kFail, "", false, {{1, 5}}, 5}},
    {"SilentDuringReadAll", silentAfter(25), kLinkReadAll, {{kSilent}, kFail, "", false, {{1, 25}}, 25}},
    {"HangUpDuringComTest", {.silent = true}, {click(kComTest), hangUp({.heard = 1, .ms = 100})},
     {{kLost}, kFail, "", false, {}}, Setup::None, false, true},
    {"HangUpMidRecord", {.shortFrameAfterRecords = 4}, {click(kComTest), click(kStart), hangUp({.heard = 7, .ms = 200})},
     {{kLost}, kFail, "", false, {{1, 4}}, 4}, Setup::None, false, true},
    {"HangUpDuringReadAll", {.hangUpAfterRecords = 25}, kLinkReadAll,
     {{kLost}, kFail, "", false, {{1, 25}}, 25}, Setup::None, false, true},

    // Ports that cannot be opened.
    {"MissingDevice", {}, kLink, {{"Cannot open {dev}: the device does not exist*"}, kFail, "", false, {}},
     Setup::MissingDevice},
    {"DeviceHeldByAnotherOpener", {}, kLink, {{"Cannot open {dev}: it is in use*"}, kFail, "", false, {}},
     Setup::DeviceHeld},
    {"SymlinkToAHeldDevice", {}, kLink, {{"Cannot open {dev}: it is in use*"}, kFail, "", false, {}},
     Setup::SymlinkToHeldDevice},
    {"PermissionDenied", {}, kLink, {{"Cannot open {dev}: permission denied*"}, kFail, "", false, {}},
     Setup::NoPermission},

    // Logs that cannot be written: the record stays on the page, nothing half-written.
    {"LogOnAFullDisk", {}, kLinkStart, {{kSaveError}, ok(57), "Start", false, {}, 1}, Setup::LogOnFullDisk},
    {"LogParentIsAFile", {}, kLinkStart, {{kSaveError}, ok(57), "Start", false, {}, 1}, Setup::LogParentIsFile},
    {"LogIsADirectory", {}, kLinkStart, {{kSaveError}, ok(57), "Start", false, {}, 1}, Setup::LogIsDirectory},
    {"LogInAReadOnlyDirectory", {}, kLinkStart, {{kSaveError}, ok(57), "Start", false, {}, 1},
     Setup::LogInReadOnlyDirectory},
    {"LogCutMidLine", {}, kLinkStart, {{kSaveError}, ok(57), "Start", false, {{1, 2}}, 3}, Setup::FileSizeLimit},
    {"LogFailsDuringReadAll", {}, kLinkReadAll, {{kSaveError}, ok(57), "Start,StopRead", false, {}, 1},
     Setup::LogOnFullDisk},

    // Quitting while each kind of wait runs, in this process ...
    {"QuitInIdentificationWait", {.silent = true}, {click(kComTest), quit({.heard = 1, .ms = 100})},
     {{}, kCommunicating, "", true, {}}},
    {"QuitInCountWait", {.countReplyLength = 0}, {click(kComTest), quit({.heard = 2, .ms = 100})},
     {{}, kCommunicating, "", true, {}}},
    {"QuitInOutputDrain", {.stalled = true}, {click(kComTest), quit({.heard = 0, .ms = 300})},
     {{}, kCommunicating, "", true, {}}},
    {"QuitInRecordWait", silentAfter(3), {click(kComTest), click(kStart), quit({.heard = 6, .ms = 100})},
     {{}, ok(57), "", true, {{1, 3}}, 3}},
    {"QuitInMessageBox", silentAfter(3), {click(kComTest), click(kStart), quit({.box = true, .ms = 100})},
     {{kSilent}, kFail, "", false, {{1, 3}}, 3}},
    {"WindowClosedDuringReadAll", silentAfter(30),
     {click(kComTest), click(kReadAll), closeWindow({.heard = 33, .ms = 100})},
     {{}, ok(57), "StopRead", true, {{1, 30}}, 30}},

    // ... and by SIGTERM to a process of its own.
    {"SigtermInIdentificationWait", {.silent = true}, {click(kComTest), sigterm({.heard = 1, .ms = 200})},
     {{}, kCommunicating, "", true, {}}, Setup::None, true},
    {"SigtermInCountWait", {.countReplyLength = 0}, {click(kComTest), sigterm({.heard = 2, .ms = 200})},
     {{}, kCommunicating, "", true, {}}, Setup::None, true},
    {"SigtermInOutputDrain", {.stalled = true}, {click(kComTest), sigterm({.heard = 0, .ms = 1000})},
     {{}, kCommunicating, "", true, {}}, Setup::None, true},
    {"SigtermInRecordWait", silentAfter(3), {click(kComTest), click(kStart), sigterm({.heard = 6, .ms = 200})},
     {{}, ok(57), "", true, {{1, 3}}, 3}, Setup::None, true},
    {"SigtermInMessageBox", silentAfter(3), {click(kComTest), click(kStart), sigterm({.box = true, .ms = 200})},
     {{kSilent}, kFail, "", false, {{1, 3}}, 3}, Setup::None, true},

    // Buttons pressed again while something runs or after it ended.
    {"ComTestWhileReadAllWaits", {.lateAfterRecords = 5, .lateBy = 2000ms},
     {click(kComTest), click(kReadAll), click(kComTest, {.heard = 8, .ms = 100}), click(kStart, {.ms = 2500})},
     {{}, ok(57), kPage, true, {{1, 5}, {1, 20}}, 20}},
    {"StopReadTwiceThenReadAllAgain", {.records = 30, .replyDelay = 150ms},
     {click(kComTest), click(kReadAll), click(kStopRead, {.heard = 7}), click(kStopRead, {.heard = 7}),
      click(kReadAll)},
     {{kStopped, kComplete}, ok(30), "StopRead", false, {{1, 30}}, 30}},
    {"ReadAllAgainAfterCompletion", records(3),
     {click(kComTest), click(kReadAll), click(kReadAll), click(kStopRead), click(kReadAll)},
     {{kComplete, kComplete}, ok(3), "StopRead", false, {{1, 3}, {1, 3}}, 3}},

    // Record counts at the edges.
    {"OneRecordByStart", records(1), kLinkStart, {{kComplete}, ok(1), "", false, {{1, 1}}, 1}},
    {"OneRecordByReadAll", records(1), kLinkReadAll, {{kComplete}, ok(1), "StopRead", false, {{1, 1}}, 1}},
    {"OnePageByStart", records(20), kLinkStart, {{kComplete}, ok(20), "", false, {{1, 20}}, 20}},
    {"OnePageByReadAll", records(20), kLinkReadAll, {{kComplete}, ok(20), "StopRead", false, {{1, 20}}, 20}},
    {"OneMoreThanAPage", records(21), kLinkReadAll, {{kComplete}, ok(21), "StopRead", false, {{1, 21}}, 21}},
    {"AtTheLimit", records(5000), kLinkReadAll, {{kComplete}, ok(5000), "StopRead", false, {{1, 5000}}, 5000},
     Setup::None, false, false, 120},
    {"OneAboveTheLimit", records(5001), kLinkReadAll,
     {{kComplete}, ok(5001), "StopRead", false, {{1, 5000}}, 5000}, Setup::None, false, false, 120},
    {"LargestCount", records(65535), kLinkReadAll,
     {{kComplete}, ok(65535), "StopRead", false, {{1, 5000}}, 5000}, Setup::None, false, false, 120},
};

// ---- the runner -------------------------------------------------------------------

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class FaultMatrix : public testing::TestWithParam<Case> {};

Outcome runInProcess(Rig& rig, Player& player, const Case& c)
{
    // Generous: the player itself ends every wait once the case overruns.
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.finished(); }, (c.restWithinS + 10) * 1000));
    player.stop();
    return test::outcomeOf(*rig.form, rig.port->isOpen(), player.boxes());
}

// The driver is the program itself; its report comes on stdout as "what: text" lines.
Outcome runInDriver(Rig& rig, const Case& c)
{
    QStringList arguments{QStringLiteral("--port"), rig.device, QStringLiteral("--log"), rig.logPath};
    for (const auto& step : c.script) {
        if (step.act == Act::Click)
            arguments << QStringLiteral("--click") << QString::fromLatin1(step.button);
    }
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess driver;
    driver.setProcessEnvironment(environment);
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(QStringLiteral(FAULT_DRIVER_PATH), arguments);
    EXPECT_TRUE(driver.waitForStarted(10000));

    Outcome outcome;
    QStringList report;
    std::optional<Player> player;
    player.emplace(rig, c, driver.processId());
    bool lockSeen = false;
    const auto readReport = [&] {
        while (driver.canReadLine()) {
            const auto line = QString::fromLocal8Bit(driver.readLine()).chopped(1);
            if (line.startsWith(QStringLiteral("box: ")))
                player->driverSaw(line.mid(5).replace(rig.device, QStringLiteral("{dev}")));
            if (line.startsWith(QStringLiteral("click: ")))
                player->driverClicked();
            report << line;
        }
    };
    QObject::connect(&driver, &QProcess::readyReadStandardOutput, readReport);
    const bool exited = QTest::qWaitFor([&] {
        lockSeen |= QFileInfo::exists(lockFileOf(rig.device));
        return driver.state() == QProcess::NotRunning;
    }, (c.restWithinS + 10) * 1000);
    const qint64 quitMs = player->elapsed() - player->signalledAt();
    player->stop();
    if (!exited)
        driver.kill();
    driver.waitForFinished(5000);
    readReport();
    EXPECT_TRUE(exited);
    EXPECT_EQ(driver.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(driver.exitCode(), 0);
    EXPECT_GE(player->signalledAt(), 0) << "the SIGTERM was never sent";
    EXPECT_LT(quitMs, 5000) << "the program took " << quitMs << " ms to quit";
    testing::Test::RecordProperty("quitMs", static_cast<int>(quitMs));

    // The program is gone; so must be its claim on the port.
    EXPECT_TRUE(lockSeen) << "no lock file " << lockFileOf(rig.device).toStdString() << " while the driver ran";
    EXPECT_FALSE(QFileInfo::exists(lockFileOf(rig.device)));
    QtSerialPort next(rig.device);
    EXPECT_NO_THROW(next.open());

    outcome.boxes = player->boxes();
    for (const auto& line : report) {
        const auto value = line.section(QStringLiteral(": "), 1);
        if (line.startsWith(QStringLiteral("status: ")))
            outcome.status = value;
        else if (line.startsWith(QStringLiteral("buttons: ")))
            outcome.buttons = value;
        else if (line.startsWith(QStringLiteral("port: ")))
            outcome.portOpen = value == QStringLiteral("open");
        else if (line.startsWith(QStringLiteral("page-last: ")))
            outcome.pageLast = value.toInt();
    }
    return outcome;
}

TEST_P(FaultMatrix, EndsInTheExpectedStateAndComesToRest)
{
    const Case& c = GetParam();
    const bool root = ::geteuid() == 0;
    if (root && (c.setup == Setup::NoPermission || c.setup == Setup::LogInReadOnlyDirectory))
        GTEST_SKIP() << "root ignores permissions";

    Rig rig(c);
    Outcome outcome;
    std::optional<qint64> closedAfterHangUp;
    if (c.inDriver) {
        outcome = runInDriver(rig, c);
    } else {
        Player player(rig, c);
        outcome = runInProcess(rig, player, c);
        EXPECT_FALSE(player.timedOut()) << "not at rest within " << c.restWithinS << " s";
        RecordProperty("restMs", static_cast<int>(player.elapsed()));
        closedAfterHangUp = player.closedAfterHangUpMs();

        // At rest means idle: no handler polling, no port error repeating.
        const double before = processCpuSeconds();
        QTest::qWait(1000);
        const double idleCpu = processCpuSeconds() - before;
        EXPECT_LT(idleCpu, 0.2) << "CPU seconds in 1 s at rest";
        RecordProperty("idleCpuMs", static_cast<int>(idleCpu * 1000));
    }

    const auto& want = c.expected;
    EXPECT_TRUE(boxesMatch(outcome.boxes, want.boxes))
        << "boxes seen: [" << outcome.boxes.join(" | ").toStdString() << "]\nexpected: ["
        << want.boxes.join(" | ").toStdString() << "]";
    EXPECT_EQ(outcome.status, want.status);
    EXPECT_EQ(outcome.buttons, want.buttons);
    EXPECT_EQ(outcome.portOpen, want.portOpen);
    if (want.pageLast != 0) {
        EXPECT_EQ(outcome.pageLast, want.pageLast);
    }
    if (c.setup != Setup::LogOnFullDisk) {
        EXPECT_EQ(readLog(rig.logPath), logText(want.log)) << "the record log";
    }
    if (want.boxes.contains(kLost)) {
        ASSERT_TRUE(closedAfterHangUp.has_value()) << "the port stayed open after the hang-up";
        EXPECT_LT(*closedAfterHangUp, 1000);
    }

    if (c.thenFreshInstrument) {
        test::MessageBoxAnswerer answerer;
        rig.replug();
        QTest::mouseClick(rig.button(kComTest), Qt::LeftButton);
        QTest::mouseClick(rig.button(kStart), Qt::LeftButton);
        EXPECT_EQ(rig.form->statusText(), ok(57).toStdString());
        auto log = want.log;
        log.push_back({1, 20});
        EXPECT_EQ(readLog(rig.logPath), logText(log)) << "the record log after replugging";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace splicerec
