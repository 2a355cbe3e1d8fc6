#include "serial/port_choice.h"

#include <gtest/gtest.h>

namespace splicerec {
namespace {

TEST(PortChoice, normalisesBareNamesAndPrefersUsbAdaptersInNumberOrder)
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

TEST(PortChoice, openFailuresAreClassifiedAndTheMessagesSayWhatToDo)
{
    using Failure = std::tuple<QSerialPort::SerialPortError, bool, bool>;  // the error, node exists, access denied
    const Failure missing{QSerialPort::DeviceNotFoundError, false, false}, odd{QSerialPort::UnknownError, true, false},
        gone{QSerialPort::PermissionError, false, false}, denied{QSerialPort::PermissionError, true, true},
        held{QSerialPort::PermissionError, true, false};
    const DeviceAccess dialout{"root", "dialout", 0660, false}, rootOnly{"root", "root", 0600, false},
        mineLocked{"tech", "nogroup", 0000, true}, uucp{"uucp", "uucp", 0660, false}, rootGroup{"root", "root", 0660, false};
    // What the message has, '|' apart; with '!', what it must not have.
    const struct { Failure failure; const char* reason; DeviceAccess access; QStringList present; QString expect; } cases[] = {
        {denied, "Permission denied", dialout, {},
         "Cannot open /dev/ttyUSB0: permission denied|\"dialout\", which may use|log out and in again"},
        {denied, "", uucp, {}, "\"uucp\"|usermod -aG uucp|!dialout"},
        {denied, "", rootOnly, {}, "Only root may use it (mode 0600)|udev rule|!group \"|!usermod"},
        {denied, "", rootGroup, {}, "Only root may use it (mode 0660)|!\"root\""},
        {denied, "", mineLocked, {}, "mode 0000|chmod u+rw /dev/ttyUSB0|!nogroup|!usermod"},
        {denied, "", {}, {}, "Ask your administrator|!usermod"},
        {missing, "No such file or directory", {}, {}, "does not exist|no serial port|!No such"},
        {gone, "", {}, {"/dev/ttyS0", "/dev/ttyUSB1"},
         "does not exist|present: /dev/ttyS0, /dev/ttyUSB1.|--port|!no serial"},
        {held, "Permission error while locking the device", dialout, {}, "in use by another|!dialout|!locking"},
        {odd, "Inappropriate ioctl for device.", {}, {}, "/dev/ttyUSB0: Inappropriate ioctl for device. |!device.."},
        {odd, "", {}, {}, "unknown error|!in use"},
    };
    for (const auto& c : cases) {
        const auto kind = std::apply(classifyOpenFailure, c.failure);
        const auto error = openFailure(kind, "/dev/ttyUSB0", c.reason, c.access, c.present);
        const QString message = error.what();
        for (const auto& text : c.expect.split('|')) {
            const bool absent = text.startsWith('!');
            EXPECT_NE(message.contains(text.mid(absent)), absent) << (message + '\n' + text).toStdString();
        }
    }
    // After an unplug the system speaks in stale errno values: plain words first, its text aside.
    const auto lost = connectionLost("/dev/ttyUSB0", "Invalid argument.");
    EXPECT_EQ(std::string(lost.what()), "The connection to /dev/ttyUSB0 was lost: the adapter was unplugged or stopped "
                                        "answering. Plug it in again and check the cable, then press Com Test.");
    EXPECT_EQ(lost.detail(), "System message: Invalid argument");
}

TEST(PortChoice, portListShowsWhatIsKnownAndMarksTheDefault)
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
