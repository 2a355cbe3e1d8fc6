#include "serial/serial_port.h"

namespace splicerec {

std::vector<std::uint8_t> SerialPort::readInput()
{
    ++reads_;
    return takeInput();
}

void SerialPort::raiseReceiveWhileFrameWaiting()
{
    if (inReceiveHandler_ || !receiveHandler_)
        return;
    inReceiveHandler_ = true;
    try {
        while (isOpen() && pendingInput() >= kReceiveThreshold) {
            const auto readsBefore = reads_;
            receiveHandler_();
            if (reads_ == readsBefore)
                break;  // a handler that does not read would be called for ever
        }
    } catch (...) {
        inReceiveHandler_ = false;
        throw;
    }
    inReceiveHandler_ = false;
}

}  // namespace splicerec
