#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "protocol/record_line.h"

namespace splicerec {
namespace {

std::vector<std::uint8_t> fromHex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Short frames, bytes after the eighth and every field's read-back are checked by
// record_line_fuzz.cpp on every committed seed; these rows pin the exact text.
TEST(RecordLineTest, frameBecomesItsLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"00 01 06 02 12 19 15 27", "NO 00001: 2002-12-19 15:27   LOSS:0.06dB"},
        {"00 00 00 24 01 01 00 00", "NO 00000: 2024-01-01 00:00   LOSS:0.00dB"},
        // Hundredths of a dB above 99 carry into the units: 100 is 1.00 dB.
        {"01 2C 64 07 03 04 05 06", "NO 00300: 2007-03-04 05:06   LOSS:1.00dB"},
        // Not BCD: the byte's own hexadecimal text, in capitals, two characters.
        {"00 02 0A 0A 3F 1B 00 0C", "NO 00002: 200A-3F-1B 00:0C   LOSS:0.10dB"},
    };
    for (const auto& [frame, line] : cases)
        EXPECT_EQ(RecordLine::fromFrame(fromHex(frame)).text, line) << frame;
}

}  // namespace
}  // namespace splicerec
