// The in-process port carries each byte at the wire's pace, both ways, as the demo's
// splicer needs: no reply may come sooner than a real 2400-baud line could bring it.
#include <gtest/gtest.h>

#include "in_process_port.h"
#include "support/fakes.h"

namespace splicerec::test {
namespace {

using namespace std::chrono_literals;

TEST(InProcessPort, eachByteTakesItsTimeOnTheWireBothWays)
{
    constexpr auto kByte = 4167us;  // 10 bits at 2400 baud, rounded as the simulator rounds
    FakeClock clock;
    sim::Instrument instrument({.paced = true});
    sim::InProcessPort port(clock, [&](std::uint8_t byte) { return instrument.receive(byte); },
                            {.deviceName = "sim", .byteTime = kByte});
    port.open();
    const auto start = clock.now();
    port.write("s");
    port.write("n");  // waits for the "s" to be off the wire
    // What the port has heard and holds just before and at the end of a byte: "s" lands
    // after one byte time, "n" after two; "kestor" follows "s" a byte at a time, and the
    // two bytes of the count, asked for by the "n", follow once the line back is free.
    const struct { std::chrono::microseconds at; const char* heard; int pendingOutput, input; } rows[] = {
        {0us, "", 2, 0},
        {kByte - 1us, "", 2, 0},
        {kByte, "s", 1, 0},
        {2 * kByte, "sn", 0, 1},
        {7 * kByte - 1us, "sn", 0, 5},
        {7 * kByte, "sn", 0, 6},
        {8 * kByte - 1us, "sn", 0, 6},
        {8 * kByte, "sn", 0, 7},
        {9 * kByte, "sn", 0, 8},
    };
    for (const auto& row : rows) {
        clock.advance(std::chrono::duration_cast<std::chrono::microseconds>(start + row.at - clock.now()));
        port.deliverDue();
        SCOPED_TRACE(row.at.count());
        EXPECT_EQ(port.heard(), row.heard);
        EXPECT_EQ(port.pendingOutput(), row.pendingOutput);
        EXPECT_EQ(port.pendingInput(), row.input);
    }
    EXPECT_EQ(port.nextDue(), std::nullopt) << "nothing left on its way";
}

}  // namespace
}  // namespace splicerec::test
