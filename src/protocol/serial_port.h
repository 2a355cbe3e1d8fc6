#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace splicerec {

// A port that cannot be opened, or failed while in use. The text names the device
// and says in plain words what happened and what to do; the system's own wording, if
// any, is the detail.
class PortError : public std::runtime_error {
public:
    explicit PortError(const std::string& message, std::string detail = {})
        : std::runtime_error(message), detail_(std::move(detail))
    {
    }
    const std::string& detail() const { return detail_; }

private:
    std::string detail_;
};

// The serial port as the protocol logic sees it. Every operation on a closed port is
// harmless: it changes nothing and returns 0, false or nothing.
class SerialPort {
public:
    static constexpr int kReceiveThreshold = 8;

    virtual ~SerialPort() = default;

    // Takes effect at the next open(). Throws std::invalid_argument on malformed text.
    virtual void setSettings(const std::string& settings) = 0;
    // True from a successful open() until close() or a failure of the device.
    virtual bool isOpen() const = 0;
    // Opens the device, forgetting any earlier failure(). Throws PortError when it cannot.
    virtual void open() = 0;
    // Closes the port if it is open, and forgets any failure(). Harmless when closed.
    virtual void close() = 0;
    // Discards bytes written and not yet sent.
    virtual void clearOutput() = 0;
    // Discards bytes received and not yet read.
    virtual void clearInput() = 0;
    // Queues all of `text` and returns at once. A device that takes less closes the
    // port, with failure() saying why.
    virtual void write(std::string_view text) = 0;
    // Bytes written and not yet sent.
    virtual int pendingOutput() const = 0;
    // Bytes received and not yet read.
    virtual int pendingInput() const = 0;
    // Why the port closed itself (device gone, read or write failure); none while it
    // is open and after close().
    virtual std::optional<PortError> failure() const = 0;
    // The device as the technician knows it, for messages.
    virtual std::string deviceName() const = 0;

    // Every waiting byte, first received first; they leave the input buffer.
    std::vector<std::uint8_t> readInput()
    {
        ++reads_;
        return takeInput();
    }

    // The receive notification: raised while a whole frame (8 bytes or more) waits.
    void setReceiveHandler(std::function<void()> handler) { receiveHandler_ = std::move(handler); }

protected:
    // What readInput() returns; empty on a closed port.
    virtual std::vector<std::uint8_t> takeInput() = 0;

    // Implementations call this whenever input may have grown. The notification is
    // repeated while the handler keeps consuming frames, because a platform signal is
    // not raised again for bytes that were already buffered; it never nests.
    void raiseReceiveWhileFrameWaiting()
    {
        if (inReceiveHandler_ || !receiveHandler_)
            return;
        struct Guard {
            bool& flag;
            ~Guard() { flag = false; }
        } guard{inReceiveHandler_ = true};
        while (isOpen() && pendingInput() >= kReceiveThreshold) {
            const auto readsBefore = reads_;
            receiveHandler_();
            if (reads_ == readsBefore)
                break;  // a handler that does not read would be called for ever
        }
    }

private:
    std::function<void()> receiveHandler_;
    bool inReceiveHandler_ = false;
    unsigned long long reads_ = 0;
};

}  // namespace splicerec
