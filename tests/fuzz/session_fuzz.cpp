// The fuzz input is a scenario row of its own: how the simulated splicer misbehaves,
// whether the log fails, and what the technician does when. Whatever it says, the session
// must end without a crash or a hang and stop at once when the window quits; the log holds
// every record taken unless its save failed; every message box is explained; every line
// logged is a record the splicer sent, in order; at each box and at the end, every record
// number of the download up to the last one reached is logged once or named, missing or
// out of order, and never both; and a healthy splicer read plainly (Com Test, then
// ReadAll, however the program stalls) gives every record.
//
// Input, one byte at a time (an exhausted input reads zeros): the record count (% 41);
// pairs of a setting (% 19, see `decode`) and its value, up to a setting 0; then steps of
// three bytes, up to 12: the action (% 8: Com Test, Start, Next Page, ReadAll, StopRead,
// hang-up, stall, quit), the trigger (% 4: 0 at rest, 1 in a box, else when the splicer
// has heard trigger / 4 bytes) and the delay after it, in tens of milliseconds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "scenarios/fake_run.h"

namespace splicerec::fuzz {
namespace {

using namespace test;
using std::chrono::milliseconds;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "session_fuzz: %s\n", what.c_str());
    std::abort();
}

struct Input {
    const std::uint8_t *at, *end;
    int next() { return at < end ? *at++ : 0; }
};

struct Session {
    Scenario row{"fuzz", kNothing, {}, {}, {}};
    int logFailsFrom = 0;  // the record whose save fails first, 1-based; 0: none fails
    bool healthy = true;   // the splicer answers as the program expects, if slowly or noisily, and the log works
};

Session decode(Input in)
{
    Session s;
    auto& b = s.row.behaviour;
    b.records = in.next() % 41;
    for (int setting; (setting = in.next() % 19) != 0;) {
        const int v = in.next();
        switch (setting) {
        case 1: b.wrongIdentifications = v % 13; s.healthy &= b.wrongIdentifications <= 10; break;
        case 2: b.replyDelay = milliseconds(v * 5); s.healthy &= v <= 80; break;
        case 3:
            b.pieces = 1 + v % 4;
            b.pieceGap = milliseconds(v / 4 * 5);
            s.healthy &= b.pieceGap <= 60ms;
            break;
        case 4: b.extraBytesPerFrame = v % 4; break;
        case 5: b.strayByteBeforeRecord = v % 41; break;
        case 6: b.lostCountReplies = v % 3; s.healthy = false; break;
        case 7: b.hangUpAfterRecords = v % 41; s.healthy = false; break;
        case 8: b.silentAfterRecords = v % 41; s.healthy = false; break;
        case 9: b.shortFrameAfterRecords = v % 41; s.healthy = false; break;
        case 10:
            b.lateAfterRecords = v % 41;
            b.lateBy = milliseconds(in.next() * 20);
            s.healthy = false;
            break;
        case 11: b.strayFrameAfterRecord = v % 41; s.healthy = false; break;
        case 12: b.garbledRecord = v % 41; s.healthy = false; break;
        case 13: b.countReplyLength = v % 4; s.healthy &= v % 4 == 2; break;
        case 14: b.garbageBytes = v % 16; s.healthy &= v % 16 == 0; break;
        case 15:
            s.logFailsFrom = v % 8;
            s.row.setup = v & 8 ? Setup::OpenFailsOnce : Setup::None;
            s.healthy &= v % 16 == 0;
            break;
        case 16:
            b.misnumberedRecord = v % 41;
            b.misnumberedAs = in.next() % 41;
            s.healthy = false;
            break;
        case 17: b.skippedRecord = v % 41; s.healthy = false; break;
        case 18: b.twoFramesAt = v % 41; break;
        }
    }
    // A record between a stray byte and trailing bytes is named missing: one is looked for at a
    // reply's start and at its end only.
    s.healthy &= b.strayByteBeforeRecord < 0 || b.extraBytesPerFrame == 0;
    // Trailing bytes split off a frame, or the second frame of a double answer, may come after
    // the next reply in the simulators, which one wire never does.
    if (b.pieces > 1) {
        b.extraBytesPerFrame = 0;
        b.twoFramesAt = -1;
    }
    static constexpr const char* kButtons[] = {kTest, kStart, kNext, kAll, kStop};
    static constexpr Step::Action kOthers[] = {Step::HangUp, Step::Stall, Step::Quit};
    for (int i = 0; i < 12 && in.at < in.end; ++i) {
        const int action = in.next() % 8, trigger = in.next(), ms = in.next() * 10;
        const int heard = trigger % 4 == 0 ? kAtRest : trigger % 4 == 1 ? kInBox : trigger / 4;
        s.row.steps.push_back(action < 5 ? click(kButtons[action], heard, ms) : at(heard, ms, kOthers[action - 5]));
    }
    return s;
}

bool isClick(const Step& step, std::string_view button) { return step.action == Step::Click && step.button == button; }

// The numbers listed after `label` in `text`, up to the full stop: "8, 9."
std::vector<int> numbersAfter(const std::string& text, const std::string& label)
{
    std::vector<int> numbers;
    const auto at = text.find(label);
    if (at == std::string::npos)
        return numbers;
    const char* p = text.c_str() + at + label.size();
    while (*p >= '0' && *p <= '9') {
        char* end = nullptr;
        numbers.push_back(static_cast<int>(std::strtol(p, &end, 10)));
        p = end;
        if (p[0] == ',' && p[1] == ' ')
            p += 2;
    }
    return numbers;
}

// A download's account as the technician is given it, against the lines it logged: each
// number from 1 to the last one reached stands once, logged or named, in one place only.
void checkAccount(const std::vector<std::string>& logged, const std::vector<int>& missing,
                  const std::vector<int>& outOfOrder, const std::string& when)
{
    std::vector<int> all(missing);
    all.insert(all.end(), outOfOrder.begin(), outOfOrder.end());
    for (const auto& line : logged)
        all.push_back(std::atoi(line.c_str() + 3));  // "NO 00012: ..."
    std::sort(all.begin(), all.end());
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] != static_cast<int>(i) + 1)
            violated("the account " + when + " does not name record " + std::to_string(i + 1) +
                     " exactly once: logged " + std::to_string(logged.size()) + ", missing " +
                     std::to_string(missing.size()) + ", out of order " + std::to_string(outOfOrder.size()));
}

void runSession(const std::uint8_t* data, std::size_t size)
{
    const Session s = decode({data, data + size});
    const auto& steps = s.row.steps;
    FakeRun run(s.row);
    run.sink.failFrom = s.logFailsFrom;
    // Each request for record 1 begins a download and its account, and a link test begins
    // an empty one; each box is checked against the lines logged since.
    struct Account {
        std::string detail;
        std::size_t begin, end;  // the download's lines in the log
    };
    std::vector<Account> accounts;
    std::size_t downloadBegan = 0;
    std::set<std::size_t> downloadsBegan{0};  // where in the log each download's lines begin
    unsigned linkTests = 0;
    // First at each pump, before the port delivers: record 1 may be taken in the same pump.
    run.window.pumpHooks.insert(run.window.pumpHooks.begin(), [&] {
        const auto& state = run.controller.state();
        if ((state.recordAwaited == 1 && state.expectedNumber == 1) ||
            std::exchange(linkTests, state.linkTestsStarted) != state.linkTestsStarted)
            downloadsBegan.insert(downloadBegan = run.sink.lines.size());
    });
    run.window.whileMessageShown = [&](const std::string& text) {
        accounts.push_back({run.window.details.back(), downloadBegan, run.sink.lines.size()});
        run.inBox(text);
    };
    run.pumpLimit = 5'000'000;  // a dozen downloads of 40 slow records, each to its deadline
    // A link test that took a reply's tail for its count may promise thousands of records.
    long tangledPumps = 0;
    run.window.onPump([&] { run.window.quit |= !run.plain && ++tangledPumps > 100'000; });
    run.play();

    if (run.hung)
        violated("a wait never ended");
    if (run.pumpsAtQuit >= 0 && run.window.pumps - run.pumpsAtQuit > 2)
        violated("a wait went on after the quit");
    if (!run.unsynced.empty())
        violated("\"" + run.unsynced.front() + "\" was shown before the records were on the disk");
    const auto any = [&](auto pred) { return std::any_of(steps.begin(), steps.end(), pred); };
    for (const auto& box : run.boxes) {
        const bool explained =
            box.starts_with(kComplete) || box.starts_with(kSilent) ||
            (box.starts_with(kSaveError) && s.logFailsFrom > 0) ||
            (box.starts_with("Cannot open") && s.row.setup == Setup::OpenFailsOnce) ||
            (box.starts_with(kStopped) && any([](const Step& step) { return isClick(step, kStop); })) ||
            (box.starts_with("The connection to") &&
             (s.row.behaviour.hangUpAfterRecords >= 0 || any([](const Step& step) { return step.action == Step::HangUp; })));
        if (!explained)
            violated("a message box the session does not explain: " + box);
    }
    // Every record taken is in the log, in order, unless its save failed.
    auto taken = run.window.captions;
    taken.erase(std::remove(taken.begin(), taken.end(), ""), taken.end());
    const auto saveErrors = std::count(run.window.messages.begin(), run.window.messages.end(), kSaveError);
    if (run.sink.lines.size() + static_cast<std::size_t>(saveErrors) != taken.size())
        violated("records taken: " + std::to_string(taken.size()) + ", logged: " + std::to_string(run.sink.lines.size()) +
                 ", save errors: " + std::to_string(saveErrors));
    std::size_t logged = 0;
    for (const auto& line : taken)
        logged += logged < run.sink.lines.size() && run.sink.lines[logged] == line;
    if (logged != run.sink.lines.size())
        violated("the log is not the records taken, in order");
    // A record whose save failed is shown and not logged: the save error says so instead.
    if (run.plain && saveErrors == 0) {
        const auto& lines = run.sink.lines;
        for (const auto& [detail, begin, end] : accounts)
            checkAccount({lines.begin() + static_cast<long>(begin), lines.begin() + static_cast<long>(end)},
                         numbersAfter(detail, "Records missing from the log (garbled on the line): "),
                         numbersAfter(detail, "Records that came out of order, not logged: "), "in a box");
        const auto& state = run.controller.state();
        checkAccount({lines.begin() + static_cast<long>(downloadBegan), lines.end()}, state.missingRecords,
                     state.outOfOrderRecords, "at the end");
    }
    // No line could tell a record from noise that completes a frame cut short, lands inside a
    // frame split in pieces or follows a stray byte into the awaited number (the stray frame
    // comes where the program's pace puts it), nor from a frame misnumbered as the awaited one.
    const auto& b = s.row.behaviour;
    const bool cutShort = b.shortFrameAfterRecords >= 0 || b.pieces > 1;
    if (!run.plain || (b.strayFrameAfterRecord >= 0 && (cutShort || b.strayByteBeforeRecord >= 0)) ||
        (cutShort && b.extraBytesPerFrame > 0) || b.misnumberedRecord >= 0)
        return;
    const auto genuine = expectedLines({{1, b.records}});
    // Each one a record the splicer sent, after the one before it unless a download began between them.
    for (std::size_t i = 0; i < run.sink.lines.size(); ++i) {
        const auto& line = run.sink.lines[i];
        const auto at = std::find(genuine.begin(), genuine.end(), line);
        if (at == genuine.end())
            violated("a line was logged that the splicer did not send as a record: " + line);
        if (i > 0 && !downloadsBegan.contains(i) && std::find(genuine.begin(), at, run.sink.lines[i - 1]) == at)
            violated("a record was logged out of order: " + line + " after " + run.sink.lines[i - 1]);
    }
    const bool plainReadAll = steps.size() >= 2 && isClick(steps[0], kTest) && steps[0].heard == kAtRest &&
                              isClick(steps[1], kAll) && steps[1].heard == kAtRest &&
                              std::all_of(steps.begin() + 2, steps.end(), [](auto& step) { return step.action == Step::Stall; });
    if (s.healthy && plainReadAll && run.sink.lines != genuine)
        violated("a healthy splicer read plainly gave " + std::to_string(run.sink.lines.size()) + " of " +
                 std::to_string(genuine.size()) + " records");
}

}  // namespace
}  // namespace splicerec::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    splicerec::fuzz::runSession(data, size);
    return 0;
}
