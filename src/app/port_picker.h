#pragma once

#include <QSettings>
#include <QString>
#include <functional>
#include <vector>

#include "serial/qt_serial_port.h"
#include "window/form1.h"

namespace splicerec {

// The port a link test uses, and whether the technician must pick it first. `given` is
// --port or the pick made since the start, `remembered` the pick of an earlier start.
struct PortDecision {
    QString device;  // empty: the first adapter found at the open
    bool ask = false;
};
PortDecision decidePort(const QString& given, const QString& remembered, bool lastOpenFailed,
                        const std::vector<PortOffer>& present);

// The serial ports present now, with their by-id links.
std::vector<PortOffer> portsPresent();

// Chooses the port before each Com Test: --port wins; else the only adapter present, a
// pick remembered from an earlier start, or a pick in a dialog when several adapters are
// present or the port could not be opened. A pick is remembered for the next start.
class PortPicker {
public:
    using Lister = std::function<std::vector<PortOffer>()>;

    PortPicker(QtSerialPort& port, Form1& window, QSettings& memory, QString given, Lister list = portsPresent);

    // False when the technician cancelled the dialog: no link test then.
    bool beforeLinkTest();

private:
    QtSerialPort& port_;
    Form1& window_;
    QSettings& memory_;
    QString given_;
    QString inUse_;
    Lister list_;
};

}  // namespace splicerec
