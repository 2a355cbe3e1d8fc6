#include "serial/port_choice.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace splicerec {
namespace {

// Numbered devices sort by number, so ttyUSB2 comes before ttyUSB10.
bool numberedBefore(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

QString firstWithPrefix(const QStringList& entries, const QString& prefix)
{
    QStringList matching;
    for (const auto& entry : entries) {
        if (entry.size() > prefix.size() && entry.startsWith(prefix))
            matching.append(entry);
    }
    if (matching.isEmpty())
        return {};
    return *std::min_element(matching.begin(), matching.end(), numberedBefore);
}

// The USB device above a tty node, found by walking up from its sysfs device: the first
// directory holding idVendor.
void fillUsbIdentityFromSysfs(PortDescription& port)
{
    const auto name = QFileInfo(port.path).fileName();
    QString dir = QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(name)).canonicalFilePath();
    for (int depth = 0; depth < 8 && dir.startsWith(QLatin1String("/sys/devices/")); ++depth) {
        QFile vendor(dir + QStringLiteral("/idVendor"));
        if (vendor.open(QIODevice::ReadOnly)) {
            const auto read = [&dir](const char* attribute) {
                QFile file(dir + QLatin1Char('/') + QLatin1String(attribute));
                return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed() : QString();
            };
            bool ok = false;
            if (const auto id = QString::fromLatin1(vendor.readAll()).trimmed().toUShort(&ok, 16); ok)
                port.vendorId = id;
            if (const auto id = read("idProduct").toUShort(&ok, 16); ok)
                port.productId = id;
            if (port.serialNumber.isEmpty())
                port.serialNumber = read("serial");
            if (port.manufacturer.isEmpty())
                port.manufacturer = read("manufacturer");
            return;
        }
        dir = QFileInfo(dir).path();
    }
}

}  // namespace

QString normalisePortName(const QString& name)
{
    const auto trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('/')))
        return trimmed;
    return QStringLiteral("/dev/") + trimmed;
}

QString choosePortPath(const QStringList& devEntries)
{
    for (const auto* prefix : {"ttyUSB", "ttyACM"}) {
        const auto found = firstWithPrefix(devEntries, QString::fromLatin1(prefix));
        if (!found.isEmpty())
            return QStringLiteral("/dev/") + found;
    }
    return QStringLiteral("/dev/ttyS0");
}

QString defaultPortPath()
{
    const QDir dev(QStringLiteral("/dev"));
    return choosePortPath(dev.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                        QDir::AllEntries | QDir::System));
}

OpenFailure classifyOpenFailure(QSerialPort::SerialPortError error, bool deviceExists,
                                bool accessDenied)
{
    if (!deviceExists || error == QSerialPort::DeviceNotFoundError)
        return OpenFailure::NotFound;
    if (error == QSerialPort::PermissionError)
        return accessDenied ? OpenFailure::PermissionDenied : OpenFailure::InUse;
    if (error == QSerialPort::OpenError)
        return OpenFailure::InUse;
    return OpenFailure::Other;
}

DeviceAccess deviceAccess(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const passwd* owner = ::getpwuid(info.st_uid);
    const group* group = ::getgrgid(info.st_gid);
    return {owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid),
            group ? QString::fromLocal8Bit(group->gr_name) : QString::number(info.st_gid),
            static_cast<unsigned>(info.st_mode & 07777), info.st_uid == ::getuid()};
}

namespace {

QString permissionAdvice(const QString& device, const DeviceAccess& access)
{
    const auto mode = QStringLiteral("%1").arg(access.mode, 4, 8, QLatin1Char('0'));
    // A group is worth joining only if it may read and write, and root's group is no advice.
    if ((access.mode & 060) == 060 && !access.group.isEmpty() && access.group != QLatin1String("root"))
        return QStringLiteral("Your user must belong to the group \"%1\", which may use the device "
                              "(sudo usermod -aG %1 $USER); log out and in again after joining it.")
            .arg(access.group);
    if (access.ownedByUser)
        return QStringLiteral("The device is yours, but its mode %1 lets nobody read and write it: "
                              "chmod u+rw %2.")
            .arg(mode, device);
    if (access.owner.isEmpty())
        return QStringLiteral("Ask your administrator who may use the device.");
    return QStringLiteral("Only %1 may use it (mode %2) and no group may. Ask your administrator to let a group "
                          "use it, for example with a udev rule setting GROUP=\"dialout\", MODE=\"0660\", "
                          "then join that group.")
        .arg(access.owner, mode);
}

}  // namespace

PortError openFailure(OpenFailure kind, const QString& device, const QString& systemReason,
                      const DeviceAccess& access, const QStringList& presentPorts)
{
    std::vector<std::string> present;
    for (const auto& port : presentPorts)
        present.push_back(port.toStdString());
    return describeOpenFailure(kind, device.toStdString(), systemReason.toStdString(), present,
                               permissionAdvice(device, access).toStdString());
}

PortError connectionLost(const QString& device, const QString& systemReason)
{
    return describeLostConnection(device.toStdString(), systemReason.toStdString());
}

std::vector<PortDescription> presentPorts()
{
    std::vector<PortDescription> ports;
    for (const auto& info : QSerialPortInfo::availablePorts()) {
        PortDescription port{info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber(),
                             std::nullopt, std::nullopt};
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        if (!port.vendorId)
            fillUsbIdentityFromSysfs(port);
        ports.push_back(port);
    }
    return ports;
}

std::vector<ByIdLink> presentByIdLinks()
{
    std::vector<ByIdLink> links;
    QDirIterator it(QStringLiteral("/dev/serial/by-id"), QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const auto link = it.next();
        const auto target = QFileInfo(link).canonicalFilePath();
        if (!target.isEmpty())
            links.push_back({link, target});
    }
    return links;
}

AdapterIdentity identityOf(const QString& path, const std::vector<PortDescription>& ports,
                           const std::vector<ByIdLink>& links)
{
    AdapterIdentity identity;
    for (const auto& link : links) {
        if (link.target == path)
            identity.byIdLink = link.link;
    }
    for (const auto& port : ports) {
        if (port.path != path)
            continue;
        identity.serialNumber = port.serialNumber;
        identity.vendorId = port.vendorId;
        identity.productId = port.productId;
    }
    return identity;
}

QString findAdapter(const AdapterIdentity& identity, const std::vector<PortDescription>& ports,
                    const std::vector<ByIdLink>& links)
{
    if (!identity.byIdLink.isEmpty()) {
        for (const auto& link : links) {
            if (link.link == identity.byIdLink)
                return link.target;
        }
    }
    const auto sameModel = [&](const PortDescription& port) {
        return (!identity.vendorId || port.vendorId == identity.vendorId) &&
               (!identity.productId || port.productId == identity.productId);
    };
    QStringList fitting;
    for (const auto& port : ports) {
        const bool fits = identity.serialNumber.isEmpty()
                              ? identity.vendorId && sameModel(port) && port.serialNumber.isEmpty()
                              : port.serialNumber == identity.serialNumber && sameModel(port);
        if (fits)
            fitting << port.path;
    }
    return fitting.size() == 1 ? fitting.first() : QString();
}

QString formatPortList(const std::vector<PortDescription>& ports, const QString& defaultPath)
{
    if (ports.empty())
        return QStringLiteral("No serial ports found.\n");
    auto sorted = ports;
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return numberedBefore(a.path, b.path); });
    QString text;
    for (const auto& port : sorted) {
        QStringList details;
        for (const auto& field : {port.description, port.manufacturer})
            if (!field.isEmpty())
                details << field;
        if (!port.serialNumber.isEmpty())
            details << QStringLiteral("serial ") + port.serialNumber;
        if (port.vendorId && port.productId)
            details << QStringLiteral("USB %1:%2")
                           .arg(*port.vendorId, 4, 16, QLatin1Char('0'))
                           .arg(*port.productId, 4, 16, QLatin1Char('0'));
        text += port.path;
        if (!details.isEmpty())
            text += QStringLiteral("  ") + details.join(QStringLiteral(", "));
        if (port.path == defaultPath)
            text += QStringLiteral("  (default)");
        text += QLatin1Char('\n');
    }
    return text;
}

}  // namespace splicerec
