#include "serial/port_choice.h"

#include <gtest/gtest.h>

namespace splicerec {
namespace {

TEST(PortChoice, NormalisesBareNamesOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ttyUSB0", "/dev/ttyUSB0"},       {"  ttyACM1 ", "/dev/ttyACM1"},
        {"/dev/ttyS0", "/dev/ttyS0"},      {"/dev/serial/by-id/usb-x-port0", "/dev/serial/by-id/usb-x-port0"},
        {"./ttyUSB0", "./ttyUSB0"},        {"", ""},
    };
    for (const auto& [given, expected] : cases)
        EXPECT_EQ(normalisePortName(QString::fromUtf8(given)), QString::fromUtf8(expected)) << given;
}

TEST(PortChoice, PrefersUsbAdaptersInNumberOrder)
{
    const std::pair<QStringList, const char*> cases[] = {
        {{}, "/dev/ttyS0"},
        {{"ttyS0", "ttyS1", "null"}, "/dev/ttyS0"},
        {{"ttyACM0", "ttyUSB1"}, "/dev/ttyUSB1"},
        {{"ttyUSB10", "ttyUSB2", "ttyUSB3"}, "/dev/ttyUSB2"},
        {{"ttyACM3", "ttyACM0"}, "/dev/ttyACM0"},
        {{"ttyUSB", "ttyACM0"}, "/dev/ttyACM0"},
    };
    for (const auto& [entries, expected] : cases)
        EXPECT_EQ(choosePortPath(entries), QString::fromUtf8(expected)) << entries.join(' ').toStdString();
}

TEST(PortChoice, ClassifiesOpenFailures)
{
    const struct {
        QSerialPort::SerialPortError error;
        bool exists, accessDenied;
        OpenFailure expected;
    } cases[] = {
        {QSerialPort::DeviceNotFoundError, false, false, OpenFailure::NotFound},
        {QSerialPort::PermissionError, false, false, OpenFailure::NotFound},
        {QSerialPort::PermissionError, true, true, OpenFailure::PermissionDenied},
        // The lock is held or the node is EBUSY: we could open it, someone else has it.
        {QSerialPort::PermissionError, true, false, OpenFailure::InUse},
        {QSerialPort::UnknownError, true, false, OpenFailure::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classifyOpenFailure(c.error, c.exists, c.accessDenied), c.expected) << c.error;
}

TEST(PortChoice, FailureMessagesSayWhatToDo)
{
    const auto open = [](OpenFailure kind, const char* reason, const char* group, const QStringList& present = {}) {
        return openFailureMessage(kind, QStringLiteral("/dev/ttyUSB0"), QString::fromUtf8(reason),
                                  QString::fromUtf8(group), present).toStdString();
    };
    const struct {
        std::string message;
        std::vector<const char*> present, absent;
    } cases[] = {
        {open(OpenFailure::PermissionDenied, "Permission denied", "dialout"),
         {"Cannot open /dev/ttyUSB0: permission denied", "\"dialout\", which owns", "log out and in again"}, {}},
        {open(OpenFailure::PermissionDenied, "", "uucp"), {"\"uucp\"", "usermod -aG uucp"}, {"dialout"}},
        {open(OpenFailure::PermissionDenied, "", ""), {"\"dialout\"", "log out"}, {}},
        {open(OpenFailure::PermissionDenied, "", "root"), {"\"dialout\""}, {"\"root\""}},
        {open(OpenFailure::NotFound, "No such file or directory", ""),
         {"Cannot open /dev/ttyUSB0: ", "does not exist", "no serial port is connected"}, {"No such file"}},
        {open(OpenFailure::NotFound, "", "", {"/dev/ttyS0", "/dev/ttyUSB1"}),
         {"does not exist", "present: /dev/ttyS0, /dev/ttyUSB1.", "--port"}, {"no serial port"}},
        {open(OpenFailure::InUse, "", "", {"/dev/ttyS0"}), {"in use"}, {"/dev/ttyS0"}},
        {open(OpenFailure::InUse, "Permission error while locking the device", "dialout"),
         {"in use by another program"}, {"dialout", "locking"}},
        {open(OpenFailure::Other, "Inappropriate ioctl for device.", ""),
         {"/dev/ttyUSB0: Inappropriate ioctl for device. "}, {"device.."}},
        {open(OpenFailure::Other, "", ""), {"unknown error"}, {}},
        {connectionLostMessage(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("Input/output error"))
             .toStdString(),
         {"/dev/ttyUSB0 was lost: Input/output error.", "Com Test"}, {}},
    };
    for (const auto& c : cases) {
        for (const auto* text : c.present)
            EXPECT_NE(c.message.find(text), std::string::npos) << c.message << "\nlacks: " << text;
        for (const auto* text : c.absent)
            EXPECT_EQ(c.message.find(text), std::string::npos) << c.message << "\nhas: " << text;
    }
}

TEST(PortChoice, PortListShowsWhatIsKnownAndMarksTheDefault)
{
    const PortDescription usb{"/dev/ttyUSB0", "USB Serial", "FTDI", "A5028", 0x0403, 0x6001};
    const PortDescription bare{"/dev/ttyS0", "", "", "", std::nullopt, std::nullopt};
    const PortDescription vendorOnly{"/dev/ttyACM10", "", "Maker", "", 0x1a86, std::nullopt};
    const PortDescription acm2{"/dev/ttyACM2", "", "", "7", 0x2341, 0x0043};
    const struct {
        std::vector<PortDescription> ports;
        const char* defaultPath;
        const char* expected;
    } cases[] = {
        {{}, "/dev/ttyS0", "No serial ports found.\n"},
        {{usb, bare}, "/dev/ttyUSB0",
         "/dev/ttyS0\n"
         "/dev/ttyUSB0  USB Serial, FTDI, serial A5028, USB 0403:6001  (default)\n"},
        {{vendorOnly, acm2}, "/dev/ttyS0", "/dev/ttyACM2  serial 7, USB 2341:0043\n/dev/ttyACM10  Maker\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatPortList(c.ports, QString::fromUtf8(c.defaultPath)).toStdString(), c.expected);
}

}  // namespace
}  // namespace splicerec
