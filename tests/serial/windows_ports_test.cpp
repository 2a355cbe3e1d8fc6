#include "serial/windows_ports.h"

#include <gtest/gtest.h>

#include <tuple>

namespace splicerec {
namespace {

const char* const kFtdi = "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000";
const char* const kFtdiOther = "FTDIBUS\\VID_0403+PID_6001+FT9XQ2ZBA\\0000";
const char* const kProlific = "USB\\VID_067B&PID_2303\\5&1F7B6C4D&0&1";
const char* const kBuiltIn = "ACPI\\PNP0501\\1";

TEST(WindowsPorts, typedNamesBecomeTheComNameAndTheDevicePath)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"COM3", "COM3", "\\\\.\\COM3"},
        {"com10", "COM10", "\\\\.\\COM10"},
        {" \\\\.\\COM10 ", "COM10", "\\\\.\\COM10"},
        {"\\\\.\\com2", "COM2", "\\\\.\\COM2"},
        // Not COMn: a virtual port's own name, kept as typed.
        {"CNCA0", "CNCA0", "\\\\.\\CNCA0"},
        {"COM0", "COM0", "\\\\.\\COM0"},
        {"COM3x", "COM3x", "\\\\.\\COM3x"},
        {"", "", "\\\\.\\"},
    };
    for (const auto& [typed, name, path] : cases) {
        EXPECT_EQ(comPortName(typed), name) << typed;
        EXPECT_EQ(comDevicePath(typed), path) << typed;
    }
}

TEST(WindowsPorts, deviceIdsGiveVendorProductAndSerialNumber)
{
    const struct {
        const char* id;
        UsbIdentity expected;
    } cases[] = {
        {"USB\\VID_0403&PID_6001\\A50285BI", {0x0403, 0x6001, "A50285BI"}},
        {kFtdi, {0x0403, 0x6001, "A50285BIA"}},
        {"USB\\VID_10C4&PID_EA60\\0001", {0x10C4, 0xEA60, "0001"}},
        {"usb\\vid_1a86&pid_7523\\serial7", {0x1A86, 0x7523, "serial7"}},
        // Windows made the instance part up: the adapter has no serial number.
        {kProlific, {0x067B, 0x2303, ""}},
        {"USB\\VID_2341&PID_8036&MI_00\\6&3A6B5C&0&0000", {0x2341, 0x8036, ""}},
        // A hardware ID: the model, never a serial number.
        {"USB\\VID_0403&PID_6001&REV_0600", {0x0403, 0x6001, ""}},
        {kBuiltIn, {}},
        {"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1C2A&0&000000000000_00000000", {}},
        {"USB\\VID_04G3&PID_6001\\A1", {}},
        {"USB\\VID_040", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const auto got = parseDeviceId(c.id);
        EXPECT_EQ(std::tuple(got.vendorId, got.productId, got.serialNumber),
                  std::tuple(c.expected.vendorId, c.expected.productId, c.expected.serialNumber))
            << c.id;
    }
}

TEST(WindowsPorts, theDefaultIsTheUsbAdapterWithTheLowestNumberElseCom1)
{
    const struct {
        std::vector<ComPort> ports;
        const char* expected;
    } cases[] = {
        {{}, "COM1"},
        {{{"COM2", "", "", kBuiltIn}, {"COM1", "", "", kBuiltIn}}, "COM1"},
        {{{"COM1", "", "", kBuiltIn}, {"COM10", "", "", kFtdi}, {"COM4", "", "", kProlific}}, "COM4"},
        // By number, not by text: COM12 sorts before COM9 as text.
        {{{"COM12", "", "", kFtdi}, {"COM9", "", "", kFtdiOther}}, "COM9"},
        {{{"COM3", "", "", "BTHENUM\\{00001101}\\7&1C2A"}, {"COM5", "", "", kFtdi}}, "COM5"},
        {{{"COM3", "", "", kBuiltIn}}, "COM1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseDefaultPort(c.ports), c.expected) << c.ports.size() << " ports";
}

TEST(WindowsPorts, aRememberedAdapterIsFoundUnderItsNewNumberOnlyWhenNothingElseFits)
{
    const UsbIdentity ftdi{0x0403, 0x6001, "A50285BIA"}, prolific{0x067B, 0x2303, ""};
    const struct {
        const char* name;
        UsbIdentity remembered;
        std::vector<ComPort> ports;
        std::optional<std::string> expected;
    } cases[] = {
        {"serial number under a new number", ftdi, {{"COM3", "", "", kFtdiOther}, {"COM7", "", "", kFtdi}}, "COM7"},
        {"serial number of another model", ftdi, {{"COM7", "", "", "USB\\VID_10C4&PID_EA60\\A50285BIA"}}, {}},
        {"adapter absent", ftdi, {{"COM3", "", "", kFtdiOther}, {"COM1", "", "", kBuiltIn}}, {}},
        {"two ports claim its serial number", ftdi, {{"COM3", "", "", kFtdi}, {"COM4", "", "", kFtdi}}, {}},
        {"no serial number, one of its model", prolific, {{"COM1", "", "", kBuiltIn}, {"COM6", "", "", kProlific}}, "COM6"},
        {"no serial number, two of its model", prolific, {{"COM5", "", "", kProlific}, {"COM6", "", "", kProlific}}, {}},
        {"no serial number, its model with one",
         prolific,
         {{"COM5", "", "", kProlific}, {"COM6", "", "", "USB\\VID_067B&PID_2303\\ABC"}},
         {}},
        {"nothing remembered", {}, {{"COM1", "", "", kBuiltIn}}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findComAdapter(c.remembered, c.ports), c.expected) << c.name;
}

TEST(WindowsPorts, openUsesTheReturnedAdapterElseTheTypedPortElseTheDefault)
{
    const UsbIdentity ftdi{0x0403, 0x6001, "A50285BIA"};
    const struct {
        const char* typed;
        UsbIdentity remembered;
        std::vector<ComPort> ports;
        const char* expected;
    } cases[] = {
        {"com3", {}, {}, "COM3"},
        {"\\\\.\\COM10", {}, {{"COM4", "", "", kFtdi}}, "COM10"},
        {"", {}, {{"COM1", "", "", kBuiltIn}, {"COM4", "", "", kFtdi}}, "COM4"},
        {"", {}, {}, "COM1"},
        {"COM3", ftdi, {{"COM3", "", "", kFtdi}}, "COM3"},
        {"COM3", ftdi, {{"COM8", "", "", kFtdi}}, "COM8"},
        {"", ftdi, {{"COM2", "", "", kProlific}, {"COM8", "", "", kFtdi}}, "COM8"},
        // Gone: the typed name, so that the message says it is not there.
        {"COM3", ftdi, {{"COM5", "", "", kFtdiOther}}, "COM3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(choosePortToOpen(c.typed, c.remembered, c.ports), c.expected) << '"' << c.typed << '"';
}

// Wine gives few of these codes (a missing port opens there, a held one opens twice),
// so each is a row here.
TEST(WindowsPorts, errorCodesBecomeTheTechniciansMessageWithTheSystemsTextAsDetail)
{
    const std::vector<ComPort> present{{"COM4", "", "", kFtdi}, {"COM1", "", "", kBuiltIn}};
    const std::string notFound = "Cannot open COM3: the device does not exist or is not connected. ";
    const std::string nonePresent =
        notFound + "No serial port is connected at all: plug in the serial adapter and press Com Test again.";
    const std::string inUse = "Cannot open COM3: it is in use by another program. Close that program (or the other "
                              "copy of this one) and try again.";
    const std::string notWorking = "Cannot open COM3: the adapter is there but does not respond. Unplug it, plug it "
                                   "in again and press Com Test again.";
    const std::string lost = "The connection to COM3 was lost: the adapter was unplugged or stopped answering. Plug "
                             "it in again and check the cable, then press Com Test.";
    const struct {
        ComStep step;
        unsigned long code;
        const char* systemText;
        bool withPresent;
        std::string message, detail;
    } cases[] = {
        {ComStep::Open, 2, "The system cannot find the file specified.\r\n", true,
         notFound + "Serial ports present: COM1, COM4. Plug in the serial adapter, or press Com Test again and pick "
                    "one of those.",
         "The system cannot find the file specified"},
        {ComStep::Open, 3, "The system cannot find the path specified.", false, nonePresent,
         "The system cannot find the path specified"},
        {ComStep::Open, 1167, "The device is not connected.", false, nonePresent, "The device is not connected"},
        {ComStep::Open, 5, "Access is denied.", true, inUse, "Access is denied"},
        {ComStep::Open, 32, "The process cannot access the file because it is being used by another process.", true,
         inUse, "The process cannot access the file because it is being used by another process"},
        {ComStep::Open, 21, "The device is not ready.", true, notWorking, "The device is not ready"},
        {ComStep::Open, 22, "The device does not recognize the command.", true, notWorking,
         "The device does not recognize the command"},
        {ComStep::Open, 31, "A device attached to the system is not functioning.", true, notWorking,
         "A device attached to the system is not functioning"},
        {ComStep::Open, 1260, "This program is blocked by group policy.", true,
         "Cannot open COM3: permission denied. An administrator has barred programs from using it on this computer; "
         "ask them to allow serial ports.",
         "This program is blocked by group policy"},
        {ComStep::Open, 87, "The parameter is incorrect.", true,
         "Cannot open COM3: The parameter is incorrect. Check that it is the splicer's serial port.",
         "The parameter is incorrect"},
        {ComStep::Open, 1234, "", true, "Cannot open COM3: system error 1234. Check that it is the splicer's serial port.",
         "system error 1234"},
        {ComStep::Use, 21, "The device is not ready.", true, lost, "System message: The device is not ready"},
        {ComStep::Use, 22, "The device does not recognize the command.", false, lost,
         "System message: The device does not recognize the command"},
        {ComStep::Use, 31, "A device attached to the system is not functioning.", false, lost,
         "System message: A device attached to the system is not functioning"},
        {ComStep::Use, 5, "Access is denied.", false, lost, "System message: Access is denied"},
        {ComStep::Use, 1167, "The device is not connected.", false, lost, "System message: The device is not connected"},
        {ComStep::Use, 995, "", false, lost, "System message: system error 995"},
    };
    for (const auto& c : cases) {
        const auto error = comPortError(c.step, c.code, "COM3", c.systemText, c.withPresent ? present : std::vector<ComPort>{});
        EXPECT_EQ(error.what(), c.message) << c.code;
        EXPECT_EQ(error.detail(), c.detail) << c.code;
    }
}

TEST(WindowsPorts, thePortListHasOneLineAPortByNumberAndMarksTheDefault)
{
    const std::vector<ComPort> ports{
        {"COM10", "USB Serial Port (COM10)", "FTDI", kFtdi},
        {"COM1", "Communications Port (COM1)", "(Standard port types)", kBuiltIn},
        {"COM4", "Prolific USB-to-Serial Comm Port (COM4)", "", kProlific},
        {"COM7", "", "", ""},
    };
    EXPECT_EQ(formatComPortList(ports, "COM4"),
              "COM1  Communications Port (COM1), (Standard port types)\n"
              "COM4  Prolific USB-to-Serial Comm Port (COM4), USB 067b:2303  (default)\n"
              "COM7\n"
              "COM10  USB Serial Port (COM10), FTDI, serial A50285BIA, USB 0403:6001\n");
    EXPECT_EQ(formatComPortList({}, "COM1"), "No serial ports found.\n");
}

}  // namespace
}  // namespace splicerec
