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
        {missing, "No such file or directory", {}, {}, "does not exist|No serial port|!No such"},
        {gone, "", {}, {"/dev/ttyS0", "/dev/ttyUSB1"},
         "does not exist|present: /dev/ttyS0, /dev/ttyUSB1.|pick one|!No serial"},
        {held, "Permission error while locking the device", dialout, {}, "in use by another|!dialout|!locking"},
        {odd, "Inappropriate ioctl for device.", {}, {}, "/dev/ttyUSB0: Inappropriate ioctl for device. |!device.."},
        {odd, "", {}, {}, "unknown error|!in use"},
    };
    for (const auto& c : cases) {
        const auto kind = std::apply(classifyOpenFailure, c.failure);
        const QString message = openFailure(kind, "/dev/ttyUSB0", c.reason, c.access, c.present).what();
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

TEST(PortChoice, anAdapterIsFoundAgainByWhatIdentifiesItNotByItsName)
{
    const QString link = "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";
    // Before the replug: adapter A on ttyUSB1 with its by-id link, B on ttyUSB0.
    const PortDescription b{"/dev/ttyUSB0", "", "", "B11", 0x0403, 0x6001},
        aBefore{"/dev/ttyUSB1", "", "", "A50285BI", 0x0403, 0x6001};
    const auto a = identityOf("/dev/ttyUSB1", {b, aBefore}, {{link, "/dev/ttyUSB1"}});
    EXPECT_EQ(std::tuple(a.byIdLink, a.serialNumber, a.vendorId, a.productId),
              std::tuple(link, QString("A50285BI"), std::optional<quint16>(0x0403), std::optional<quint16>(0x6001)));

    const AdapterIdentity serialOnly{"", "A50285BI", {}, {}}, cheap{"", "", 0x1a86, 0x7523},
        ftdiWithoutSerial{"", "", 0x0403, 0x6001}, otherMaker{"", "A50285BI", 0x067b, 0x2303};
    const PortDescription aMoved{"/dev/ttyUSB3", "", "", "A50285BI", 0x0403, 0x6001},
        cheapMoved{"/dev/ttyUSB4", "", "", "", 0x1a86, 0x7523};
    const struct { const char* what; AdapterIdentity identity; std::vector<PortDescription> ports;
                   std::vector<ByIdLink> links; QString expected; } cases[] = {
        {"the link leads to the new node", a, {b, {"/dev/ttyUSB3", "", "", "", {}, {}}}, {{link, "/dev/ttyUSB3"}}, "/dev/ttyUSB3"},
        {"no udev links: the serial number", a, {b, aMoved}, {}, "/dev/ttyUSB3"},
        {"serial known, ids not", serialOnly, {b, aMoved}, {}, "/dev/ttyUSB3"},
        {"still unplugged", a, {b}, {}, ""},
        {"the same serial on another make", otherMaker, {b, aMoved}, {}, ""},
        {"without a serial: the only one of its model", cheap, {b, cheapMoved}, {}, "/dev/ttyUSB4"},
        {"without a serial: two of its model", cheap, {cheapMoved, {"/dev/ttyUSB5", "", "", "", 0x1a86, 0x7523}}, {}, ""},
        {"without a serial: adapters with one do not count", ftdiWithoutSerial, {aMoved, cheapMoved}, {}, ""},
        {"a built-in port has nothing to find", {}, {b, {"/dev/ttyS0", "", "", "", {}, {}}}, {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findAdapter(c.identity, c.ports, c.links), c.expected) << c.what;
}

}  // namespace
}  // namespace splicerec
