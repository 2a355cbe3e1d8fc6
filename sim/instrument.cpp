#include "instrument.h"

#include <algorithm>

namespace splicerec::sim {
namespace {

std::uint8_t bcd(int value) { return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10)); }

}  // namespace

Instrument::Instrument(Behaviour behaviour)
    : behaviour_(behaviour), wrongRepliesLeft_(behaviour.wrongIdentifications),
      lostCountsLeft_(behaviour.lostCountReplies)
{
}

std::array<std::uint8_t, 8> Instrument::frame(int number)
{
    // Plausible splices: one every 37 minutes from 2024-03-04 07:00, mostly good
    // losses with an occasional bad one above 1 dB.
    const int minutes = (number - 1) * 37;
    const int dayIndex = minutes / (10 * 60);  // ten working hours a day
    const int inDay = minutes % (10 * 60);
    const int month = 3 + (dayIndex / 28) % 10;
    const int day = 1 + dayIndex % 28;
    const int year = 24 + dayIndex / 280;
    const int loss = number % 29 == 0 ? 120 + number % 100 : (number * 7) % 23 + 1;
    return {
        static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number & 0xFF),
        static_cast<std::uint8_t>(loss),
        bcd(year % 100), bcd(month), bcd(day), bcd(7 + inDay / 60), bcd(inDay % 60),
    };
}

std::vector<Emission> Instrument::reply(std::vector<std::uint8_t> bytes, std::chrono::microseconds extraDelay) const
{
    if (behaviour_.garbageBytes > 0) {
        // Noise as from a wrong baud rate: never an identification, never a valid count.
        bytes.assign(static_cast<std::size_t>(behaviour_.garbageBytes), 0);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(0xF5 - 3 * i);
    }
    std::vector<Emission> out;
    auto at = behaviour_.replyDelay + extraDelay;
    if (behaviour_.paced) {
        for (auto byte : bytes) {
            at += kByteTimeAt2400;
            out.push_back({at, {byte}});
        }
        return out;
    }
    const auto pieces = static_cast<std::size_t>(std::clamp<int>(behaviour_.pieces, 1, 64));
    const std::size_t size = (bytes.size() + pieces - 1) / pieces;
    for (std::size_t begin = 0; begin < bytes.size(); begin += size) {
        const auto end = std::min(bytes.size(), begin + size);
        out.push_back({at, {bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(end)}});
        at += behaviour_.pieceGap;
    }
    return out;
}

std::vector<Emission> Instrument::identification()
{
    phase_ = Phase::Identified;
    if (wrongRepliesLeft_ > 0) {
        --wrongRepliesLeft_;
        return reply({'k', 'e', 's', 't', 'o', 'x'});
    }
    return reply({'k', 'e', 's', 't', 'o', 'r'});
}

std::vector<Emission> Instrument::nextRecord()
{
    if (behaviour_.records <= 0)
        return {};
    if (recordsServed_ == behaviour_.hangUpAfterRecords) {
        hungUp_ = true;
        phase_ = Phase::Mute;
        return {{behaviour_.replyDelay, {}, true}};
    }
    if (recordsServed_ == behaviour_.silentAfterRecords) {
        phase_ = Phase::Mute;
        return {};
    }
    if (nextRecord_ == behaviour_.skippedRecord && behaviour_.records > 1)
        nextRecord_ = nextRecord_ >= behaviour_.records ? 1 : nextRecord_ + 1;
    auto frameBytes = frame(nextRecord_);
    if (nextRecord_ == behaviour_.misnumberedRecord) {  // only the number is wrong
        frameBytes[0] = static_cast<std::uint8_t>(behaviour_.misnumberedAs >> 8);
        frameBytes[1] = static_cast<std::uint8_t>(behaviour_.misnumberedAs & 0xFF);
    }
    std::vector<std::uint8_t> bytes(frameBytes.begin(), frameBytes.end());
    if (nextRecord_ == behaviour_.twoFramesAt && nextRecord_ < behaviour_.records) {
        ++nextRecord_;
        const auto second = frame(nextRecord_);
        bytes.insert(bytes.end(), second.begin(), second.end());
    }
    if (recordsServed_ == behaviour_.shortFrameAfterRecords) {
        bytes.pop_back();
        phase_ = Phase::Mute;
    }
    for (int i = 0; i < behaviour_.extraBytesPerFrame; ++i)
        bytes.push_back(static_cast<std::uint8_t>(0xA0 + i));
    if (nextRecord_ == behaviour_.garbledRecord)
        bytes.insert(bytes.begin() + 1, 0xFF);  // into the number: nothing can tell which record this is
    auto delay = recordsServed_ == behaviour_.lateAfterRecords ? behaviour_.lateBy : std::chrono::microseconds{0};
    std::vector<Emission> noise;
    if (nextRecord_ == behaviour_.strayByteBeforeRecord) {
        noise.push_back({behaviour_.replyDelay + delay, {0x00}});
        delay += kStrayLead;
    }
    if (nextRecord_ == behaviour_.strayFrameAfterRecord)  // "NO 01005: 2099-99-99 99:99"
        noise.push_back({behaviour_.replyDelay + delay + kStrayLag, {0x03, 0xED, 0x11, 0x99, 0x99, 0x99, 0x99, 0x99}});
    ++recordsServed_;
    // After the last record the instrument starts over, so a second download reads
    // the same records again.
    nextRecord_ = nextRecord_ >= behaviour_.records ? 1 : nextRecord_ + 1;
    auto out = reply(std::move(bytes), delay);
    out.insert(out.begin(), noise.begin(), noise.end());
    return out;
}

std::vector<Emission> Instrument::receive(std::uint8_t hostByte)
{
    if (behaviour_.silent || phase_ == Phase::Mute)
        return {};
    if (behaviour_.echo)
        return reply({hostByte});
    switch (hostByte) {
    case 's':
        return identification();
    case 'a':
        return phase_ == Phase::Idle ? std::vector<Emission>{} : identification();
    case 'n':
        if (phase_ == Phase::Identified) {
            phase_ = Phase::Serving;
            nextRecord_ = 1;
            if (lostCountsLeft_ > 0) {
                --lostCountsLeft_;
                return {};
            }
            const int count = std::min(behaviour_.records, 0xFFFF);
            std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(count >> 8),
                                            static_cast<std::uint8_t>(count & 0xFF)};
            bytes.resize(static_cast<std::size_t>(std::max(behaviour_.countReplyLength, 0)), 0);
            return reply(std::move(bytes));
        }
        return phase_ == Phase::Serving ? nextRecord() : std::vector<Emission>{};
    default:
        return {};
    }
}

}  // namespace splicerec::sim
