#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace splicerec {

// A port that cannot be opened, or failed while in use. The text names the device
// and the system's reason, ready to be shown to the technician.
class PortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The serial port as the protocol logic sees it.
class SerialPort {
public:
    static constexpr int kReceiveThreshold = 8;

    virtual ~SerialPort() = default;

    virtual void setSettings(const std::string& settings) = 0;  // throws std::invalid_argument
    virtual bool isOpen() const = 0;
    virtual void open() = 0;  // throws PortError
    // Closes the port if it is open, and forgets any failure() it had.
    virtual void close() = 0;
    virtual void clearOutput() = 0;
    virtual void clearInput() = 0;
    virtual void write(std::string_view text) = 0;
    virtual int pendingOutput() const = 0;
    virtual int pendingInput() const = 0;

    // The waiting bytes, first received first; they leave the input buffer.
    std::vector<std::uint8_t> readInput();

    // Why the port closed itself (device gone, read or write failure); empty when it
    // was closed on purpose or is open.
    virtual std::string failure() const = 0;

    // The device as the technician knows it, for messages.
    virtual std::string deviceName() const = 0;

    // The receive notification: raised while a whole frame (8 bytes or more) waits.
    void setReceiveHandler(std::function<void()> handler) { receiveHandler_ = std::move(handler); }

protected:
    virtual std::vector<std::uint8_t> takeInput() = 0;

    // Implementations call this whenever input may have grown. The notification is
    // repeated while the handler keeps consuming frames, because a platform signal is
    // not raised again for bytes that were already buffered; it never nests.
    void raiseReceiveWhileFrameWaiting();

private:
    std::function<void()> receiveHandler_;
    bool inReceiveHandler_ = false;
    unsigned long long reads_ = 0;
};

}  // namespace splicerec
