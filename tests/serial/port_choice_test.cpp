#include "serial/port_choice.h"

#include <gtest/gtest.h>

namespace splicerec {
namespace {

TEST(PortChoice, NormalisesBareNamesAndPrefersUsbAdaptersInNumberOrder)
{
    for (const auto& [given, expected] : std::initializer_list<std::pair<QString, QString>>{
             {"ttyUSB0", "/dev/ttyUSB0"}, {"  ttyACM1 ", "/dev/ttyACM1"}, {"/dev/ttyS0", "/dev/ttyS0"},
             {"/dev/serial/by-id/usb-x-port0", "/dev/serial/by-id/usb-x-port0"}, {"./ttyUSB0", "./ttyUSB0"}, {"", ""}})
        EXPECT_EQ(normalisePortName(given), expected) << given.toStdString();
    for (const auto& [entries, expected] : std::initializer_list<std::pair<QStringList, QString>>{
             {{}, "/dev/ttyS0"}, {{"ttyS0", "ttyS1", "null"}, "/dev/ttyS0"}, {{"ttyACM0", "ttyUSB1"}, "/dev/ttyUSB1"},
             {{"ttyUSB10", "ttyUSB2", "ttyUSB3"}, "/dev/ttyUSB2"}, {{"ttyACM3", "ttyACM0"}, "/dev/ttyACM0"},
             {{"ttyUSB", "ttyACM0"}, "/dev/ttyACM0"}})
        EXPECT_EQ(choosePortPath(entries), expected) << entries.join(' ').toStdString();
}

TEST(PortChoice, OpenFailuresAreClassifiedAndTheMessagesSayWhatToDo)
{
    using Failure = std::tuple<QSerialPort::SerialPortError, bool, bool>;  // the error, node exists, access denied
    const Failure missing{QSerialPort::DeviceNotFoundError, false, false}, odd{QSerialPort::UnknownError, true, false},
        gone{QSerialPort::PermissionError, false, false}, denied{QSerialPort::PermissionError, true, true},
        held{QSerialPort::PermissionError, true, false};
    // What the message has, '|' apart; with '!', what it must not have.
    const struct { Failure failure; const char *reason, *group; QStringList present; QString expect; } cases[] = {
        {denied, "Permission denied", "dialout", {},
         "Cannot open /dev/ttyUSB0: permission denied|\"dialout\", which owns|log out and in again"},
        {denied, "", "uucp", {}, "\"uucp\"|usermod -aG uucp|!dialout"},
        {denied, "", "", {}, "\"dialout\"|log out"},
        {denied, "", "root", {}, "\"dialout\"|!\"root\""},
        {missing, "No such file or directory", "", {}, "does not exist|no serial port|!No such"},
        {gone, "", "", {"/dev/ttyS0", "/dev/ttyUSB1"},
         "does not exist|present: /dev/ttyS0, /dev/ttyUSB1.|--port|!no serial"},
        {held, "", "", {"/dev/ttyS0"}, "in use|!/dev/ttyS0"},
        {held, "Permission error while locking the device", "dialout", {}, "in use by another|!dialout|!locking"},
        {odd, "Inappropriate ioctl for device.", "", {}, "/dev/ttyUSB0: Inappropriate ioctl for device. |!device.."},
        {odd, "", "", {}, "unknown error|!in use"},
    };
    for (const auto& c : cases) {
        const auto kind = std::apply(classifyOpenFailure, c.failure);
        const auto message = openFailureMessage(kind, "/dev/ttyUSB0", c.reason, c.group, c.present);
        for (const auto& text : c.expect.split('|')) {
            const bool absent = text.startsWith('!');
            EXPECT_NE(message.contains(text.mid(absent)), absent) << (message + '\n' + text).toStdString();
        }
    }
    const auto lost = connectionLostMessage("/dev/ttyUSB0", "I/O error.");
    EXPECT_TRUE(lost.contains("/dev/ttyUSB0 was lost: I/O error. ") && lost.contains("Com Test")) << lost.toStdString();
}

TEST(PortChoice, PortListShowsWhatIsKnownAndMarksTheDefault)
{
    const PortDescription usb{"/dev/ttyUSB0", "USB Serial", "FTDI", "A5028", 0x0403, 0x6001},
        bare{"/dev/ttyS0", "", "", "", {}, {}}, maker{"/dev/ttyACM10", "", "Maker", "", 0x1a86, {}},
        acm2{"/dev/ttyACM2", "", "", "7", 0x2341, 0x0043};
    EXPECT_EQ(formatPortList({}, "/dev/ttyS0"), "No serial ports found.\n");
    EXPECT_EQ(formatPortList({usb, bare}, "/dev/ttyUSB0"),
              "/dev/ttyS0\n/dev/ttyUSB0  USB Serial, FTDI, serial A5028, USB 0403:6001  (default)\n");
    EXPECT_EQ(formatPortList({maker, acm2}, ""), "/dev/ttyACM2  serial 7, USB 2341:0043\n/dev/ttyACM10  Maker\n");
}

}  // namespace
}  // namespace splicerec
