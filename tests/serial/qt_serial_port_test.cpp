#include "serial/qt_serial_port.h"

#include "pty_instrument.h"
#include "serial/pump.h"
#include "serial/terminal_probe.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <ctime>

namespace splicerec {
namespace {

using namespace std::chrono_literals;
using sim::Behaviour;
using sim::PtyInstrument;
using test::pumpFor;
using test::pumpUntil;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) { return {text.begin(), text.end()}; }

Bytes frameBytes(int number)
{
    const auto frame = sim::Instrument::frame(number);
    return {frame.begin(), frame.end()};
}

double processCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class QtSerialPortTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureApplication(); }

    // Sends `request` and returns what arrived once `size` bytes have.
    static Bytes exchange(QtSerialPort& port, std::string_view request, int size)
    {
        port.write(request);
        EXPECT_TRUE(pumpUntil([&] { return port.pendingInput() >= size; }))
            << "waiting for " << size << " bytes after \"" << request << "\"";
        return port.readInput();
    }

    static void linkUp(QtSerialPort& port)
    {
        port.open();
        ASSERT_EQ(exchange(port, "s", 6), bytes("kestor"));
        ASSERT_EQ(exchange(port, "n", 2), (Bytes{0, 57}));
    }

    static std::string openError(QtSerialPort& port)
    {
        try {
            port.open();
        } catch (const PortError& error) {
            return error.what();
        }
        ADD_FAILURE() << "open() succeeded";
        return {};
    }
};

TEST_F(QtSerialPortTest, LinkExchangeSurvivesReopening)
{
    PtyInstrument instrument;
    QtSerialPort port(instrument.devicePath());
    linkUp(port);
    // The program closes the port between a link test and a download.
    port.close();
    linkUp(port);
    EXPECT_EQ(exchange(port, "n", 8), frameBytes(1));
    EXPECT_EQ(instrument.received(), QByteArray("snsnn"));
    EXPECT_THROW(port.setSettings("2400,x,8,1"), std::invalid_argument);
}

TEST_F(QtSerialPortTest, ReceiveNotificationWaitsForAWholeFrame)
{
    PtyInstrument instrument({.echo = true});
    QtSerialPort port(instrument.devicePath());
    int calls = 0;
    Bytes got;
    port.setReceiveHandler([&] {
        ++calls;
        got = port.readInput();
    });
    port.open();

    port.write("1234567");
    ASSERT_TRUE(pumpUntil([&] { return port.pendingInput() == 7; }));
    pumpFor(200ms);
    EXPECT_EQ(calls, 0) << "raised for seven bytes";
    port.write("8");
    ASSERT_TRUE(pumpUntil([&] { return calls > 0; }));
    EXPECT_EQ(got, bytes("12345678"));
}

TEST_F(QtSerialPortTest, FrameWithTrailingBytesArrivesInOneNotification)
{
    PtyInstrument instrument({.extraBytesPerFrame = 3});
    QtSerialPort port(instrument.devicePath());
    linkUp(port);
    int calls = 0;
    Bytes got;
    port.setReceiveHandler([&] {
        ++calls;
        got = port.readInput();
    });
    port.write("n");
    ASSERT_TRUE(pumpUntil([&] { return calls > 0; }));
    pumpFor(100ms);
    auto expected = frameBytes(1);
    expected.insert(expected.end(), {0xA0, 0xA1, 0xA2});
    EXPECT_EQ(got, expected);
    EXPECT_EQ(calls, 1);
}

TEST_F(QtSerialPortTest, OutputDrainsAndInputClears)
{
    PtyInstrument instrument({.echo = true});
    QtSerialPort port(instrument.devicePath());
    port.open();
    port.write("a");
    EXPECT_TRUE(pumpUntil([&] { return port.pendingOutput() == 0; }));
    port.write("bc");
    ASSERT_TRUE(pumpUntil([&] { return port.pendingInput() == 3; }));
    // The echoes sit in QSerialPort's own buffer by now, not the system's.
    port.clearInput();
    EXPECT_EQ(port.pendingInput(), 0);
    EXPECT_EQ(exchange(port, "d", 1), bytes("d"));
}

TEST_F(QtSerialPortTest, LargeReplyArrivesIntact)
{
    // Far more than a pseudo-terminal buffers, so the instrument must wait for room.
    const int extra = 200000;
    PtyInstrument instrument({.extraBytesPerFrame = extra});
    QtSerialPort port(instrument.devicePath());
    linkUp(port);
    const auto reply = exchange(port, "n", 8 + extra);
    ASSERT_EQ(reply.size(), 8u + extra);
    for (std::size_t i = 0; i < extra; ++i)
        ASSERT_EQ(reply[8 + i], static_cast<std::uint8_t>(0xA0 + i)) << "at " << i;
}

TEST_F(QtSerialPortTest, RepliesNeverArriveEarly)
{
    const struct {
        Behaviour behaviour;
        std::chrono::milliseconds atLeast;
        bool inParts;
    } cases[] = {
        {{.paced = true}, 24ms, false},
        {{.replyDelay = 300ms}, 295ms, false},
        {{.pieces = 3, .pieceGap = 250ms}, 495ms, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.atLeast.count());
        PtyInstrument instrument(c.behaviour);
        QtSerialPort port(instrument.devicePath());
        port.open();
        QElapsedTimer clock;
        clock.start();
        port.write("s");
        ASSERT_TRUE(pumpUntil([&] { return port.pendingInput() > 0; }));
        EXPECT_TRUE(!c.inParts || port.pendingInput() < 6);
        ASSERT_TRUE(pumpUntil([&] { return port.pendingInput() >= 6; }));
        EXPECT_GE(clock.elapsed(), c.atLeast.count());
        EXPECT_EQ(port.readInput(), bytes("kestor"));
    }
}

TEST_F(QtSerialPortTest, AppliesLineSettings)
{
    // A pseudo-terminal forces CS8 without parity whatever is asked, so only speed,
    // stop bits and flow control show here.
    const struct {
        const char* text;
        speed_t speed;
        bool twoStops;
    } cases[] = {{"2400,n,8,1", B2400, false}, {"9600,e,7,2", B9600, true}, {"1200,o,8,1", B1200, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PtyInstrument instrument;
        QtSerialPort port(instrument.devicePath());
        port.setSettings(c.text);
        port.open();
        termios t{};
        const int error = probeTerminalSettings(QFile::encodeName(instrument.devicePath()).constData(), &t);
        if (error == EBUSY)
            GTEST_SKIP() << "only root gets past the exclusive mode to look";
        ASSERT_EQ(error, 0);
        EXPECT_EQ(::cfgetospeed(&t), c.speed);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    }
}

TEST_F(QtSerialPortTest, HangUpClosesThePortWithoutSpinning)
{
    PtyInstrument instrument;
    QtSerialPort port(instrument.devicePath());
    int calls = 0;
    port.setReceiveHandler([&] { ++calls; });
    linkUp(port);

    instrument.hangUp();
    port.write("n");
    ASSERT_TRUE(pumpUntil([&] { return !port.isOpen(); }, 1s));
    EXPECT_NE(port.failure().find(instrument.devicePath().toStdString()), std::string::npos)
        << port.failure();
    EXPECT_EQ(calls, 0);

    const double before = processCpuSeconds();
    pumpFor(1s);
    EXPECT_LT(processCpuSeconds() - before, 0.25);

    // Harmless on the dead port; close() forgets the failure.
    port.write("n");
    port.clearInput();
    port.clearOutput();
    EXPECT_EQ(port.pendingOutput() + port.pendingInput(), 0);
    EXPECT_TRUE(port.readInput().empty());
    EXPECT_FALSE(port.failure().empty());
    port.close();
    EXPECT_TRUE(port.failure().empty());
    // Com Test after the line dropped: the vanished device is reported as such.
    const auto message = openError(port);
    EXPECT_NE(message.find("does not exist"), std::string::npos) << message;
}

TEST_F(QtSerialPortTest, InstrumentDroppingTheLineMidDownload)
{
    PtyInstrument instrument({.hangUpAfterRecords = 1});
    QtSerialPort port(instrument.devicePath());
    linkUp(port);
    ASSERT_EQ(exchange(port, "n", 8), frameBytes(1));
    port.write("n");
    ASSERT_TRUE(pumpUntil([&] { return !port.isOpen(); }, 1s));
    EXPECT_TRUE(instrument.instrument().hungUp());
    EXPECT_NE(port.failure().find("was lost"), std::string::npos) << port.failure();
}

TEST_F(QtSerialPortTest, SecondOpenerIsToldThePortIsInUse)
{
    PtyInstrument instrument;
    QtSerialPort owner(instrument.devicePath());
    owner.open();
    QTemporaryDir dir;
    const auto link = dir.filePath(QStringLiteral("splicer"));
    ASSERT_TRUE(QFile::link(instrument.devicePath(), link));

    for (const auto& path : {instrument.devicePath(), link}) {
        QtSerialPort second(path);
        const auto message = openError(second);
        EXPECT_NE(message.find("Cannot open " + path.toStdString() + ": "), std::string::npos) << message;
        EXPECT_NE(message.find("in use"), std::string::npos) << message;
    }

    // Once the owner lets go, the same port opens through the link.
    owner.close();
    QtSerialPort throughLink(link);
    linkUp(throughLink);
}

TEST_F(QtSerialPortTest, MissingDeviceIsNamed)
{
    QTemporaryDir dir;
    const std::pair<QString, std::string> cases[] = {
        {dir.filePath(QStringLiteral("ttyGone")), dir.filePath(QStringLiteral("ttyGone")).toStdString()},
        {QStringLiteral("ttyNoSuchAdapter9"), "/dev/ttyNoSuchAdapter9"},
    };
    for (const auto& [given, named] : cases) {
        QtSerialPort port(given);
        const auto message = openError(port);
        EXPECT_NE(message.find("Cannot open " + named + ": "), std::string::npos) << message;
        EXPECT_NE(message.find("does not exist"), std::string::npos) << message;
        EXPECT_FALSE(port.isOpen());
    }
}

}  // namespace
}  // namespace splicerec
