// The Windows port against a real COM port under Wine: COM1 (and COM12, for a name that
// needs the \\.\ form) lead to a pseudo-terminal served by the Linux splicer-sim, started
// for each test by com1_sim.sh with the options tests/CMakeLists.txt gives it.
#include "serial/win32_serial_port.h"
#include "support/cpu_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

namespace splicerec {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using test::cpuSeconds;

// Waits as a window does between its pumps, polling the port every 10 ms when asked to.
template <class Done>
bool waitFor(Done done, Win32SerialPort* polled = nullptr, milliseconds limit = milliseconds(3000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (polled)
            polled->poll();
        ::Sleep(10);
    }
    return true;
}

Bytes bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

// Identification and count, as the link test asks for them; `records` is the simulator's.
void identify(Win32SerialPort& port, std::uint8_t records)
{
    port.write("s");
    // No poll: what the driver holds must count, or a wait for exactly six would never end.
    ASSERT_TRUE(waitFor([&] { return port.pendingInput() == 6; }));
    EXPECT_EQ(port.readInput(), bytes("kestor"));
    port.write("n");
    ASSERT_TRUE(waitFor([&] { return port.pendingInput() == 2; }));
    EXPECT_EQ(port.readInput(), (Bytes{0x00, records}));
}

void expectClosedPortIsHarmless(Win32SerialPort& port)
{
    port.write("n");
    port.clearInput();
    port.clearOutput();
    port.poll();
    EXPECT_EQ(std::tuple(port.isOpen(), port.pendingOutput(), port.pendingInput(), port.readInput().size()),
              std::tuple(false, 0, 0, 0u));
    port.close();
    EXPECT_FALSE(port.failure());
}

const std::string kLost = "The connection to COM1 was lost: the adapter was unplugged or stopped answering. Plug "
                          "it in again and check the cable, then press Com Test.";

// splicer-sim --records 3
TEST(Win32SerialPort, answersTheLinkTestAndDeliversRecordsThroughPoll)
{
    Win32SerialPort port("COM1");
    expectClosedPortIsHarmless(port);
    port.open();
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(port.deviceName(), "COM1");
    identify(port, 3);

    std::vector<Bytes> frames;
    port.setReceiveHandler([&] { frames.push_back(port.readInput()); });
    for (std::size_t record = 1; record <= 2; ++record) {
        port.write("n");
        ASSERT_TRUE(waitFor([&] { return frames.size() == record; }, &port)) << "record " << record;
    }
    // Number, loss in hundredths of a dB, then 2024-03-01 07:00 and 07:37 in BCD.
    EXPECT_EQ(frames, (std::vector<Bytes>{{0x00, 0x01, 0x08, 0x24, 0x03, 0x01, 0x07, 0x00},
                                          {0x00, 0x02, 0x0F, 0x24, 0x03, 0x01, 0x07, 0x37}}));
    EXPECT_EQ(port.pendingOutput(), 0);
    port.close();
    expectClosedPortIsHarmless(port);
}

// splicer-sim --records 3; COM12 is mapped to the same pseudo-terminal.
TEST(Win32SerialPort, opensAnyPortNameAsTypedAndSetsTheLineAsAsked)
{
    // A pseudo-terminal keeps eight bits and no parity whatever it is asked for, so the
    // rows differ in what it does keep: the rate and the stop bits.
    const struct {
        const char *typed, *shown, *settings;
        DWORD baud;
        BYTE stopBits;
    } cases[] = {
        {"COM1", "COM1", "2400,n,8,1", 2400, ONESTOPBIT},
        {"com12", "COM12", "9600,n,8,2", 9600, TWOSTOPBITS},
        {"\\\\.\\COM12", "COM12", "1200,n,8,1", 1200, ONESTOPBIT},
        {" \\\\.\\com1", "COM1", "2400,n,8,2", 2400, TWOSTOPBITS},
    };
    for (const auto& c : cases) {
        Win32SerialPort port(c.typed);
        port.setSettings(c.settings);
        port.open();
        EXPECT_EQ(port.deviceName(), c.shown);
        // Wine lets a second handle read the line back (Windows would refuse it).
        const HANDLE probe = ::CreateFileA("\\\\.\\COM1", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(probe, INVALID_HANDLE_VALUE) << c.typed;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(::GetCommState(probe, &dcb));
        EXPECT_TRUE(::CloseHandle(probe));
        EXPECT_EQ(std::tuple(dcb.BaudRate, dcb.StopBits), std::tuple(c.baud, c.stopBits)) << c.typed << " " << c.settings;
        EXPECT_EQ(std::tuple(DWORD{dcb.fOutxCtsFlow}, DWORD{dcb.fOutxDsrFlow}, DWORD{dcb.fOutX}, DWORD{dcb.fInX}),
                  std::tuple(0ul, 0ul, 0ul, 0ul))
            << c.typed;
    }

    Win32SerialPort missing("COM200");
    try {
        missing.open();
        ADD_FAILURE() << "COM200 opened";
    } catch (const PortError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot open COM200: the device does not exist or is not connected.", 0), 0u)
            << error.what();
    }
    expectClosedPortIsHarmless(missing);
}

// splicer-sim --records 3 --hang-up-after 1: the line drops when record 2 is asked for.
TEST(Win32SerialPort, closesAndSaysTheConnectionWasLostWhenTheLineDropsWithoutSpinning)
{
    Win32SerialPort port("COM1");
    port.open();
    identify(port, 3);
    port.write("n");
    ASSERT_TRUE(waitFor([&] { return port.pendingInput() == 8; }, &port));
    port.readInput();
    port.write("n");
    ASSERT_TRUE(waitFor([&] { return !port.isOpen(); }, &port));
    const auto failure = port.failure();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->what(), kLost);
    EXPECT_EQ(failure->detail().rfind("System message: ", 0), 0u) << failure->detail();

    // The window goes on polling a closed port; that must cost next to nothing.
    const double before = cpuSeconds();
    waitFor([] { return false; }, &port, milliseconds(1000));
    EXPECT_LT(cpuSeconds() - before, 0.25);
    EXPECT_EQ(port.failure()->what(), kLost);
    expectClosedPortIsHarmless(port);
}

// splicer-sim --records 3. Windows fails these calls with 22, 5 or 1167 when an adapter
// is pulled; Wine cannot, so the calls are made to fail as Windows does.
TEST(Win32SerialPort, aFailedReadWriteOrStatusCallClosesThePortAndSaysWhy)
{
    enum Call { Read, Write, Status };
    const struct {
        Call call;
        DWORD code;
    } cases[] = {{Read, ERROR_BAD_COMMAND}, {Write, ERROR_DEVICE_NOT_CONNECTED}, {Status, ERROR_ACCESS_DENIED},
                 {Read, ERROR_GEN_FAILURE}};
    for (const auto& c : cases) {
        bool armed = false;
        const auto failing = [&](Call call) {
            if (!armed || call != c.call)
                return false;
            ::SetLastError(c.code);
            return true;
        };
        auto calls = CommCalls::system();
        const auto system = CommCalls::system();
        calls.readFile = [&](HANDLE h, void* b, DWORD n, DWORD* done) {
            return failing(Read) ? FALSE : system.readFile(h, b, n, done);
        };
        calls.writeFile = [&](HANDLE h, const void* b, DWORD n, DWORD* done) {
            return failing(Write) ? FALSE : system.writeFile(h, b, n, done);
        };
        calls.clearCommError = [&](HANDLE h, DWORD* e, COMSTAT* s) {
            return failing(Status) ? FALSE : system.clearCommError(h, e, s);
        };
        Win32SerialPort port("COM1", calls);
        port.open();
        port.clearInput();
        armed = true;
        port.write("s");
        EXPECT_TRUE(waitFor([&] { return !port.isOpen(); }, &port)) << c.code;
        const auto failure = port.failure();
        ASSERT_TRUE(failure) << c.code;
        EXPECT_EQ(failure->what(), kLost);
        // The system's own words for this code (English under Wine), as FormatMessage gives them.
        wchar_t text[256];
        const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                              c.code, 0, text, 256, nullptr);
        std::string words(text, text + length);
        while (!words.empty() && std::string_view(" \r\n.").find(words.back()) != std::string_view::npos)
            words.pop_back();
        EXPECT_FALSE(words.empty()) << c.code;
        EXPECT_EQ(failure->detail(), "System message: " + words);
        port.close();
        expectClosedPortIsHarmless(port);
    }
}

}  // namespace
}  // namespace splicerec
