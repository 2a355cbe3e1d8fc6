#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

#include "protocol/serial_port.h"
#include "serial/port_messages.h"

namespace splicerec {

// "ttyUSB0" means /dev/ttyUSB0; anything with a slash is already a path.
QString normalisePortName(const QString& name);

// Picks the port to offer first from the entries of /dev: the first USB serial
// adapter (ttyUSB*, then ttyACM*, lowest number first), else the first built-in port.
QString choosePortPath(const QStringList& devEntries);

// choosePortPath() over what /dev holds now.
QString defaultPortPath();

// QSerialPort reports a held lock, EACCES and EBUSY all as PermissionError; whether we
// may read and write the node tells "not allowed" from "someone else has it".
OpenFailure classifyOpenFailure(QSerialPort::SerialPortError error, bool deviceExists,
                                bool accessDenied);

// Who may open a device node, as its owner, group and mode tell; empty names when unknown.
struct DeviceAccess {
    QString owner, group;
    unsigned mode = 0;  // the permission bits
    bool ownedByUser = false;
};
DeviceAccess deviceAccess(const QString& path);

// Why a port cannot be opened: the device, the reason in plain words and what the
// technician can do about it, with the system's wording as the detail. `presentPorts`
// are offered instead of a device that is not there.
PortError openFailure(OpenFailure kind, const QString& device, const QString& systemReason,
                      const DeviceAccess& access, const QStringList& presentPorts);

// An open port that failed: the adapter was unplugged or stopped answering. The system's
// text after a hang-up is often a stale errno ("Invalid argument"), so it is only the detail.
PortError connectionLost(const QString& device, const QString& systemReason);

// What the system knows of one serial port; empty or absent where it does not know.
struct PortDescription {
    QString path;
    QString description;
    QString manufacturer;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
};

// The ports QSerialPortInfo finds now. Where it knows no USB identity (no udev database,
// as on a minimal system) the identity is read from sysfs.
std::vector<PortDescription> presentPorts();

// A /dev/serial/by-id link and the device node it leads to now.
struct ByIdLink {
    QString link;
    QString target;
};

// The links udev keeps in /dev/serial/by-id; none where it keeps none.
std::vector<ByIdLink> presentByIdLinks();

// What tells one adapter from another when its node name changes, as it does when it is
// plugged back in while a program still holds the old node. Empty for a built-in port.
struct AdapterIdentity {
    QString byIdLink;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;

    bool empty() const { return byIdLink.isEmpty() && serialNumber.isEmpty() && !vendorId; }
};

// The identity of the port at `path` (a canonical node path).
AdapterIdentity identityOf(const QString& path, const std::vector<PortDescription>& ports,
                           const std::vector<ByIdLink>& links);

// Where the adapter with `identity` is now: its by-id link's node; else the one port with
// its serial number (and its vendor:product, where known); else, for an adapter without a
// serial number, the only port with its vendor:product. Empty when it is absent or when
// two ports fit equally, since opening the wrong one would talk to another instrument.
QString findAdapter(const AdapterIdentity& identity, const std::vector<PortDescription>& ports,
                    const std::vector<ByIdLink>& links);

// The answer to --list-ports: one port a line, the one used without --port marked "(default)".
QString formatPortList(const std::vector<PortDescription>& ports, const QString& defaultPath);

}  // namespace splicerec
