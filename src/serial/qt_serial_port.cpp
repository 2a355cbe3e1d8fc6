#include "serial/qt_serial_port.h"

#include "serial/port_choice.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
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

void QtSerialPort::open()
{
    close();
    // The lock file is named after the path, so a symlink and its target must lead to
    // the same name or two programs could own the splicer at once.
    const auto canonical = QFileInfo(device_).canonicalFilePath();
    const auto path = canonical.isEmpty() ? device_ : canonical;
    port_.setPortName(path);
    applySettings();
    if (port_.open(QIODevice::ReadWrite))
        return;

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
    throw openFailure(kind, device_, reason, deviceAccess(path), present);
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
    if (port_.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()))
        return;
    // A byte that never leaves would be waited for until the deadline; say why now.
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

std::string QtSerialPort::deviceName() const
{
    return device_.toStdString();
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
    failure_ = connectionLost(device_, port_.errorString());
    port_.close();
}

}  // namespace splicerec
