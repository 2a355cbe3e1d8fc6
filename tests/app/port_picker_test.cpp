#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/port_picker.h"

namespace splicerec {
namespace {

const PortOffer kUsb0{"/dev/ttyUSB0", "FT232R USB UART", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", true},
    kUsb1{"/dev/ttyUSB1", "CP2102 USB to UART", "", true}, kBuiltIn{"/dev/ttyS0", "", "", false},
    kCom3{"COM3", "USB Serial Port (COM3), FTDI, USB 0403:6001", "", true}, kCom1{"COM1", "", "", false};

TEST(PortDecision, asksOnlyWhenThereIsAChoiceToMake)
{
    const struct {
        const char* why;
        std::string given, remembered;
        bool openFailed;
        std::vector<PortOffer> present;
        std::string device;
        bool ask;
    } cases[] = {
        {"one adapter is simply used", "", "", false, {kUsb0, kBuiltIn}, "", false},
        {"two adapters, no choice yet", "", "", false, {kUsb0, kUsb1}, "", true},
        {"remembered by path", "", "/dev/ttyUSB1", false, {kUsb0, kUsb1}, "/dev/ttyUSB1", false},
        {"remembered by stable name", "", kUsb0.stableName, false, {kUsb1, kUsb0}, kUsb0.stableName, false},
        {"remembered but gone", "", "/dev/ttyUSB5", false, {kUsb0, kUsb1}, "", true},
        {"remembered, one other adapter", "", "/dev/ttyUSB1", false, {kUsb0}, "", false},
        {"remembered built-in, no adapter", "", "COM1", false, {kCom1}, "COM1", false},
        {"nothing present, nothing remembered", "", "", false, {}, "", false},
        {"--port wins", "/dev/ttyUSB9", "/dev/ttyUSB1", false, {kUsb0, kUsb1}, "/dev/ttyUSB9", false},
        {"--port failed", "/dev/ttyUSB9", "", true, {kUsb0}, "/dev/ttyUSB9", true},
        {"--port failed, nothing else", "/dev/ttyUSB9", "", true, {}, "/dev/ttyUSB9", false},
        {"the one adapter failed", "", "", true, {kUsb0}, "", false},
        {"the built-in default failed", "", "", true, {kBuiltIn}, "", true},
        {"the remembered one failed", "", "/dev/ttyUSB1", true, {kUsb0, kUsb1}, "/dev/ttyUSB1", true},
    };
    for (const auto& c : cases) {
        const auto decision = decidePort(c.given, c.remembered, c.openFailed, c.present);
        EXPECT_EQ(std::pair(decision.device, decision.ask), std::pair(c.device, c.ask)) << c.why;
    }
}

// A port as the picker sees it: setting a device closes it and clears the failure, as
// the Qt and the COM port do.
struct FakePort final : PickablePort {
    std::string device;
    bool failed = false;
    int devicesSet = 0;

    void setDevice(const std::string& d) override
    {
        device = d;
        failed = false;
        ++devicesSet;
    }
    bool lastOpenFailed() const override { return failed; }
    std::string deviceName() const override { return device.empty() ? "(default)" : device; }
};

struct FakeMemory final : PortMemory {
    std::string kept;
    bool broken = false;  // a file that cannot be written

    std::string load() const override { return kept; }
    bool save(const std::string& device) override
    {
        if (!broken)
            kept = device;
        return !broken;
    }
};

// What the technician does at each Com Test, and what follows.
struct Step {
    std::vector<PortOffer> present;
    bool openFailed = false;            // the previous open failed
    std::optional<std::string> answer;  // the technician's pick; none: Cancel
    // Then:
    bool asked = false;
    std::string current;  // the port offered first
    bool linkTest = true;
    std::string device;  // the port's device after
    std::string kept;    // the memory after
};

TEST(PortPicker, asksRemembersAndSetsTheDeviceOnlyWhenItChanges)
{
    const struct {
        const char* why;
        std::string given, remembered;
        bool memoryBroken;
        std::vector<Step> steps;
        int devicesSet;  // setDevice() closes the port and forgets the adapter opened last
    } cases[] = {
        {"one adapter: never asked, the port left alone", "", "", false,
         {{{kUsb0, kBuiltIn}, false, {}, false, "", true, "", ""}, {{kUsb0}, false, {}, false, "", true, "", ""}}, 0},
        {"Cancel runs no link test and keeps nothing, then a pick is used and kept", "", "", false,
         {{{kUsb0, kUsb1}, false, std::nullopt, true, "(default)", false, "", ""},
          {{kUsb0, kUsb1}, false, kUsb0.stableName, true, "(default)", true, kUsb0.stableName, kUsb0.stableName},
          {{kUsb0, kUsb1}, false, {}, false, "", true, kUsb0.stableName, kUsb0.stableName}},
         1},
        {"a remembered pick is used unasked", "", "/dev/ttyUSB1", false,
         {{{kUsb0, kUsb1}, false, {}, false, "", true, "/dev/ttyUSB1", "/dev/ttyUSB1"}}, 1},
        {"--port is used as given, and asked about only after it failed", "COM7", "COM3", false,
         {{{kCom3, kCom1}, false, {}, false, "", true, "COM7", "COM3"},
          {{kCom3, kCom1}, true, "COM1", true, "COM7", true, "COM1", "COM1"},
          {{kCom3, kCom1}, false, {}, false, "", true, "COM1", "COM1"}},
         1},
        {"a pick that cannot be kept still holds until the end", "", "", true,
         {{{kUsb0, kUsb1}, false, "/dev/ttyUSB1", true, "(default)", true, "/dev/ttyUSB1", ""},
          {{kUsb0, kUsb1}, false, {}, false, "", true, "/dev/ttyUSB1", ""}},
         1},
        {"the remembered adapter unplugged: back to the default", "", "/dev/ttyUSB1", false,
         {{{kUsb0, kUsb1}, false, {}, false, "", true, "/dev/ttyUSB1", "/dev/ttyUSB1"},
          {{kUsb0}, false, {}, false, "", true, "", "/dev/ttyUSB1"}},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        FakePort port;
        port.device = c.given;
        FakeMemory memory;
        memory.kept = c.remembered;
        memory.broken = c.memoryBroken;
        const Step* step = nullptr;
        bool asked = false;
        std::string current;
        std::vector<PortOffer> offered;
        PortPicker picker(
            port, memory,
            [&](const std::vector<PortOffer>& ports, const std::string& inUse) {
                asked = true;
                current = inUse;
                offered = ports;
                return step->answer;
            },
            [&] { return step->present; }, c.given);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("Com Test " + std::to_string(i + 1));
            step = &c.steps[i];
            port.failed = step->openFailed;
            asked = false;
            current.clear();
            offered.clear();
            EXPECT_EQ(picker.beforeLinkTest(), step->linkTest);
            EXPECT_EQ(asked, step->asked);
            EXPECT_EQ(current, step->current);
            if (asked) {
                EXPECT_EQ(offered.size(), step->present.size());
            }
            EXPECT_EQ(port.device, step->device);
            EXPECT_EQ(memory.kept, step->kept);
        }
        EXPECT_EQ(port.devicesSet, c.devicesSet);
    }
}

// The next start reads what this one kept, and asks nothing.
TEST(PortPicker, aPickIsUsedUnaskedAtTheNextStart)
{
    FakeMemory memory;
    const auto present = [] { return std::vector{kBuiltIn, kUsb0, kUsb1}; };
    int asked = 0;
    const auto pickUsb0 = [&](const std::vector<PortOffer>&, const std::string&) {
        ++asked;
        return std::optional(kUsb0.stableName);
    };
    {
        FakePort port;
        PortPicker picker(port, memory, pickUsb0, present, "");
        ASSERT_TRUE(picker.beforeLinkTest());
    }
    FakePort port;
    PortPicker nextStart(port, memory, pickUsb0, present, "");
    EXPECT_TRUE(nextStart.beforeLinkTest());
    EXPECT_EQ(port.device, kUsb0.stableName);
    EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace splicerec
