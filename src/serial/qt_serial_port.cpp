#include "serial/qt_serial_port.h"

#include "serial/port_choice.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace splicerec {
namespace {

QSerialPort::Parity toQt(Parity parity)
{
    switch (parity) {
    case Parity::None: return QSerialPort::NoParity;
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

bool accessDenied(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES;
}

// With a 16 ms latency timer an FTDI chip holds a reply's last bytes for up to 16 ms,
// against 37.5 ms a record on the wire; ftdi_sio drops it to 1 ms for a low-latency port.
// A pty or a driver without the flag refuses, and that is fine.
void requestLowLatency(int fd)
{
    serial_struct info{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY))
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &info);
}

}  // namespace

QtSerialPort::QtSerialPort(QString device, QObject* parent)
    : QObject(parent),
      device_(normalisePortName(device)),
      settings_(LineSettings::parse("2400,n,8,1")),
      port_(this)
{
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort()
{
    port_.disconnect(this);
    port_.close();
}

void QtSerialPort::setSettings(const std::string& settings)
{
    settings_ = LineSettings::parse(settings);
}

bool QtSerialPort::isOpen() const
{
    return port_.isOpen();
}

void QtSerialPort::applySettings()
{
    port_.setBaudRate(settings_.baud);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits));
    port_.setParity(toQt(settings_.parity));
    port_.setStopBits(settings_.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

QString QtSerialPort::resolvePath(bool& movedAdapter) const
{
    movedAdapter = false;
    if (!identity_.empty()) {
        const auto found = findAdapter(identity_, presentPorts(), presentByIdLinks());
        if (!found.isEmpty()) {
            movedAdapter = found != QFileInfo(device_).canonicalFilePath();
            return found;
        }
    }
    if (device_.isEmpty())
        return defaultPortPath();
    // The lock file is named after the path, so a symlink and its target must lead to
    // the same name or two programs could own the splicer at once.
    const auto canonical = QFileInfo(device_).canonicalFilePath();
    return canonical.isEmpty() ? device_ : canonical;
}

void QtSerialPort::open()
{
    close();
    bool movedAdapter = false;
    const auto path = resolvePath(movedAdapter);
    shownName_ = device_.isEmpty() || movedAdapter ? path : device_;
    port_.setPortName(path);
    applySettings();
    lastOpenFailed_ = !port_.open(QIODevice::ReadWrite);
    if (!lastOpenFailed_) {
        if (auto identity = identityOf(path, presentPorts(), presentByIdLinks()); !identity.empty())
            identity_ = std::move(identity);
        requestLowLatency(static_cast<int>(port_.handle()));
        return;
    }

    const auto error = port_.error();
    const auto reason = port_.errorString();
    const bool exists = QFileInfo::exists(path);
    const auto kind = classifyOpenFailure(error, exists, exists && accessDenied(path));
    port_.clearError();
    QStringList present;
    if (kind == OpenFailure::NotFound) {
        for (const auto& port : presentPorts())
            present << port.path;
    }
    throw openFailure(kind, shownName_, reason, deviceAccess(path), present);
}

void QtSerialPort::close()
{
    failure_.reset();
    if (port_.isOpen())
        port_.close();
}

void QtSerialPort::clearOutput()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
}

void QtSerialPort::clearInput()
{
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    // What QSerialPort already pulled into its own buffer must go too; 6.4 drops it in
    // clear(), this keeps that true should it ever change.
    if (port_.isOpen() && port_.bytesAvailable() > 0)
        port_.readAll();
}

void QtSerialPort::write(std::string_view text)
{
    if (!port_.isOpen() || text.empty())
        return;
    // QSerialPort::write() only queues, and repaints would run before the byte left while
    // the instrument waits for it: send what the driver takes now, queue the rest behind
    // it. Not flush(): it takes a full driver buffer (EAGAIN) for a failure and closes.
    std::size_t sent = 0;
    if (port_.bytesToWrite() == 0) {
        const auto count = ::write(static_cast<int>(port_.handle()), text.data(), text.size());
        if (count > 0)
            sent = static_cast<std::size_t>(count);
    }
    const auto rest = static_cast<qint64>(text.size() - sent);
    // A byte that never leaves would be waited for until the deadline; say why now.
    if (rest > 0 && port_.write(text.data() + sent, rest) != rest)
        fail();
}

int QtSerialPort::pendingOutput() const
{
    return port_.isOpen() ? static_cast<int>(port_.bytesToWrite()) : 0;
}

int QtSerialPort::pendingInput() const
{
    return port_.isOpen() ? static_cast<int>(port_.bytesAvailable()) : 0;
}

std::vector<std::uint8_t> QtSerialPort::takeInput()
{
    if (!port_.isOpen())
        return {};
    const auto bytes = port_.readAll();
    return {bytes.begin(), bytes.end()};
}

std::optional<PortError> QtSerialPort::failure() const
{
    return failure_;
}

void QtSerialPort::setDevice(const std::string& device)
{
    close();
    device_ = normalisePortName(QString::fromStdString(device));
    shownName_.clear();
    identity_ = {};
    lastOpenFailed_ = false;
}

std::string QtSerialPort::deviceName() const
{
    if (!shownName_.isEmpty())
        return shownName_.toStdString();
    return (device_.isEmpty() ? defaultPortPath() : device_).toStdString();
}

void QtSerialPort::onReadyRead()
{
    raiseReceiveWhileFrameWaiting();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    // Errors of a failed open() become its PortError; only a port in use can fail here.
    if (error == QSerialPort::NoError || !port_.isOpen() || failure_)
        return;
    // At once: left open, a vanished device repeats this error on every pump.
    fail();
}

void QtSerialPort::fail()
{
    failure_ = connectionLost(QString::fromStdString(deviceName()), port_.errorString());
    port_.close();
}

}  // namespace splicerec
