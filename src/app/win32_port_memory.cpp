#include "app/win32_port_memory.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <fstream>
#include <system_error>
#include <utility>

#include "serial/win32_port_list.h"

namespace splicerec {
namespace {

constexpr wchar_t kSection[] = L"port", kKey[] = L"name";

}  // namespace

IniPortMemory::IniPortMemory(std::filesystem::path file) : file_(std::move(file)) {}

std::string IniPortMemory::load() const
{
    // The call says nothing of a value cut short except by filling the buffer.
    std::wstring value(64, L'\0');
    for (;;) {
        const DWORD got = ::GetPrivateProfileStringW(kSection, kKey, L"", value.data(), static_cast<DWORD>(value.size()),
                                                     file_.c_str());
        if (got + 1 < value.size()) {
            value.resize(got);
            return utf8FromWide(value);
        }
        value.assign(value.size() * 2, L'\0');
    }
}

bool IniPortMemory::save(const std::string& device)
{
    const auto value = wideFromUtf8(device);
    if (value.empty() != device.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (error)
        return false;
    // A file begun with the UTF-16 byte order mark is written in UTF-16 from then on;
    // one the call creates itself gets the ANSI code page, which loses other scripts.
    if (!std::filesystem::exists(file_, error)) {
        std::ofstream bom(file_, std::ios::binary);
        if (!(bom << "\xff\xfe") || !bom.flush())
            return false;
    }
    return ::WritePrivateProfileStringW(kSection, kKey, value.c_str(), file_.c_str()) != FALSE;
}

std::filesystem::path portMemoryFile()
{
    PWSTR folder = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder);
    std::filesystem::path file;
    if (SUCCEEDED(result))
        file = std::filesystem::path(folder) / L"splice-records" / L"splice-records.ini";
    // The call allocates even when it fails.
    ::CoTaskMemFree(folder);
    return file;
}

std::vector<PortOffer> comPortOffers(std::vector<ComPort> ports)
{
    sortComPorts(ports);
    std::vector<PortOffer> offers;
    for (const auto& port : ports)
        offers.push_back({port.name, comPortDetails(port), "", !parseDeviceId(port.deviceId).empty()});
    return offers;
}

std::vector<PortOffer> comPortsPresent()
{
    return comPortOffers(listComPorts());
}

}  // namespace splicerec
