#include "serial/win32_serial_port.h"

#include "serial/win32_port_list.h"

#include <algorithm>
#include <utility>

namespace splicerec {
namespace {

// Far more than a page of records, so that a late poll never loses a byte.
constexpr DWORD kDriverQueue = 4096;
// A write waits this long at most for the driver to take the bytes; what it has not
// taken stays queued for the next poll. Long enough for a USB adapter's round trip,
// short enough that a stalled one does not freeze the window.
constexpr DWORD kWriteTimeoutMs = 20;

std::string systemText(DWORD code)
{
    wchar_t text[512];
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                          text, static_cast<DWORD>(std::size(text)), nullptr);
    return utf8FromWide(std::wstring_view(text, length));  // empty: comPortError names the code
}

BYTE parityOf(Parity parity)
{
    switch (parity) {
    case Parity::None: return NOPARITY;
    case Parity::Even: return EVENPARITY;
    case Parity::Odd: return ODDPARITY;
    case Parity::Mark: return MARKPARITY;
    case Parity::Space: return SPACEPARITY;
    }
    return NOPARITY;
}

}  // namespace

CommCalls CommCalls::system()
{
    return {
        [](HANDLE handle, void* buffer, DWORD size, DWORD* done) { return ::ReadFile(handle, buffer, size, done, nullptr); },
        [](HANDLE handle, const void* bytes, DWORD size, DWORD* done) {
            return ::WriteFile(handle, bytes, size, done, nullptr);
        },
        [](HANDLE handle, DWORD* errors, COMSTAT* status) { return ::ClearCommError(handle, errors, status); },
    };
}

Win32SerialPort::Win32SerialPort(std::string device, CommCalls calls)
    : device_(comPortName(device)), settings_(LineSettings::parse("2400,n,8,1")), calls_(std::move(calls))
{
}

Win32SerialPort::~Win32SerialPort()
{
    closeHandle();
}

void Win32SerialPort::setSettings(const std::string& settings)
{
    settings_ = LineSettings::parse(settings);
}

bool Win32SerialPort::isOpen() const
{
    return handle_ != INVALID_HANDLE_VALUE;
}

DWORD Win32SerialPort::configure()
{
    if (!::SetupComm(handle_, kDriverQueue, kDriverQueue))
        return ::GetLastError();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb))
        return ::GetLastError();
    dcb.BaudRate = static_cast<DWORD>(settings_.baud);
    dcb.ByteSize = static_cast<BYTE>(settings_.dataBits);
    dcb.Parity = parityOf(settings_.parity);
    dcb.fParity = settings_.parity != Parity::None;
    dcb.StopBits = settings_.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    // The splicer's cable has no handshake lines; waiting on CTS or DSR would wait for ever.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    // A framing error from noise must not stop every later read until it is cleared.
    dcb.fAbortOnError = FALSE;
    // DTR and RTS on, as a Linux tty raises them at open: a 3-wire cable ignores them, and
    // a level converter that draws its power from them works the same on both systems.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(handle_, &dcb))
        return ::GetLastError();
    // Reads return at once with what the driver holds; poll() comes back for the rest.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, kWriteTimeoutMs};
    if (!::SetCommTimeouts(handle_, &timeouts))
        return ::GetLastError();
    // Bytes left from before we opened are no answer to anything we ask.
    if (!::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

void Win32SerialPort::open()
{
    close();
    const auto ports = listComPorts();
    shownName_ = choosePortToOpen(device_, identity_, ports);
    const auto path = comDevicePath(shownName_);
    handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD code = handle_ == INVALID_HANDLE_VALUE ? ::GetLastError() : configure();
    lastOpenFailed_ = code != ERROR_SUCCESS;
    if (lastOpenFailed_) {
        closeHandle();
        throw comPortError(ComStep::Open, code, shownName_, systemText(code), ports);
    }
    const auto opened = std::find_if(ports.begin(), ports.end(), [&](const auto& port) { return port.name == shownName_; });
    if (opened != ports.end()) {
        if (auto identity = parseDeviceId(opened->deviceId); !identity.empty())
            identity_ = std::move(identity);
    }
}

void Win32SerialPort::closeHandle()
{
    if (!isOpen())
        return;
    // A handle that will not close is gone for us either way; there is nothing to tell.
    static_cast<void>(::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)));
    input_.clear();
    output_.clear();
}

void Win32SerialPort::close()
{
    failure_.reset();
    closeHandle();
}

bool Win32SerialPort::fail(DWORD code)
{
    failure_ = comPortError(ComStep::Use, code, shownName_, systemText(code), {});
    closeHandle();
    return false;
}

void Win32SerialPort::purge(DWORD what)
{
    if (isOpen() && !::PurgeComm(handle_, what))
        fail(::GetLastError());
}

void Win32SerialPort::clearOutput()
{
    output_.clear();
    purge(PURGE_TXABORT | PURGE_TXCLEAR);
}

void Win32SerialPort::clearInput()
{
    input_.clear();
    purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

bool Win32SerialPort::sendQueued()
{
    if (output_.empty())
        return true;
    DWORD sent = 0;
    if (!calls_.writeFile(handle_, output_.data(), static_cast<DWORD>(output_.size()), &sent))
        return fail(::GetLastError());
    output_.erase(0, sent);
    return true;
}

void Win32SerialPort::write(std::string_view text)
{
    if (!isOpen() || text.empty())
        return;
    output_.append(text);
    sendQueued();
}

COMSTAT Win32SerialPort::driverQueues() const
{
    DWORD errors = 0;
    COMSTAT status{};
    // A failure is poll()'s to report and act on; a query only counts what it can see.
    if (!isOpen() || !calls_.clearCommError(handle_, &errors, &status))
        return {};
    return status;
}

int Win32SerialPort::pendingOutput() const
{
    return isOpen() ? static_cast<int>(output_.size() + driverQueues().cbOutQue) : 0;
}

int Win32SerialPort::pendingInput() const
{
    // The driver's bytes count too: the link test waits for exactly six, then two.
    return isOpen() ? static_cast<int>(input_.size() + driverQueues().cbInQue) : 0;
}

bool Win32SerialPort::takeFromDriver()
{
    DWORD errors = 0;
    COMSTAT status{};
    // This is what notices an unplug: under Wine ReadFile then still succeeds with nothing.
    // Line errors (noise) are cleared by the call; the protocol knows a bad frame.
    if (!calls_.clearCommError(handle_, &errors, &status))
        return fail(::GetLastError());
    if (status.cbInQue == 0)
        return true;
    std::uint8_t buffer[kDriverQueue];
    DWORD got = 0;
    if (!calls_.readFile(handle_, buffer, std::min<DWORD>(status.cbInQue, sizeof buffer), &got))
        return fail(::GetLastError());
    input_.insert(input_.end(), buffer, buffer + got);
    return true;
}

void Win32SerialPort::poll()
{
    if (isOpen() && sendQueued() && takeFromDriver())
        raiseReceiveWhileFrameWaiting();
}

std::vector<std::uint8_t> Win32SerialPort::takeInput()
{
    if (!isOpen() || !takeFromDriver())
        return {};
    return std::exchange(input_, {});
}

std::optional<PortError> Win32SerialPort::failure() const
{
    return failure_;
}

void Win32SerialPort::setDevice(const std::string& device)
{
    close();
    device_ = comPortName(device);
    shownName_.clear();
    identity_ = {};
    lastOpenFailed_ = false;
}

std::string Win32SerialPort::deviceName() const
{
    if (!shownName_.empty())
        return shownName_;
    return device_.empty() ? chooseDefaultPort(listComPorts()) : device_;
}

}  // namespace splicerec
