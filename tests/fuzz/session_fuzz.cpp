// The fuzz input plays the line to a healthy simulated splicer and a restless technician.
// The session must end without a crash; every record taken must be a frame the splicer
// sent, in order; a whole, timely, undisturbed frame to a waiting reader must be taken;
// the log holds every record taken unless its save failed; every message box is
// explained; a handler superseded by a newer link test leaves the line alone.
//
// Input: a flag byte (below), a byte choosing the record count, then entries taken each
// time the host writes a byte, up to one that settles the reply. An entry is a header
// byte (kind in the top three bits) and a parameter byte P:
//   0  the reply, in (h & 7) + 1 pieces P % 40 ms apart; settles
//   1  (h & 3) + 1 noise bytes from the input come P % 45 ms before the reply
//   2  a stray frame of 8 bytes from the input comes P % 45 ms before the reply
//      (three pieces of noise at most before one reply)
//   3  the program stalls for P * 20 ms
//   4  the line drops after P ms; settles
//   5  the technician clicks button (h & 7) % 6 (see press) after P ms
//   6  the reply comes P * 20 ms late; settles
//   7  the reply is lost; settles
// An exhausted input answers every byte at once.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/controller.h"
#include "scenarios/scenarios.h"
#include "support/fakes.h"

namespace splicerec::fuzz {
namespace {

using namespace test;
using std::chrono::milliseconds;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "session_fuzz: %s\n", what.c_str());
    std::abort();
}

// Flag byte; a high nibble K > 0 breaks the log from the K-th record taken on.
constexpr std::uint8_t kLogBrokenFromStart = 0x01, kStartInsteadOfReadAll = 0x02, kFirstOpenFails = 0x04;

// A genuine record frame: its request, its last byte due, and when the port first could
// have it, which a stall of the program may make later.
struct Sent {
    int number;
    Clock::TimePoint requested, complete;
    bool undisturbed;
    std::optional<Clock::TimePoint> delivered;
};

struct Line {
    Line(FakeClock& clock, const std::uint8_t* at, const std::uint8_t* end, int records)
        : clock(clock), at(at), end(end), instrument(sim::Behaviour{.records = records})
    {
    }

    std::uint8_t next() { return at < end ? *at++ : 0; }

    std::vector<sim::Emission> receive(std::uint8_t byte)
    {
        auto reply = instrument.receive(byte);
        std::vector<sim::Emission> noise, out;
        milliseconds lead{0};
        bool lost = false, disturbed = false;
        while (at < end) {
            const std::uint8_t header = next(), p = next();
            const int kind = header >> 5;
            if (kind == 1 || kind == 2) {
                std::vector<std::uint8_t> bytes;
                for (int i = 0; i < (kind == 2 ? 8 : (header & 3) + 1); ++i)
                    bytes.push_back(next());
                // A glitch or two: a reply all noise is no record and would run into the next.
                if (noise.size() < 3)
                    noise.push_back({{}, std::move(bytes)});
                lead = std::max(lead, milliseconds(p % 45));
                continue;
            }
            if (kind == 3 || kind == 5) {
                events.emplace(clock.now() + milliseconds(kind == 3 ? 0 : p), kind == 3 ? -p : 1 + (header & 7) % 6);
                disturbed |= kind == 5;
                continue;
            }
            if (kind == 4) {
                out.push_back({milliseconds(p), {}, true});
                hangUps = true;
                lost = true;
                noise.clear();  // noise alone would stand as a frame
            } else if (kind == 6 && noise.empty()) {
                for (auto& emission : reply)
                    emission.after += milliseconds(p * 20);
                disturbed = true;
            } else if (kind == 7 && noise.empty()) {
                lost = true;
            } else if (kind == 0 && reply.size() == 1 && reply[0].bytes.size() > 1) {
                // Gaps stay short of the quiet line that ends a reply (a USB latency timer: 16 ms).
                const auto gap = milliseconds(p % 40);
                const auto bytes = reply[0].bytes;
                const std::size_t pieces = std::min<std::size_t>((header & 7) + 1, bytes.size());
                reply.clear();
                for (std::size_t i = 0, size = bytes.size() / pieces; i < pieces; ++i) {
                    const auto from = bytes.begin() + static_cast<long>(i * size);
                    const auto to = i + 1 == pieces ? bytes.end() : from + static_cast<long>(size);
                    reply.push_back({gap * static_cast<int>(i), {from, to}});
                }
            }
            break;
        }
        std::vector<std::uint8_t> frameBytes;
        for (const auto& piece : reply)
            frameBytes.insert(frameBytes.end(), piece.bytes.begin(), piece.bytes.end());
        const bool frame = byte == 'n' && !lost && frameBytes.size() == 8;
        // Noise goes only before record frames (link replies have no number to tell it by),
        // and never starting with a record number the program may expect: no line could tell.
        if (!frame) {
            noise.clear();
            lead = {};
        }
        std::vector<std::uint8_t> stream;
        for (const auto& n : noise)
            stream.insert(stream.end(), n.bytes.begin(), n.bytes.end());
        stream.insert(stream.end(), frameBytes.begin(), frameBytes.end());
        if (!noise.empty() && stream[0] == 0 && stream[1] <= 41)
            noise[0].bytes[0] ^= 0x80;
        out.insert(out.end(), noise.begin(), noise.end());
        if (!lost) {
            for (auto& emission : reply) {
                emission.after += lead;
                out.push_back(emission);
            }
        }
        // A reply cannot overtake the one before it on the wire.
        const auto start = std::max(clock.now(), lineFreeAt);
        const auto shift = std::chrono::duration_cast<std::chrono::microseconds>(start - clock.now());
        for (auto& emission : out) {
            emission.after += shift;
            lineFreeAt = std::max(lineFreeAt, clock.now() + emission.after);
        }
        if (frame) {
            // The frame's last byte is the last on the line: noise came before it.
            sent.push_back({frameBytes[0] << 8 | frameBytes[1], clock.now(), lineFreeAt, noise.empty() && !disturbed,
                            std::nullopt});
            undelivered.emplace(sent.back().complete, sent.size() - 1);
        }
        return out;
    }

    FakeClock& clock;
    const std::uint8_t *at, *end;
    sim::Instrument instrument;
    std::vector<Sent> sent;
    std::multimap<Clock::TimePoint, std::size_t> undelivered;  // indices into `sent`, by when due
    Clock::TimePoint lineFreeAt{};
    std::multimap<Clock::TimePoint, int> events;  // due; a click code 1..6, or a stall of -P * 20 ms
    bool hangUps = false;
};

void runSession(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t flags = data[0];
    const int records = size > 1 ? 1 + data[1] % 40 : 3;
    FakeClock clock;
    FakeWindow window(clock);
    FakeSink sink;
    Line line(clock, data + std::min<std::size_t>(size, 2), data + size, records);
    // A link test begun while an earlier reply is on the line takes its tail for its own
    // count, which no protocol can tell: such a session proves nothing about genuine records.
    bool overlappingLinkTests = false;
    long overlapSeenAt = 0;
    SimPort port(window, clock, [&](std::uint8_t byte) {
        if (byte == 's' && port.replying() && !std::exchange(overlappingLinkTests, true))
            overlapSeenAt = window.pumps;
        return line.receive(byte);
    });
    Controller controller(window, port, clock, sink);
    if (flags & kFirstOpenFails)
        port.openError = "Cannot open " + port.deviceName() + ": it is in use by another program.";
    sink.failFrom = flags & kLogBrokenFromStart ? 1 : flags >> 4;

    // Each host byte costs a few reply timeouts at most and consumes an entry: far fewer pumps.
    const long pumpLimit = 10'000 + 1'000 * static_cast<long>(size);
    std::vector<int> clicks;  // the buttons pressed, by code
    std::vector<Clock::TimePoint> clickTimes;
    bool nestedReaders = false;
    std::vector<std::string> unexplained;
    window.whileMessageShown = [&](const std::string& text) {
        const bool explained = text == "RECORD DOWNLOAD COMPLETE !" || text == kSilent ||
                               (text == kSaveError && sink.failFrom > 0) ||
                               (text == kStopped && std::count(clicks.begin(), clicks.end(), 0) > 0) ||
                               (text.starts_with("Cannot open") && (flags & kFirstOpenFails)) ||
                               (text.starts_with("The connection to") && line.hangUps);
        if (!explained)
            unexplained.push_back(text + " / " + window.details.back());
    };

    // Handlers nest as clicks arrive inside waits; a link test that returns supersedes the
    // handlers it interrupted, and none of them may touch the line again.
    int depth = 0, superseded = 0;  // handlers at `superseded` depth and below are superseded
    std::size_t heardBefore = 0;
    const auto checkWrites = [&] {
        if (port.heard.size() != heardBefore && depth <= superseded)
            violated("a handler superseded by a newer link test wrote \"" + port.heard.substr(heardBefore) + "\"");
        heardBefore = port.heard.size();
    };
    // Click codes: StopRead, Com Test (never disabled), Start, Next Page, ReadAll, close
    // the window. A click on a disabled button does nothing, as in the real window.
    const auto press = [&](int code) {
        static constexpr std::pair<Button, void (Controller::*)()> kButtons[] = {
            {Button::Command2, &Controller::stopRead}, {Button::Command1, &Controller::comTest},
            {Button::Command1, &Controller::start}, {Button::Command4, &Controller::nextPage},
            {Button::Command3, &Controller::readAll}};
        clicks.push_back(code);
        clickTimes.push_back(clock.now());
        if (code == 5) {
            window.quit = true;
        } else if (const auto [button, handler] = kButtons[code]; code == 1 || window.enabled.at(button)) {
            // A reader nested in another's wait shares its flags and cuts its frames: which
            // bytes make a frame is no longer plain.
            nestedReaders |= depth > 0 && code >= 2;
            checkWrites();
            ++depth;
            (controller.*handler)();
            --depth;
            superseded = handler == &Controller::comTest ? depth : std::min(superseded, depth);
            heardBefore = port.heard.size();
        }
    };
    window.onPump([&] {
        // A count read from an earlier test's tail promises records that never come.
        if (overlappingLinkTests && window.pumps > overlapSeenAt + 2'000)
            window.quit = true;
        else if (window.pumps > pumpLimit)
            violated("the session did not end within " + std::to_string(pumpLimit) + " pumps");
        checkWrites();
        while (!line.undelivered.empty() && line.undelivered.begin()->first <= clock.now())
            line.sent[line.undelivered.extract(line.undelivered.begin()).mapped()].delivered = clock.now();
        // Clicks wait while the pump takes no user input; stalls do not.
        while (true) {
            // A click may pump and take events itself, so each round looks afresh.
            const auto due = std::find_if(line.events.begin(), line.events.end(), [&](const auto& event) {
                return event.first <= clock.now() && (event.second < 0 || window.userInput);
            });
            if (due == line.events.end() || due->first > clock.now())
                break;
            const int event = due->second;
            line.events.erase(due);
            if (event > 0) {
                press(event - 1);
            } else {
                clock.advance(milliseconds(-event * 20));
                break;  // what came during the stall is dispatched first, in the next pump
            }
        }
        // Until the next byte or event is due a pump changes only the time: skip ahead, up to
        // half a second a pump, which deadlines of seconds do not notice.
        auto next = clock.now() + milliseconds(500);
        if (const auto due = port.nextDue())
            next = std::min(next, *due);
        if (!line.events.empty())
            next = std::min(next, line.events.begin()->first);
        if (next - clock.now() > milliseconds(1))
            clock.advance(std::chrono::duration_cast<std::chrono::microseconds>(next - clock.now()) - milliseconds(1));
    });

    controller.startUp();
    for (int code : flags & kStartInsteadOfReadAll ? std::vector{1, 2, 3} : std::vector{1, 4})
        press(code);
    // The window stays open: whatever the input still has in flight arrives idle.
    while ((port.replying() || !line.events.empty()) && !window.quit)
        window.pumpEvents();

    if (!unexplained.empty())
        violated("a message box the session does not explain: " + unexplained.front());
    window.captions.erase(std::remove(window.captions.begin(), window.captions.end(), ""), window.captions.end());
    // Every record taken is in the log, in order, unless its save failed.
    const auto saveErrors = std::count(window.messages.begin(), window.messages.end(), kSaveError);
    if (sink.lines.size() + static_cast<std::size_t>(saveErrors) != window.captions.size())
        violated("records taken: " + std::to_string(window.captions.size()) + ", logged: " +
                 std::to_string(sink.lines.size()) + ", save errors: " + std::to_string(saveErrors));
    std::size_t logged = 0;
    for (const auto& taken : window.captions) {
        if (logged < sink.lines.size() && sink.lines[logged] == taken)
            ++logged;
    }
    if (logged != sink.lines.size())
        violated("the log is not the records taken, in order");
    if (overlappingLinkTests || nestedReaders)
        return;
    // Every record taken is a frame the splicer sent, in the order it came.
    std::vector<Sent> byArrival = line.sent;
    std::stable_sort(byArrival.begin(), byArrival.end(), [](auto& a, auto& b) {
        return a.delivered.value_or(a.complete) < b.delivered.value_or(b.complete);
    });
    std::size_t matched = 0;
    for (const auto& taken : window.captions) {
        while (matched < byArrival.size() && expectedLine(byArrival[matched].number) != taken)
            ++matched;
        if (matched++ >= byArrival.size())
            violated("a record was taken that the splicer did not send, or out of order: " + taken);
    }
    // A frame that came whole, on time and alone, with no click meanwhile, was taken.
    if (!window.quit) {
        for (const auto& frame : line.sent) {
            if (!frame.delivered)
                continue;
            const auto until = *frame.delivered + 50ms;
            const bool alone = std::none_of(line.sent.begin(), line.sent.end(), [&](const Sent& other) {
                return &other != &frame && other.delivered && *other.delivered >= frame.requested && *other.delivered <= until;
            });
            const bool unclicked = std::none_of(clickTimes.begin(), clickTimes.end(),
                                                [&](auto at) { return at >= frame.requested && at <= until; });
            const bool onTime = frame.complete - frame.requested < 2900ms;
            if (frame.undisturbed && alone && onTime && unclicked && !line.hangUps &&
                std::find(window.captions.begin(), window.captions.end(), expectedLine(frame.number)) ==
                    window.captions.end())
                violated("record " + std::to_string(frame.number) + " came whole and on time but was not taken");
        }
    }
}

}  // namespace
}  // namespace splicerec::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0)
        splicerec::fuzz::runSession(data, size);
    return 0;
}
