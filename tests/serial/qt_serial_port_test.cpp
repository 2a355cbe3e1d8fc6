#include "serial/qt_serial_port.h"

#include "pty_instrument.h"
#include "serial/pump.h"
#include "serial/terminal_probe.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <ctime>

namespace splicerec {
namespace {

using namespace std::chrono_literals;
using namespace sim;
using namespace test;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Record `number` as the instrument sends it, with `extra` trailing bytes A0 A1 ...
Bytes frameBytes(int number, int extra = 0)
{
    const auto frame = Instrument::frame(number);
    Bytes result(frame.begin(), frame.end());
    for (int i = 0; i < extra; ++i)
        result.push_back(static_cast<std::uint8_t>(0xA0 + i));
    return result;
}

Bytes exchange(QtSerialPort& port, std::string_view request, int size)
{
    port.write(request);
    EXPECT_TRUE(pumpUntil([&] { return port.pendingInput() >= size; })) << size << " bytes after " << request;
    return port.readInput();
}

void linkUp(QtSerialPort& port)
{
    port.open();
    ASSERT_EQ(exchange(port, "s", 6), bytes("kestor"));
    ASSERT_EQ(exchange(port, "n", 2), (Bytes{0, 57}));
}

std::string openError(const QString& path)
try {
    QtSerialPort(path).open();
    return "open() succeeded";
} catch (const PortError& error) {
    return error.what();
}

struct Line {
    explicit Line(Behaviour b = {}) : instrument((ensureApplication(), b)), port(instrument.devicePath()) {}
    PtyInstrument instrument;
    QtSerialPort port;
    int calls = 0;  // receive notifications, once collect() was called
    Bytes got;      // what the last one read

    void collect() { port.setReceiveHandler([this] { ++calls, got = port.readInput(); }); }
};

TEST(QtSerialPort, LinkExchangeSurvivesReopeningAndOpenFailuresNameTheDeviceAndTheReason)
{
    Line line({.extraBytesPerFrame = 200000});  // far more than a pseudo-terminal buffers
    linkUp(line.port);
    line.port.close();  // as between a link test and a download
    linkUp(line.port);
    QTemporaryDir dir;
    const auto link = dir.filePath("splicer"), gone = dir.filePath("ttyGone");
    ASSERT_TRUE(QFile::link(line.instrument.devicePath(), link));
    const std::pair<QString, std::string> failures[] = {
        {line.instrument.devicePath(), line.instrument.devicePath().toStdString() + ": it is in use"},
        {link, link.toStdString() + ": it is in use"}, {gone, gone.toStdString() + ": the device does not exist"},
        {"ttyNoSuchAdapter9", "/dev/ttyNoSuchAdapter9: the device does not exist"},
    };
    for (const auto& [path, expected] : failures)
        EXPECT_EQ(openError(path).rfind("Cannot open " + expected, 0), 0u) << openError(path);
    line.port.close();  // then the same port opens through the link
    QtSerialPort throughLink(link);
    linkUp(throughLink);
    EXPECT_TRUE(exchange(throughLink, "n", 8 + 200000) == frameBytes(1, 200000));
    EXPECT_EQ(line.instrument.received(), QByteArray("snsnsnn"));
    EXPECT_THROW(line.port.setSettings("2400,x,8,1"), std::invalid_argument);
}

TEST(QtSerialPort, OutputDrainsInputClearsAndNotificationsWaitForAWholeFrame)
{
    Line echo({.echo = true});
    echo.collect();
    echo.port.open();
    echo.port.write("abc");
    EXPECT_TRUE(pumpUntil([&] { return echo.port.pendingOutput() == 0; }));
    ASSERT_TRUE(pumpUntil([&] { return echo.port.pendingInput() == 3; }));
    echo.port.clearInput();  // the echoes sit in QSerialPort's own buffer by now
    echo.port.write("1234567");
    ASSERT_TRUE(pumpUntil([&] { return echo.port.pendingInput() >= 7; }));
    pumpFor(200ms);
    EXPECT_EQ(std::pair(echo.calls, echo.port.pendingInput()), std::pair(0, 7)) << "raised for seven bytes";
    echo.port.write("8");
    ASSERT_TRUE(pumpUntil([&] { return echo.calls > 0; }));
    EXPECT_EQ(echo.got, bytes("12345678"));
}

TEST(QtSerialPort, AFrameAndWhatFollowsItAreOneNotificationAndAHangUpClosesThePortWithoutSpinning)
{
    Line line({.extraBytesPerFrame = 3});
    auto& port = line.port;
    linkUp(port);
    line.collect();
    port.write("n");
    ASSERT_TRUE(pumpUntil([&] { return line.calls > 0; }));
    pumpFor(100ms);
    EXPECT_EQ(std::pair(line.calls, line.got), std::pair(1, frameBytes(1, 3)));

    line.instrument.hangUp();
    port.write("n");
    ASSERT_TRUE(pumpUntil([&] { return !port.isOpen(); }, 1s));
    EXPECT_NE(port.failure().find(line.instrument.devicePath().toStdString()), std::string::npos) << port.failure();
    EXPECT_EQ(line.calls, 1);
    const std::clock_t before = std::clock();  // this process's CPU time
    pumpFor(1s);
    EXPECT_LT(static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC, 0.25);

    port.write("n"), port.clearInput(), port.clearOutput();  // harmless on the dead port
    EXPECT_TRUE(port.pendingOutput() + port.pendingInput() == 0 && port.readInput().empty() && !port.failure().empty());
    port.close();
    EXPECT_TRUE(port.failure().empty());
    EXPECT_NE(openError(line.instrument.devicePath()).find("does not exist"), std::string::npos);  // Com Test again
}

TEST(QtSerialPort, RepliesNeverArriveEarly)
{
    const std::pair<Behaviour, std::chrono::milliseconds> cases[] = {
        {{.paced = true}, 24ms},
        {{.replyDelay = 300ms}, 295ms},
        {{.pieces = 3, .pieceGap = 250ms}, 495ms},
    };
    for (const auto& [behaviour, atLeast] : cases) {
        Line line(behaviour);
        line.port.open();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(exchange(line.port, "s", 6), bytes("kestor"));
        EXPECT_GE(std::chrono::steady_clock::now() - start, atLeast);
    }
}

TEST(QtSerialPort, AppliesLineSettings)
{
    const struct { const char* text; speed_t speed; bool twoStops; } cases[] = {
        {"2400,n,8,1", B2400, false}, {"9600,e,7,2", B9600, true}, {"1200,o,8,1", B1200, false}};
    for (const auto& c : cases) {
        Line line;
        line.port.setSettings(c.text);
        line.port.open();
        termios t{};
        const int error = probeTerminalSettings(QFile::encodeName(line.instrument.devicePath()).constData(), &t);
        if (error == EBUSY)
            GTEST_SKIP() << "only root gets past the exclusive mode to look";
        ASSERT_EQ(error, 0);
        const auto flowControl = (t.c_cflag & CRTSCTS) | (t.c_iflag & (IXON | IXOFF));
        EXPECT_EQ(std::tuple(::cfgetospeed(&t), (t.c_cflag & CSTOPB) != 0, flowControl),
                  std::tuple(c.speed, c.twoStops, 0u)) << c.text;  // a pty forces CS8 without parity
    }
}

}  // namespace
}  // namespace splicerec
