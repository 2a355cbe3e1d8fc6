#include "protocol/record_line.h"

#include <cstdio>
#include <stdexcept>

namespace splicerec {
namespace {

// Date and time bytes are BCD, so their hexadecimal text is their decimal value;
// a byte that is not BCD still shows what the instrument sent.
std::string bcdText(std::uint8_t byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string zeroPadded(unsigned value, int width)
{
    char text[12];
    std::snprintf(text, sizeof text, "%0*u", width, value);
    return text;
}

}  // namespace

RecordLine RecordLine::fromFrame(std::span<const std::uint8_t> frame)
{
    if (frame.size() < kFrameSize)
        throw std::invalid_argument("a record frame has eight bytes");

    RecordLine line;
    auto& f = line.fields;
    f[0] = zeroPadded(static_cast<unsigned>(frame[0] << 8 | frame[1]), 5);  // bytes 0-1: number, big-endian
    f[1] = bcdText(frame[3]);  // byte 3: year within the century
    f[2] = bcdText(frame[4]);  // byte 4: month
    f[3] = bcdText(frame[5]);  // byte 5: day
    f[4] = bcdText(frame[6]);  // byte 6: hour
    f[5] = bcdText(frame[7]);  // byte 7: minute
    f[6] = zeroPadded(frame[2], 2);  // byte 2: loss in hundredths of a dB

    // The loss is printed as dB with two decimals: 150 hundredths is 1.50 dB, not 0.150.
    const std::string loss = std::to_string(frame[2] / 100) + "." + zeroPadded(frame[2] % 100, 2);
    line.text = "NO " + f[0] + ": 20" + f[1] + "-" + f[2] + "-" + f[3] + " " + f[4] + ":" + f[5] +
                "   LOSS:" + loss + "dB";
    return line;
}

}  // namespace splicerec
