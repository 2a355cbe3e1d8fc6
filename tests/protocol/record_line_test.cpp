#include <gtest/gtest.h>

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

struct LineCase {
    const char* frame;
    const char* line;
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.frame; }

class RecordLineTest : public testing::TestWithParam<LineCase> {};

// Short frames and the fields are checked by record_line_fuzz.cpp on every committed seed.
TEST_P(RecordLineTest, frameBecomesItsLine)
{
    EXPECT_EQ(RecordLine::fromFrame(fromHex(GetParam().frame)).text, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Frames, RecordLineTest, testing::Values(
    LineCase{"00 01 06 02 12 19 15 27", "NO 00001: 2002-12-19 15:27   LOSS:0.06dB"},
    LineCase{"00 00 00 24 01 01 00 00", "NO 00000: 2024-01-01 00:00   LOSS:0.00dB"},
    LineCase{"13 88 39 24 12 31 23 59", "NO 05000: 2024-12-31 23:59   LOSS:0.57dB"},
    LineCase{"FF FF 63 99 09 30 08 05", "NO 65535: 2099-09-30 08:05   LOSS:0.99dB"},
    // Hundredths of a dB above 99 carry into the units: 150 is 1.50 dB.
    LineCase{"01 2C 64 07 03 04 05 06", "NO 00300: 2007-03-04 05:06   LOSS:1.00dB"},
    LineCase{"01 2C 96 07 03 04 05 06", "NO 00300: 2007-03-04 05:06   LOSS:1.50dB"},
    LineCase{"01 2C FF 07 03 04 05 06", "NO 00300: 2007-03-04 05:06   LOSS:2.55dB"},
    // Not BCD: the byte's own hexadecimal text, in capitals, two characters.
    LineCase{"00 02 0A 0A 3F 1B 00 0C", "NO 00002: 200A-3F-1B 00:0C   LOSS:0.10dB"},
    // Only the first eight bytes count.
    LineCase{"00 03 05 24 02 03 04 05 FF FF FF", "NO 00003: 2024-02-03 04:05   LOSS:0.05dB"}));

}  // namespace
}  // namespace splicerec
