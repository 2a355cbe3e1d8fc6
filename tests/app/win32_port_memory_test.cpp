#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/port_picker.h"
#include "app/win32_port_memory.h"
#include "serial/win32_serial_port.h"

namespace splicerec {
namespace {

namespace fs = std::filesystem;

// A folder of this test's own, gone afterwards.
struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("splice-ini-" + std::to_string(::GetCurrentProcessId()));
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

TEST(IniPortMemory, keepsTheLastPickForAFreshObjectInAFolderItCreates)
{
    const struct {
        const char* why;
        std::vector<std::string> saves;
        std::string loaded;
    } cases[] = {
        {"a first start finds no file", {}, ""},
        {"a pick", {"COM3"}, "COM3"},
        {"a later pick replaces it", {"COM3", "COM12"}, "COM12"},
        {"names in other scripts survive any code page", {"\xd0\x9f\xd0\xbe\xd1\x80\xd1\x82-\xe7\xb7\x9a-\xc3\x84"},
         "\xd0\x9f\xd0\xbe\xd1\x80\xd1\x82-\xe7\xb7\x9a-\xc3\x84"},
        {"longer than a first read takes", {std::string(300, 'x')}, std::string(300, 'x')},
        {"text that is not UTF-8 is refused, the earlier pick kept", {"COM4", "COM\xff"}, "COM4"},
    };
    TempFolder temp;
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const auto file = temp.path / std::to_string(++row) / "splice-records" / "splice-records.ini";
        IniPortMemory memory(file);
        for (const auto& pick : c.saves)
            EXPECT_EQ(memory.save(pick), pick.find('\xff') == std::string::npos) << pick;
        EXPECT_EQ(fs::exists(file), !c.saves.empty());
        EXPECT_EQ(IniPortMemory(file).load(), c.loaded);
    }
}

TEST(IniPortMemory, aFolderThatCannotBeMadeKeepsNothing)
{
    TempFolder temp;
    fs::create_directories(temp.path);
    const auto blocker = temp.path / "a file";
    { std::ofstream(blocker) << "in the way"; }
    IniPortMemory memory(blocker / "splice-records.ini");
    EXPECT_FALSE(memory.save("COM3"));
    EXPECT_EQ(memory.load(), "");
}

TEST(IniPortMemory, livesInTheRoamingApplicationDataFolder)
{
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_EQ(portMemoryFile(), fs::path(appData) / L"splice-records" / L"splice-records.ini");
}

TEST(ComPortOffers, byNumberWithWhatIsKnownAndAdaptersByTheirUsbIdentity)
{
    const std::vector<ComPort> ports{
        {"COM10", "USB Serial Port (COM10)", "FTDI", "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"},
        {"CNCA0", "com0com - serial port emulator CNCA0", "Vyacheslav Frolov", "COM0COM\\PORT\\CNCA0"},
        {"COM2", "", "", ""},
        {"COM1", "Communications Port (COM1)", "(Standard port types)", "ACPI\\PNP0501\\1"},
        {"COM3", "USB-SERIAL CH340 (COM3)", "wch.cn", "USB\\VID_1A86&PID_7523\\5&2C8F1E3&0&2"},
    };
    const std::vector<PortOffer> expected{
        {"COM1", "Communications Port (COM1), (Standard port types)", "", false},
        {"COM2", "", "", false},
        {"COM3", "USB-SERIAL CH340 (COM3), wch.cn, USB 1a86:7523", "", true},
        {"COM10", "USB Serial Port (COM10), FTDI, serial A50285BIA, USB 0403:6001", "", true},
        {"CNCA0", "com0com - serial port emulator CNCA0, Vyacheslav Frolov", "", false},
    };
    const auto offers = comPortOffers(ports);
    ASSERT_EQ(offers.size(), expected.size());
    for (std::size_t i = 0; i < offers.size(); ++i) {
        EXPECT_EQ(offers[i].path, expected[i].path) << i;
        EXPECT_EQ(offers[i].description, expected[i].description) << i;
        EXPECT_EQ(offers[i].stableName, expected[i].stableName) << i;
        EXPECT_EQ(offers[i].adapter, expected[i].adapter) << i;
    }
}

struct NoMemory final : PortMemory {
    std::string kept;
    std::string load() const override { return kept; }
    bool save(const std::string& device) override
    {
        kept = device;
        return true;
    }
};

// The COM port tells the picker that --port could not be opened, and takes the port picked instead.
TEST(Win32SerialPort, aFailedOpenLetsThePickerAskAndThePickIsOpenedNext)
{
    Win32SerialPort port("com77");  // no such port, under Wine as on Windows
    EXPECT_THROW(port.open(), PortError);
    EXPECT_TRUE(port.lastOpenFailed());
    NoMemory memory;
    std::string offeredFirst;
    PortPicker picker(
        port, memory,
        [&](const std::vector<PortOffer>&, const std::string& current) {
            offeredFirst = current;
            return std::optional<std::string>("COM3");
        },
        [] { return std::vector<PortOffer>{{"COM3", "", "", true}, {"COM1", "", "", false}}; }, "COM77");
    EXPECT_TRUE(picker.beforeLinkTest());
    EXPECT_EQ(offeredFirst, "COM77");
    EXPECT_EQ(port.deviceName(), "COM3");
    EXPECT_FALSE(port.lastOpenFailed());
    EXPECT_EQ(memory.kept, "COM3");
}

}  // namespace
}  // namespace splicerec
