#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace splicerec {

// "ttyUSB0" means /dev/ttyUSB0; anything with a slash is already a path.
QString normalisePortName(const QString& name);

// Picks the port to offer first from the entries of /dev: the first USB serial
// adapter (ttyUSB*, then ttyACM*, lowest number first), else the first built-in port.
QString choosePortPath(const QStringList& devEntries);

// choosePortPath() over what /dev holds now.
QString defaultPortPath();

enum class OpenFailure { NotFound, PermissionDenied, InUse, Other };

// QSerialPort reports a held lock, EACCES and EBUSY all as PermissionError; whether we
// may read and write the node tells "not allowed" from "someone else has it".
OpenFailure classifyOpenFailure(QSerialPort::SerialPortError error, bool deviceExists,
                                bool accessDenied);

// The group owning the device node (usually dialout), empty when unknown.
QString deviceOwningGroup(const QString& path);

// The text shown when a port cannot be opened: the device, the reason in plain words
// and what the technician can do about it.
QString openFailureMessage(OpenFailure kind, const QString& device, const QString& systemReason,
                           const QString& owningGroup);

// The text shown when an open port fails (adapter unplugged, line dropped).
QString connectionLostMessage(const QString& device, const QString& reason);

}  // namespace splicerec
