#include "serial/win32_port_list.h"

#include <windows.h>
// GUID_DEVCLASS_PORTS is defined here, not in a library.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

namespace splicerec {
namespace {

// GUID_DEVINTERFACE_COMPORT, whose header (ntddser.h) belongs to the driver kit.
constexpr GUID kComPortInterface{0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

class DeviceSet {
public:
    DeviceSet(const GUID& guid, DWORD flags) : set_(::SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags)) {}
    // Nothing to tell anyone if freeing a listing fails; the listing is complete by then.
    ~DeviceSet()
    {
        if (valid())
            static_cast<void>(::SetupDiDestroyDeviceInfoList(set_));
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;

    bool valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// A text property, or empty where the driver set none. Of a list (the hardware IDs),
// the first: the most specific.
std::string property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD which)
{
    wchar_t buffer[512] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, which, nullptr, reinterpret_cast<BYTE*>(buffer),
                                             sizeof buffer - 2 * sizeof(wchar_t), nullptr))
        return {};
    return utf8FromWide(buffer);
}

// The PortName value the port's driver keeps in the device's registry key: "COM3".
std::string portName(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t buffer[64] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS status =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    static_cast<void>(::RegCloseKey(key));  // a read-only key; the value is already ours
    return status == ERROR_SUCCESS && type == REG_SZ ? utf8FromWide(buffer) : std::string();
}

void addPorts(const GUID& guid, DWORD flags, std::vector<ComPort>& ports)
{
    const DeviceSet set(guid, flags);
    if (!set.valid())
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        const auto name = comPortName(portName(set.get(), device));
        // Printer ports share the Ports class; a port found in both listings counts once.
        const bool known = std::any_of(ports.begin(), ports.end(), [&](const auto& port) { return port.name == name; });
        if (name.empty() || name.rfind("LPT", 0) == 0 || known)
            continue;
        wchar_t instance[256] = {};
        std::string deviceId;
        if (::SetupDiGetDeviceInstanceIdW(set.get(), &device, instance, 255, nullptr))
            deviceId = utf8FromWide(instance);
        // A composite device's port may have an instance ID without VID_; its hardware ID has one.
        if (parseDeviceId(deviceId).empty())
            if (auto hardwareId = property(set.get(), device, SPDRP_HARDWAREID); !parseDeviceId(hardwareId).empty())
                deviceId = std::move(hardwareId);
        ports.push_back({name, property(set.get(), device, SPDRP_FRIENDLYNAME), property(set.get(), device, SPDRP_MFG),
                         deviceId});
    }
}

}  // namespace

std::vector<ComPort> listComPorts()
{
    std::vector<ComPort> ports;
    addPorts(GUID_DEVCLASS_PORTS, DIGCF_PRESENT, ports);
    // Some adapters' drivers file their port under another class but offer the COM interface.
    addPorts(kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, ports);
    return ports;
}

std::string utf8FromWide(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size <= 0 || ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr) != size)
        return {};
    return bytes;
}

std::wstring wideFromUtf8(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    // Strict, so that a byte that is not UTF-8 fails instead of becoming U+FFFD.
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size <= 0 || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), size) != size)
        return {};
    return wide;
}

}  // namespace splicerec
