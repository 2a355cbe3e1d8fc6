#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace splicerec::sim {

// How the simulated splicer behaves; the defaults are a healthy instrument.
struct Behaviour {
    int records = 57;
    int wrongIdentifications = 0;  // the first K identification replies are wrong
    bool silent = false;           // answers nothing at all
    bool echo = false;             // answers every byte with itself, like a loop-back plug
    int countReplyLength = 2;      // 1 or 3 send a count reply of the wrong length
    int lostCountReplies = 0;      // the first K count replies never come
    std::chrono::microseconds replyDelay{0};
    bool paced = false;            // one byte every 4.17 ms, as at 2400 baud 8N1
    int pieces = 1;                // each reply split into this many pieces ...
    std::chrono::microseconds pieceGap{0};  // ... this far apart
    int hangUpAfterRecords = -1;   // the line drops instead of serving the next record
    int silentAfterRecords = -1;   // stops answering after K records
    int shortFrameAfterRecords = -1;  // sends only 7 bytes of the next frame, then nothing
    int extraBytesPerFrame = 0;    // trailing bytes after each frame
    int garbageBytes = 0;          // every reply becomes this many bytes of line noise
    int lateAfterRecords = -1;     // record K+1 comes `lateBy` after its request ...
    std::chrono::microseconds lateBy{0};  // ... and the rest on time again
    bool stalled = false;          // the line takes nothing the program writes, like a stuck adapter
    int strayByteBeforeRecord = -1;  // a 0x00 byte of noise comes kStrayLead before record K
    int strayFrameAfterRecord = -1;  // eight bytes of noise come kStrayLag after record K
    int garbledRecord = -1;        // record K comes with a noise byte inside its number
    int misnumberedRecord = -1;    // record K comes whole but numbered `misnumberedAs`, as
    int misnumberedAs = 0;         // after a bit flipped in its number byte
    int skippedRecord = -1;        // record K is never sent: the answers run one ahead from there
    int twoFramesAt = -1;          // the answer that carries record K carries record K+1 too
};

// A piece of the instrument's reply: send `bytes` (or drop the line) `after` the
// request byte was received.
struct Emission {
    std::chrono::microseconds after{0};
    std::vector<std::uint8_t> bytes;
    bool hangUp = false;
};

// The splicer's side of the wire protocol, independent of any transport: the unit
// tests' fake port, the pseudo-terminal stand-in and the demo all drive this class.
class Instrument {
public:
    static constexpr std::chrono::microseconds kByteTimeAt2400{4167};
    static constexpr std::chrono::microseconds kStrayLead{45'000}, kStrayLag{30'000};

    explicit Instrument(Behaviour behaviour = {});

    std::vector<Emission> receive(std::uint8_t hostByte);

    // The eight-byte frame of record `number` (1-based): big-endian number, loss in
    // hundredths of a dB, then year, month, day, hour, minute in BCD.
    static std::array<std::uint8_t, 8> frame(int number);

    int recordsServed() const { return recordsServed_; }
    const Behaviour& behaviour() const { return behaviour_; }
    bool hungUp() const { return hungUp_; }

private:
    enum class Phase { Idle, Identified, Serving, Mute };

    std::vector<Emission> reply(std::vector<std::uint8_t> bytes, std::chrono::microseconds extraDelay = {}) const;
    std::vector<Emission> identification();
    std::vector<Emission> nextRecord();

    Behaviour behaviour_;
    Phase phase_ = Phase::Idle;
    int wrongRepliesLeft_;
    int lostCountsLeft_;
    int nextRecord_ = 1;
    int recordsServed_ = 0;
    bool hungUp_ = false;
};

}  // namespace splicerec::sim
