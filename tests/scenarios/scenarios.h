#pragma once

// The scenario table: what the instrument, the cable, the disk and the technician do, and
// the state the program must come to rest in. Each row says what it needs beyond the
// protocol and the simulated instrument, and every runner plays the rows it can: the
// fake-time runner (the protocol on a fake clock, on Linux and under Wine) and the
// real-stack runner (the Qt window, QtSerialPort on a pseudo-terminal, the log on disk).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "instrument.h"

namespace splicerec::test {

using namespace std::chrono_literals;

// The log line of record `number` as the simulated instrument sends it, formatted here
// on its own so that a fault in the program's formatter cannot hide in the expectation.
inline std::string expectedLine(int number)
{
    const auto f = sim::Instrument::frame(number);
    char text[64];
    std::snprintf(text, sizeof text, "NO %05d: 20%02X-%02X-%02X %02X:%02X   LOSS:%d.%02ddB", f[0] * 256 + f[1],
                  f[3], f[4], f[5], f[6], f[7], f[2] / 100, f[2] % 100);
    return text;
}

inline std::vector<std::string> expectedLines(const std::vector<std::pair<int, int>>& ranges)
{
    std::vector<std::string> lines;
    for (const auto& [first, last] : ranges)
        for (int number = first; number <= last; ++number)
            lines.push_back(expectedLine(number));
    return lines;
}

constexpr int kAtRest = -1, kInBox = -2, kStallMs = 4000;

// One thing done: when the trigger holds (the program is at rest, a message box is open,
// or the instrument has heard `heard` bytes) and `ms` more have passed.
struct Step {
    // Stall: the program stops for kStallMs, as on a laptop that stalls; DestroyWindow:
    // the window system takes the window away without closing it.
    enum Action { Click, HangUp, Stall, AnswerBox, Quit, CloseWindow, DestroyWindow, Sigterm };
    Action action;
    const char* button;  // the caption, for a click
    int heard;
    int ms;
};

inline Step click(const char* button, int heard = kAtRest, int ms = 0) { return {Step::Click, button, heard, ms}; }
inline Step at(int heard, int ms, Step::Action action) { return {action, nullptr, heard, ms}; }

// Plays a row's steps: each comes due once its trigger has held for its `ms`.
class StepPlayer {
public:
    explicit StepPlayer(const std::vector<Step>& steps) : steps_(steps) {}

    // The step to take now, if any: `nowMs` on the runner's clock, `heard` the bytes the
    // instrument has heard, `atRest` no handler running and no box open.
    const Step* due(long nowMs, long heard, bool atRest, bool inBox)
    {
        if (done())
            return nullptr;
        const Step& step = steps_[next_];
        if (!(step.heard == kInBox ? inBox : step.heard == kAtRest ? atRest : heard >= step.heard)) {
            since_ = -1;
            return nullptr;
        }
        since_ = since_ < 0 ? nowMs : since_;
        if (nowMs - since_ < step.ms)
            return nullptr;
        since_ = -1;
        return &steps_[next_++];
    }
    bool done() const { return next_ >= steps_.size(); }
    // Whether the next step waits on what a program at rest cannot bring: a box, or more bytes.
    bool stuckAtRest(long heard) const
    {
        return !done() && (steps_[next_].heard == kInBox || steps_[next_].heard > heard);
    }
    // A box is left open for the step that deals with it.
    bool nextIsInBox() const { return !done() && steps_[next_].heard == kInBox; }

private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    long since_ = -1;
};

enum class Setup {
    None, OpenFailsOnce, MissingDevice, DeviceHeld, SymlinkToHeld, NoPermission, LogFailsAtOnce, LogCutMidLine,
    LogIsFifo, LogFolderMissing, LogFolderVanishes, LogWithoutLineEnd
};

struct End {
    std::string status;
    std::string buttons;  // the enabled lower buttons: "Start,ReadAll"
    bool portOpen;
};

// What a row needs; a runner plays every row whose needs it meets.
enum Needs : unsigned {
    kNothing = 0,
    kPseudoTerminal = 1 << 0,  // a device node that can be missing, held by another opener, linked or forbidden
    kPosixFiles = 1 << 1,      // a FIFO for a log
    kPosixSignals = 1 << 2,    // SIGTERM to the program
    kWindowSystem = 1 << 3,    // a window that the window system can close or take away
    kFullDisk = 1 << 4,        // a log whose disk is full from a chosen record on
    kScriptedPort = 1 << 5,    // a port whose open fails on demand
    kDrivenClock = 1 << 6,     // steps that land at an exact moment of the program's waits
    kScriptedLog = 1 << 7,     // a log whose folder vanishes at a chosen record
    kLogFile = 1 << 8,         // a log file that an earlier program or an editor left behind
};
constexpr Needs operator|(Needs a, Needs b) { return Needs(unsigned(a) | unsigned(b)); }

struct Scenario {
    const char* name;
    Needs needs;
    sim::Behaviour behaviour;
    std::vector<Step> steps;
    End end;
    std::vector<std::string> boxes{};  // "{dev}" is the device; a final '*' matches any rest
    std::vector<std::pair<int, int>> log{};  // record ranges, in order
    std::string heard{};  // every byte the instrument heard, when given
    int pageLast = -1;  // the record on the page's last line; -1: the last logged, or none
    Setup setup = Setup::None;
    const char* screenshot = nullptr;
    int pageFirst = -1;  // the record on the page's first line; -1: a page starts every twentieth

    int lastShown() const { return pageLast >= 0 ? pageLast : log.empty() ? 0 : log.back().second; }
    std::vector<std::string> page() const
    {
        const int last = lastShown();
        const int first = pageFirst >= 0 ? pageFirst : last - (last - 1) % 20;
        return last == 0 ? std::vector<std::string>{} : expectedLines({{first, last}});
    }
};

inline void PrintTo(const Scenario& row, std::ostream* out) { *out << row.name; }

inline std::string ok(int records)
{
    return "Communication success !" + std::to_string(records) + " records in the device!";
}
inline std::string requests(int n) { return std::string(static_cast<std::size_t>(n), 'n'); }

const std::string kFail = "Communication error ! Please check the cable !",
                  kSilent = "Device not responding ! Please check the cable !", kSaveError = "RECORD SAVE ERROR !!",
                  kLost = "The connection to {dev} was lost*", kInUse = "Cannot open {dev}: it is in use*",
                  kComplete = "RECORD DOWNLOAD COMPLETE !", kStopped = "Reading record stopped !";
// A box as the runners see it: its text, and its detail on the next line. "{log}" is the log file.
inline std::string box(const std::string& text, const std::string& detail) { return text + "\n" + detail; }
inline std::string completed(int logged) { return box(kComplete, std::to_string(logged) + " records appended to {log}."); }
// The account of records not logged, as the status line and the end box give it.
inline std::string missing(const std::string& numbers)
{
    return "Records missing from the log (garbled on the line): " + numbers + ". Com Test, then ReadAll, reads them again.";
}
inline std::string completedWithout(int logged, const std::string& numbers)
{
    return completed(logged) + "\n" + missing(numbers);
}
inline std::string stopped(int last, int total)
{
    return box(kStopped, "Stopped after record " + std::to_string(last) + " of " + std::to_string(total) + ".");
}
// The system's words for a path whose folder is missing, as the log passes them on: Linux
// says "No such file or directory"; Windows and Wine each word ERROR_PATH_NOT_FOUND their
// own way (support/fakes.cpp).
std::string noSuchFolder();
const std::string kSilentBox = box(kSilent, "No answer on {dev}."), kSaveBox = box(kSaveError, "cannot *"),
                  kCannotSave = "The records cannot be saved to {log} !\ncannot create {log}: " + noSuchFolder() +
                                ". Create the folder*";
const End kLinkFailed{kFail, "", true}, kFailed{kFail, "", false}, kBusy{"Communicating...", "", true},
    kLinked{ok(57), "Start,ReadAll", true}, kPaged{ok(57), "Next Page,ReadAll,StopRead", true},
    kSaveFailed{"Records not saved: cannot *", "Start", false}, kQuitReading{ok(57), "", true},
    kLostEnd{"The connection to {dev} was lost*", "", false};
inline End done(int records, std::string buttons) { return {ok(records), std::move(buttons), false}; }
inline End notOpened(const std::string& why) { return {"Cannot open {dev}: " + why, "", false}; }
constexpr const char *kTest = "Com Test", *kStart = "Start", *kNext = "Next Page", *kAll = "ReadAll",
                     *kStop = "StopRead";

inline std::vector<Step> operator+(std::vector<Step> steps, const std::vector<Step>& more)
{
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}
// Com Test, then Start or ReadAll, then more.
inline std::vector<Step> linked(const std::vector<Step>& more = {}) { return std::vector{click(kTest)} + more; }
inline std::vector<Step> started(const std::vector<Step>& more = {}) { return linked({click(kStart)}) + more; }
inline std::vector<Step> reading(const std::vector<Step>& more = {}) { return linked({click(kAll)}) + more; }
inline sim::Behaviour records(int n) { return {.records = n}; }
inline sim::Behaviour silentAfter(int k) { return {.silentAfterRecords = k}; }

// clang-format off
inline const std::vector<Scenario> kScenarios = {
    // 1. Link tests against instruments that do not answer as they should.
    {"ComTestSilent", kNothing, {.silent = true}, linked(), kLinkFailed, {}, {}, "s"},
    {"WrongIdentificationTenTimes", kNothing, {.wrongIdentifications = 10}, linked(), kLinked, {}, {},
     "s" + std::string(10, 'a') + "n"},
    {"WrongIdentificationElevenTimes", kDrivenClock, {.wrongIdentifications = 11}, linked(), kLinkFailed, {}, {},
     "s" + std::string(11, 'a')},
    {"EchoOnly", kNothing, {.echo = true}, linked(), kLinkFailed, {}, {}, "s"},
    {"GarbageLongerThanAFrame", kNothing, {.garbageBytes = 12}, started(), kLinkFailed},
    {"CountReplyMissing", kNothing, {.countReplyLength = 0}, linked(), kLinkFailed, {}, {}, "sn"},
    {"CountReplyOfThreeBytes", kNothing, {.countReplyLength = 3}, linked(), kLinkFailed},
    {"LineTakesNothing", kNothing, {.stalled = true}, linked(), kLinkFailed, {}, {}, ""},
    {"SplitAndLateLinkReplies", kNothing, {.records = 300, .replyDelay = 400ms, .pieces = 3, .pieceGap = 200ms},
     linked(), {ok(300), "Start,ReadAll", true}},
    {"ComTestAgainAfterALostCount", kNothing, {.lostCountReplies = 1}, linked({click(kTest)}), kLinked, {}, {}, "snsn"},
    {"PortCannotBeOpenedThenCan", kScriptedPort, {}, linked({click(kTest)}), kLinked, {"Cannot open {dev}: permission denied*"},
     {}, "", -1, Setup::OpenFailsOnce},
    // 2. Replies in pieces, long or late; a late frame is never the next record.
    {"RepliesInPiecesWithGaps", kNothing, {.pieces = 3, .pieceGap = 60ms}, started(), kPaged, {}, {{1, 20}}},
    {"ExtraBytesAfterEachFrame", kNothing, {.extraBytesPerFrame = 3}, started(), kPaged, {}, {{1, 20}},
     "sn" + requests(20)},
    {"SevenBytesThenSilence", kNothing, {.shortFrameAfterRecords = 4}, started(), kFailed, {kSilentBox}, {{1, 4}}},
    {"LateReplyWhileThePortIsClosed", kNothing, {.lateAfterRecords = 3, .lateBy = 3300ms},
     started({at(kInBox, 1500, Step::AnswerBox), click(kTest), click(kStart)}), kPaged, {kSilentBox},
     {{1, 3}, {1, 20}}},
    {"LateReplyAfterTheNextComTest", kNothing, {.lateAfterRecords = 3, .lateBy = 3600ms},
     started({click(kTest), click(kStart), click(kNext, kAtRest, 1500)}), kPaged, {kSilentBox},
     {{1, 3}, {1, 40}}},
    // Noise on the line: a stray byte or frame never becomes a record, a garbled record is named.
    {"StrayByteBeforeARecord", kNothing, {.strayByteBeforeRecord = 11}, reading(), done(57, "StopRead"), {completed(57)},
     {{1, 57}}},
    {"StrayFrameAfterARecord", kNothing, {.replyDelay = 40ms, .strayFrameAfterRecord = 5}, reading(),
     done(57, "StopRead"), {completed(57)}, {{1, 57}}},
    {"GarbledRecordIsNamedMissing", kNothing, {.garbledRecord = 11}, reading(), {missing("11"), "StopRead", false},
     {completedWithout(56, "11")}, {{1, 10}, {12, 57}}},
    // A whole frame numbered out of place is never logged under that number, nor ends the
    // download: the record asked for is named missing, and a count that went apart catches up.
    {"EighthAnswerNumberedNine", kNothing, {.records = 25, .misnumberedRecord = 8, .misnumberedAs = 9}, reading(),
     {missing("8"), "StopRead", false}, {completedWithout(24, "8")}, {{1, 7}, {9, 25}}},
    {"EighthAnswerNumberedSeven", kNothing, {.records = 25, .misnumberedRecord = 8, .misnumberedAs = 7}, reading(),
     {missing("8"), "StopRead", false}, {completedWithout(24, "8")}, {{1, 7}, {9, 25}}},
    {"FifthAnswerNumberedAsTheLast", kNothing, {.records = 25, .paced = true, .misnumberedRecord = 5, .misnumberedAs = 25},
     reading(), {missing("5"), "StopRead", false}, {completedWithout(24, "5")}, {{1, 4}, {6, 25}}, "sn" + requests(25)},
    {"AnswersOneAheadFromTheEighth", kNothing, {.records = 25, .skippedRecord = 8}, reading(),
     {missing("8, 9"), "StopRead", false}, {completedWithout(23, "8, 9")}, {{1, 7}, {10, 25}}, "sn" + requests(24), -1,
     Setup::None, nullptr, 22},
    {"TwoFramesInOneAnswer", kNothing, {.records = 25, .twoFramesAt = 5}, reading(), done(25, "StopRead"),
     {completed(25)}, {{1, 25}}, "sn" + requests(24), -1, Setup::None, nullptr, 22},
    {"StalledJustAfterARequest", kNothing, {.lateAfterRecords = 3, .lateBy = 200ms}, started({at(6, 0, Step::Stall)}),
     kPaged, {}, {{1, 20}}},
    // 3. Silence and hang-ups midway: one message; a hung-up port closes at once.
    {"SilentDuringStart", kNothing, silentAfter(5), started(), kFailed, {kSilentBox}, {{1, 5}}, "sn" + requests(6)},
    {"HangUpDuringComTest", kNothing, {.silent = true}, linked({at(1, 100, Step::HangUp)}), kLostEnd, {kLost}},
    {"HangUpMidRecord", kNothing, {.shortFrameAfterRecords = 4}, started({at(7, 200, Step::HangUp)}), kLostEnd, {kLost},
     {{1, 4}}},
    {"HangUpDuringReadAll", kNothing, {.hangUpAfterRecords = 25}, reading(), kLostEnd, {kLost}, {{1, 25}}},
    // 4. Ports that cannot be opened.
    {"MissingDevice", kPseudoTerminal, {}, linked(), notOpened("the device does not exist or is not connected"),
     {"Cannot open {dev}: the device does not exist*"}, {}, "", -1, Setup::MissingDevice},
    {"DeviceHeldByAnotherOpener", kPseudoTerminal, {}, linked(), notOpened("it is in use by another program"), {kInUse}, {}, "",
     -1, Setup::DeviceHeld},
    {"SymlinkToAHeldDevice", kPseudoTerminal, {}, linked(), notOpened("it is in use by another program"), {kInUse}, {}, "", -1,
     Setup::SymlinkToHeld},
    {"PermissionDenied", kPseudoTerminal, {}, linked(), notOpened("permission denied"), {"Cannot open {dev}: permission denied*"},
     {}, "", -1, Setup::NoPermission},
    // 5. Logs that cannot be written: the record stays on the page, nothing half-written.
    {"LogFailsAtTheFirstRecord", kFullDisk, {}, started(), kSaveFailed, {kSaveBox}, {}, "", 1, Setup::LogFailsAtOnce},
    {"LogFailsDuringReadAll", kFullDisk, {}, reading(), {"Records not saved: cannot *", "Start,StopRead", false},
     {kSaveBox}, {}, "", 1, Setup::LogFailsAtOnce},
    {"LogCutMidLine", kFullDisk, {}, started(), kSaveFailed, {kSaveBox}, {{1, 2}}, "", 3, Setup::LogCutMidLine},
    {"LogIsAFifoNobodyReads", kPosixFiles, {}, started(), kSaveFailed,
     {"The records cannot be saved to {log} !\ncannot open {log}: No such device or address*", kSaveBox}, {}, "", 1,
     Setup::LogIsFifo},
    {"LogFolderMissing", kNothing, {}, linked(), kLinked, {kCannotSave}, {}, "", -1, Setup::LogFolderMissing},
    // The same reason from the failed save and from the flush before the box: said once.
    {"LogFolderVanishesMidDownload", kScriptedLog, {}, started(), kSaveFailed,
     {box(kSaveError, "cannot open {log}: " + noSuchFolder())}, {{1, 2}}, "", 3, Setup::LogFolderVanishes},
    // Its last line edited by hand, without a line end: the records start on a line of their own.
    {"LogWithoutALineEndAtItsEnd", kLogFile, {}, started(), kPaged, {}, {{57, 57}, {1, 20}}, "", -1,
     Setup::LogWithoutLineEnd},
    {"SaveErrorReadForFiveSeconds", kFullDisk, {}, started({at(kInBox, 5000, Step::AnswerBox)}), kSaveFailed, {kSaveBox},
     {}, "", 1, Setup::LogFailsAtOnce},
    // 6. Quitting while each kind of wait runs, in the window and by SIGTERM to the program.
    {"QuitInIdentificationWait", kNothing, {.silent = true}, linked({at(1, 100, Step::Quit)}), kBusy},
    {"QuitInOutputDrain", kNothing, {.stalled = true}, linked({at(0, 300, Step::Quit)}), kBusy},
    {"QuitInRecordWait", kNothing, silentAfter(3), started({at(6, 100, Step::Quit)}), kQuitReading, {}, {{1, 3}}},
    {"QuitInMessageBox", kNothing, silentAfter(3), started({at(kInBox, 100, Step::Quit)}), kFailed, {kSilentBox}, {{1, 3}}},
    {"WindowClosedDuringReadAll", kWindowSystem, silentAfter(30), reading({at(33, 100, Step::CloseWindow)}),
     {ok(57), "StopRead", true}, {}, {{1, 30}}},
    {"WindowDestroyedDuringReadAll", kWindowSystem, silentAfter(30), reading({at(33, 100, Step::DestroyWindow)}),
     {ok(57), "StopRead", true}, {}, {{1, 30}}},
    {"SigtermInRecordWait", kPosixSignals, silentAfter(3), started({at(6, 200, Step::Sigterm)}), kQuitReading, {}, {{1, 3}}},
    {"SigtermInMessageBox", kPosixSignals, silentAfter(3), started({at(kInBox, 200, Step::Sigterm)}), kFailed, {kSilentBox},
     {{1, 3}}},
    // 7. Buttons pressed again while something runs or after it ended. A double-clicked Com
    // Test starts again while the first one's count is arriving; a link test waits for a
    // quiet line, so neither that count nor a late record in pieces shifts its replies.
    {"ComTestDoubleClickedWhileTheCountArrives", kNothing, {.replyDelay = 50ms, .paced = true},
     linked({click(kTest, 2, 56), click(kStart)}), kPaged, {}, {{1, 20}}, "snsn" + requests(20)},
    {"LateRecordInPiecesAsComTestStarts", kNothing,
     {.replyDelay = 50ms, .pieces = 4, .pieceGap = 15ms, .lateAfterRecords = 3, .lateBy = 3000ms},
     started({click(kTest), click(kStart)}), kPaged, {kSilentBox}, {{1, 3}, {1, 20}}},
    {"ComTestWhileReadAllWaits", kNothing, {.lateAfterRecords = 5, .lateBy = 2000ms},
     reading({click(kTest, 8, 100), click(kStart, kAtRest, 2500)}), kPaged, {}, {{1, 5}, {1, 20}}},
    {"StopReadLetsTheAwaitedRecordArrive", kDrivenClock, {}, reading({click(kStop, 7)}), kPaged, {stopped(5, 57)}, {{1, 5}},
     "sn" + requests(5)},
    {"StopReadTwiceThenReadAllAgain", kNothing, {.records = 30, .replyDelay = 150ms},
     reading({click(kStop, 7), click(kStop, 7), click(kAll)}), done(30, "StopRead"),
     {stopped(5, 30), completed(30)}, {{1, 30}}, "sn" + requests(30), -1, Setup::None, nullptr, 26},
    {"StartThenNextPage", kNothing, {}, started({click(kNext)}), kPaged, {}, {{1, 40}}, "sn" + requests(40)},
    {"ReadAllAgainAfterCompletion", kNothing, {.records = 3, .extraBytesPerFrame = 2}, reading({click(kAll), click(kStop), click(kAll)}),
     done(3, "StopRead"), {completed(3), completed(3)}, {{1, 3}, {1, 3}}},
    // 8. Record counts at the edges: nothing to start, a page, the limit of 5000.
    {"NoRecordsNothingToStart", kNothing, records(0), started({click(kAll)}), {ok(0), "", true}, {}, {}, "sn"},
    {"OneRecordByStart", kNothing, records(1), started(), done(1, ""), {box(kComplete, "1 record appended to {log}.")},
     {{1, 1}}},
    {"OnePageByStart", kNothing, records(20), started(), done(20, ""), {completed(20)}, {{1, 20}}},
    {"OnePageByReadAll", kNothing, records(20), reading(), done(20, "StopRead"), {completed(20)}, {{1, 20}}},
    {"OneMoreThanAPage", kNothing, records(21), reading(), done(21, "StopRead"), {completed(21)}, {{1, 21}}},
    {"ReadAllToCompletion", kNothing, {}, reading(), done(57, "StopRead"), {completed(57)}, {{1, 57}}, "sn" + requests(57),
     -1, Setup::None, "form1-readall.png"},
    {"AtTheLimit", kNothing, records(5000), reading(), done(5000, "StopRead"), {completed(5000)}, {{1, 5000}}},
    {"OneAboveTheLimit", kNothing, records(5001), reading(), done(5001, "StopRead"), {completed(5000)}, {{1, 5000}}},
    {"LargestCount", kNothing, records(65535), reading(), done(65535, "StopRead"), {completed(5000)}, {{1, 5000}}},
    {"StopReadAboveTheLimit", kDrivenClock, records(5001), reading({click(kStop, 7)}), {ok(5001), "Next Page,ReadAll,StopRead", true},
     {stopped(5, 5000)}, {{1, 5}}, "sn" + requests(5)},
};
// clang-format on

// The rows a runner that meets `met` can play.
inline std::vector<Scenario> rowsFor(Needs met)
{
    std::vector<Scenario> rows;
    std::copy_if(kScenarios.begin(), kScenarios.end(), std::back_inserter(rows),
                 [met](const Scenario& row) { return (row.needs & ~met) == 0; });
    return rows;
}

}  // namespace splicerec::test
