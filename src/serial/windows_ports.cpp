#include "serial/windows_ports.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace splicerec {
namespace {

// Windows error codes, by value: this file builds where <windows.h> does not exist.
constexpr unsigned long kFileNotFound = 2, kPathNotFound = 3, kAccessDenied = 5, kNotReady = 21, kBadCommand = 22,
                        kGenFailure = 31, kSharingViolation = 32, kDeviceNotConnected = 1167,
                        kDisabledByPolicy = 1260;

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string upper(std::string_view text)
{
    std::string result(text);
    for (auto& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The n of "COMn"; none for any other name.
std::optional<int> comNumber(std::string_view name)
{
    const auto text = upper(name);
    if (text.size() < 4 || text.compare(0, 3, "COM") != 0)
        return std::nullopt;
    int number = 0;
    const auto [end, error] = std::from_chars(text.data() + 3, text.data() + text.size(), number);
    if (error != std::errc{} || end != text.data() + text.size() || number <= 0)
        return std::nullopt;
    return number;
}

// Numbered ports sort by number, so COM2 comes before COM10; other names last.
bool portBefore(const ComPort& a, const ComPort& b)
{
    const auto na = comNumber(a.name), nb = comNumber(b.name);
    if (na && nb)
        return *na < *nb;
    if (na || nb)
        return na.has_value();
    return a.name < b.name;
}

// The four hex digits after `key` ("VID_") in `part`, in any case.
std::optional<std::uint16_t> hexAfter(std::string_view part, std::string_view key)
{
    const auto text = upper(part);
    const auto at = text.find(key);
    if (at == std::string::npos || text.size() < at + key.size() + 4)
        return std::nullopt;
    std::uint16_t value = 0;
    const char* digits = text.data() + at + key.size();
    const auto [end, error] = std::from_chars(digits, digits + 4, value, 16);
    if (error != std::errc{} || end != digits + 4)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

OpenFailure openFailureOf(unsigned long code)
{
    switch (code) {
    case kFileNotFound:
    case kPathNotFound:
    case kDeviceNotConnected:
        return OpenFailure::NotFound;
    // COM ports are opened exclusively: "access denied" means another program has it.
    case kAccessDenied:
    case kSharingViolation:
        return OpenFailure::InUse;
    case kDisabledByPolicy:
        return OpenFailure::PermissionDenied;
    // The node is there, its driver or adapter is not answering.
    case kNotReady:
    case kBadCommand:
    case kGenFailure:
        return OpenFailure::NotWorking;
    default:
        return OpenFailure::Other;
    }
}

}  // namespace

std::string comPortName(std::string_view typed)
{
    auto name = trimmed(typed);
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix)
        name.remove_prefix(kDevicePrefix.size());
    if (const auto number = comNumber(name))
        return "COM" + std::to_string(*number);
    return std::string(name);
}

std::string comDevicePath(std::string_view name)
{
    return std::string(kDevicePrefix) + comPortName(name);
}

UsbIdentity parseDeviceId(std::string_view id)
{
    const auto parts = split(id, '\\');
    if (parts.size() < 2)
        return {};
    UsbIdentity identity{hexAfter(parts[1], "VID_"), hexAfter(parts[1], "PID_"), {}};
    if (!identity.vendorId)
        return {};
    const auto enumerator = upper(parts[0]);
    if (enumerator == "FTDIBUS") {
        // The FTDI driver packs the serial number into the middle part.
        const auto fields = split(parts[1], '+');
        if (fields.size() >= 3)
            identity.serialNumber = fields[2];
    } else if (enumerator == "USB" && parts.size() >= 3 && parts[2].find('&') == std::string_view::npos) {
        identity.serialNumber = parts[2];
    }
    return identity;
}

std::string chooseDefaultPort(const std::vector<ComPort>& ports)
{
    const ComPort* best = nullptr;
    for (const auto& port : ports) {
        if (comNumber(port.name) && parseDeviceId(port.deviceId).vendorId && (!best || portBefore(port, *best)))
            best = &port;
    }
    return best ? best->name : "COM1";
}

std::optional<std::string> findComAdapter(const UsbIdentity& identity, const std::vector<ComPort>& ports)
{
    if (identity.empty())
        return std::nullopt;
    std::vector<std::string> fitting;
    for (const auto& port : ports) {
        const auto candidate = parseDeviceId(port.deviceId);
        const bool sameModel = candidate.vendorId == identity.vendorId && candidate.productId == identity.productId;
        // Without a serial number the model is all there is; two alike are a tie.
        if (sameModel && (identity.serialNumber.empty() || candidate.serialNumber == identity.serialNumber))
            fitting.push_back(port.name);
    }
    if (fitting.size() != 1)
        return std::nullopt;
    return fitting.front();
}

std::string choosePortToOpen(const std::string& typed, const UsbIdentity& lastOpened, const std::vector<ComPort>& ports)
{
    if (auto found = findComAdapter(lastOpened, ports))
        return *found;
    const auto name = comPortName(typed);
    return name.empty() ? chooseDefaultPort(ports) : name;
}

PortError comPortError(ComStep step, unsigned long code, const std::string& device, std::string_view systemText,
                       const std::vector<ComPort>& present)
{
    const auto reason = systemText.empty() ? "system error " + std::to_string(code) : std::string(systemText);
    if (step == ComStep::Use)
        return describeLostConnection(device, reason);
    auto sorted = present;
    std::sort(sorted.begin(), sorted.end(), portBefore);
    std::vector<std::string> names;
    for (const auto& port : sorted)
        names.push_back(port.name);
    return describeOpenFailure(openFailureOf(code), device, reason, names,
                               "An administrator has barred programs from using it on this computer; ask "
                               "them to allow serial ports.");
}

void sortComPorts(std::vector<ComPort>& ports)
{
    std::stable_sort(ports.begin(), ports.end(), portBefore);
}

std::string comPortDetails(const ComPort& port)
{
    std::vector<std::string> details;
    for (const auto& field : {port.friendlyName, port.manufacturer})
        if (!field.empty())
            details.push_back(field);
    const auto identity = parseDeviceId(port.deviceId);
    if (!identity.serialNumber.empty())
        details.push_back("serial " + identity.serialNumber);
    if (identity.vendorId && identity.productId) {
        char usb[16];
        std::snprintf(usb, sizeof usb, "USB %04x:%04x", unsigned{*identity.vendorId}, unsigned{*identity.productId});
        details.push_back(usb);
    }
    std::string text;
    for (const auto& detail : details)
        text += (text.empty() ? "" : ", ") + detail;
    return text;
}

std::string formatComPortList(const std::vector<ComPort>& ports, const std::string& defaultName)
{
    if (ports.empty())
        return "No serial ports found.\n";
    auto sorted = ports;
    sortComPorts(sorted);
    std::string text;
    for (const auto& port : sorted) {
        text += port.name;
        if (const auto details = comPortDetails(port); !details.empty())
            text += "  " + details;
        if (port.name == defaultName)
            text += "  (default)";
        text += '\n';
    }
    return text;
}

}  // namespace splicerec
