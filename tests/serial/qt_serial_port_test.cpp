#include "serial/qt_serial_port.h"

#include "serial/line_settings.h"

#include "pty_instrument.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace splicerec {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes exchange(SerialPort& port, std::string_view request, int size)
{
    port.write(request);
    EXPECT_TRUE(QTest::qWaitFor([&] { return port.pendingInput() >= size; })) << size << " bytes after " << request;
    return port.readInput();
}

struct Line {
    explicit Line(sim::Behaviour b = {}) : instrument(b), port(instrument.devicePath()) {}
    sim::PtyInstrument instrument;
    QtSerialPort port;
};

// What a closed port does, be it closed on purpose or by a vanished device.
void expectClosedPortIsHarmless(SerialPort& port, bool hungUp)
{
    port.write("n");
    port.clearInput();
    port.clearOutput();
    EXPECT_EQ(std::tuple(port.isOpen(), port.pendingOutput(), port.pendingInput(), port.readInput().size()),
              std::tuple(false, 0, 0, 0u));
    const auto failure = port.failure();
    EXPECT_EQ(failure && std::string(failure->what()).find(port.deviceName()) != std::string::npos, hungUp);
    port.close();
    EXPECT_FALSE(port.failure());
}

TEST(SerialPorts, bothThePtyPortAndTheFakeAreHarmlessOnceClosedAndNameTheDeviceWhenItVanished)
{
    Line line;
    line.port.open();
    line.port.close();
    expectClosedPortIsHarmless(line.port, false);
    line.port.open();
    line.instrument.hangUp();
    line.port.write("n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !line.port.isOpen(); }, 1000));
    const std::clock_t before = std::clock();  // a vanished device must not keep us busy
    QTest::qWait(1000);
    EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.25);
    expectClosedPortIsHarmless(line.port, true);

    test::FakeClock clock;
    test::FakeWindow window(clock);
    test::SimPort fake(window, clock, [](std::uint8_t) { return std::vector<sim::Emission>{{{}, {1, 2}}}; });
    fake.open();
    fake.close();
    expectClosedPortIsHarmless(fake, false);
    fake.open();
    fake.hangUp();
    expectClosedPortIsHarmless(fake, true);
}

// When the receive notification comes is the shared SerialPort's rule, tested in fake time;
// a link to a held device and a missing one are rows of the real-stack runner.
TEST(QtSerialPort, readsFarMoreThanAPtyBuffersThroughALinkAndAfterReopening)
{
    Line big({.extraBytesPerFrame = 200000});
    QTemporaryDir dir;
    const auto link = dir.filePath("splicer");
    ASSERT_TRUE(QFile::link(big.instrument.devicePath(), link));
    QtSerialPort throughLink(link);
    throughLink.open();
    EXPECT_EQ(exchange(throughLink, "s", 6), (Bytes{'k', 'e', 's', 't', 'o', 'r'}));
    throughLink.close();
    throughLink.open();
    EXPECT_EQ(exchange(throughLink, "sn", 8).size(), 8u);  // identification and count
    EXPECT_EQ(exchange(throughLink, "n", 8 + 200000).size(), 8u + 200000);
}

TEST(QtSerialPort, appliesTheLineSettings)
{
    // The pty below forces 8 data bits without parity: the instrument's line is read here.
    const auto own = LineSettings::parse("2400,n,8,1");
    EXPECT_EQ(std::tuple(own.baud, own.parity, own.dataBits, own.stopBits), std::tuple(2400, Parity::None, 8, 1));
    const struct { const char* text; speed_t speed; bool twoStops; } cases[] = {
        {"2400,n,8,1", B2400, false}, {"9600,e,7,2", B9600, true}, {"1200,o,8,1", B1200, false}};
    for (const auto& c : cases) {
        Line line;
        line.port.setSettings(c.text);
        line.port.open();
        // Read through a second descriptor, which the port's exclusive mode lets only root open.
        const int fd = ::open(QFile::encodeName(line.instrument.devicePath()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 && errno == EBUSY)
            GTEST_SKIP() << "only root gets past the exclusive mode to look";
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::close(fd);
        const auto flowControl = (t.c_cflag & CRTSCTS) | (t.c_iflag & (IXON | IXOFF));
        EXPECT_EQ(std::tuple(::cfgetospeed(&t), (t.c_cflag & CSTOPB) != 0, flowControl),
                  std::tuple(c.speed, c.twoStops, 0u)) << c.text;  // a pty forces CS8 without parity
    }
}

}  // namespace
}  // namespace splicerec
