#pragma once

#include "protocol/serial_port.h"
#include "serial/line_settings.h"
#include "serial/pickable_port.h"
#include "serial/windows_ports.h"

#include <windows.h>

#include <functional>

namespace splicerec {

// The calls whose failure means the device is gone. A test replaces them to fail as
// Windows does when an adapter is pulled, which Wine cannot show.
struct CommCalls {
    std::function<BOOL(HANDLE, void*, DWORD, DWORD*)> readFile;
    std::function<BOOL(HANDLE, const void*, DWORD, DWORD*)> writeFile;
    std::function<BOOL(HANDLE, DWORD*, COMSTAT*)> clearCommError;

    static CommCalls system();
};

// A COM port through the Win32 calls, read without blocking from poll(): the window
// calls it at every pump and from a timer while the port is open. Overlapped
// WaitCommEvent is not used: under Wine it completes every few milliseconds with no data.
// Any failure while open closes the port at once, so a vanished adapter costs nothing.
class Win32SerialPort final : public SerialPort, public PickablePort {
public:
    // `device` as the technician typed it ("COM3", "com10", "\\.\COM10"); empty for the
    // first USB adapter (else COM1), chosen afresh at each open().
    explicit Win32SerialPort(std::string device, CommCalls calls = CommCalls::system());
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    void setSettings(const std::string& settings) override;
    bool isOpen() const override;
    void open() override;
    void close() override;
    void clearOutput() override;
    void clearInput() override;
    void write(std::string_view text) override;
    int pendingOutput() const override;
    int pendingInput() const override;
    std::optional<PortError> failure() const override;
    std::string deviceName() const override;

    void setDevice(const std::string& device) override;
    bool lastOpenFailed() const override { return lastOpenFailed_; }

    // Sends what is queued, takes in what the device received and raises the receive
    // notification. Harmless on a closed port.
    void poll();

protected:
    std::vector<std::uint8_t> takeInput() override;

private:
    DWORD configure();
    bool takeFromDriver();
    bool sendQueued();
    bool fail(DWORD code);
    void purge(DWORD what);
    void closeHandle();
    COMSTAT driverQueues() const;

    std::string device_;      // as comPortName() has it; empty for the default port
    std::string shownName_;   // the port open() chose, for the messages
    UsbIdentity identity_;    // of the adapter last opened; kept while it is unplugged
    LineSettings settings_;
    CommCalls calls_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::vector<std::uint8_t> input_;  // taken from the driver, not yet read
    std::string output_;               // not yet taken by the driver
    std::optional<PortError> failure_;
    bool lastOpenFailed_ = false;
};

}  // namespace splicerec
