#include "session/serial_control.h"

#include "session/port_naming.h"
#include "session/socket_address.h"

#include <QFile>
#include <QTimer>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int kInvalidArgument = EINVAL;
constexpr int kBusy = EBUSY;
// A device server that has not answered by then is taken as unreachable.
constexpr int kConnectTimeoutMs = 3000;

QSerialPort::Parity toParity(char letter)
{
    switch (letter) {
    case 'E': return QSerialPort::EvenParity;
    case 'O': return QSerialPort::OddParity;
    case 'M': return QSerialPort::MarkParity;
    case 'S': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toStopBits(int stopBits)
{
    switch (stopBits) {
    case 2: return QSerialPort::TwoStop;
    case 15: return QSerialPort::OneAndHalfStop;
    default: return QSerialPort::OneStop;
    }
}

// The system's own answer on whether the device is there and ours to use,
// asked before Qt opens it: errno is not reliable after Qt's open, whose
// lock-file handling makes further calls that overwrite it. Asking does not
// open the line, so no modem signal changes. 0 when nothing stands in the way.
int systemOpenError(const QString &device)
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), F_OK) != 0 || ::access(path.constData(), R_OK | W_OK) != 0)
        return errno;
#else
    Q_UNUSED(device);
#endif
    return 0;
}

// Qt's own reason, where the system had none: a port held by another
// program fails on its lock file, which Qt reports as a permission error.
int numberForQtError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError: return ENOENT;
    case QSerialPort::PermissionError: return EBUSY;
    default: return EIO;
    }
}

// What went wrong when opening, as a number and words an operator can act on.
SerialError openFailure(int number, const QString &device)
{
    QString description = QString::fromLocal8Bit(std::strerror(number));
    if (number == EBUSY)
        description += QObject::tr(" (%1 is in use by another program)").arg(device);
    else if (number == EACCES)
        description += QObject::tr(" (%1: is this user in the dialout group?)").arg(device);
    else
        description += QStringLiteral(" (%1)").arg(device);
    return {number, description};
}

// Why a connection to a device server could not be made, in the same terms
// as a device that cannot be opened.
SerialError connectFailure(QAbstractSocket::SocketError error, const QString &qtWords, const QString &name)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return {ECONNREFUSED, QObject::tr("Connection refused (%1)").arg(name)};
    case QAbstractSocket::HostNotFoundError:
        return {EHOSTUNREACH, QObject::tr("Host not found (%1)").arg(name)};
    case QAbstractSocket::SocketTimeoutError:
        return {ETIMEDOUT, QObject::tr("No answer within %1 s (%2)").arg(kConnectTimeoutMs / 1000).arg(name)};
    default: return {EIO, QStringLiteral("%1 (%2)").arg(qtWords, name)};
    }
}

// One byte per character; a character one byte cannot hold goes out as one
// "?" (counting characters, so a surrogate pair is one character too).
QByteArray toLineBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (char32_t c : text.toUcs4())
        bytes.append(c <= 0xFF ? char(c) : '?');
    return bytes;
}

} // namespace

SerialControl::SerialControl(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("MSComm1"));
    settings_ = *parseSerialSettings(settingsText_);
    for (QIODevice *d : {static_cast<QIODevice *>(&port_), static_cast<QIODevice *>(&socket_)})
        connect(d, &QIODevice::readyRead, this, &SerialControl::handleReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::handleSerialError);
    connect(&socket_, &QAbstractSocket::errorOccurred, this, [this] {
        if (device_ == &socket_)
            lose(socket_.errorString());
    });
    connect(&socket_, &QAbstractSocket::disconnected, this, [this] {
        if (device_ == &socket_)
            lose(tr("The remote host closed the connection"));
    });
}

SerialControl::~SerialControl()
{
    closeDevice();
}

QString SerialControl::deviceName() const
{
    const QString named = namedDevices_.value(commPort_);
    return named.isEmpty() ? portDeviceName(commPort_) : named;
}

void SerialControl::setDeviceName(int portNumber, const QString &device)
{
    namedDevices_.insert(portNumber, device);
}

SerialError SerialControl::setCommPort(int number)
{
    if (portOpen())
        return {kBusy, tr("Port already open")};
    if (number < kLowestPortNumber || number > kHighestPortNumber)
        return {kInvalidArgument, tr("Invalid port number")};
    commPort_ = number;
    return {};
}

SerialError SerialControl::setSettings(const QString &text)
{
    const auto parsed = parseSerialSettings(text);
    if (!parsed)
        return {kInvalidArgument, tr("Invalid settings: %1").arg(text)};
    settingsText_ = text;
    settings_ = *parsed;
    // A raw socket has no line settings: they are kept for the next serial
    // port.
    if (device_ == &port_)
        applySettings(settings_);
    return {};
}

void SerialControl::applySettings(const SerialSettings &s)
{
    port_.setBaudRate(s.baud);
    port_.setParity(toParity(s.parity));
    port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    port_.setStopBits(toStopBits(s.stopBits));
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // A pseudo-terminal refuses some line controls; that is not a failure
    // of the port, and the error state must not linger.
    port_.clearError();
}

SerialError SerialControl::setPortOpen(bool open)
{
    if (open == portOpen())
        return {};
    if (!open) {
        closeDevice();
        return {};
    }
    return openPort();
}

void SerialControl::closeDevice()
{
    QIODevice *closing = device_;
    device_ = nullptr; // first, so the close's own signals are not a loss
    closingAfterLoss_ = false;
    if (closing == &port_) {
        port_.close();
        port_.clearError();
    } else if (closing == &socket_) {
        socket_.abort();
    }
}

SerialError SerialControl::openPort()
{
    closingAfterLoss_ = false;
    const QString device = deviceName();
    return isSocketPortName(device) ? openSocket(device) : openSerial(device);
}

SerialError SerialControl::openSerial(const QString &device)
{
    if (const int refused = systemOpenError(device))
        return openFailure(refused, device);
    port_.setPortName(device);
    applySettings(settings_);
    if (!port_.open(QIODevice::ReadWrite)) {
        const SerialError failure = openFailure(numberForQtError(port_.error()), device);
        port_.clearError();
        return failure;
    }
    // Bytes left in the driver from before the open are not ours to show.
    port_.clear(QSerialPort::Input);
    port_.clearError();
    device_ = &port_;
    return {};
}

SerialError SerialControl::openSocket(const QString &name)
{
    const std::optional<SocketAddress> address = parseSocketAddress(name);
    if (!address)
        return {kInvalidArgument, tr("Invalid port name %1 (expected socket://HOST:PORT)").arg(name)};
    socket_.abort();
    socket_.connectToHost(address->host, address->port);
    if (!socket_.waitForConnected(kConnectTimeoutMs)) {
        const SerialError failure = connectFailure(socket_.error(), socket_.errorString(), name);
        socket_.abort();
        return failure;
    }
    // A click goes out at once, not when the stack has gathered more.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    device_ = &socket_;
    return {};
}

SerialError SerialControl::output(const QString &text)
{
    if (!device_)
        return {EBADF, tr("port %1 is closed; not sent: %2").arg(commPort_).arg(text.trimmed())};
    if (device_->write(toLineBytes(text)) < 0)
        return {EIO, tr("write to %1 failed: %2").arg(deviceName(), device_->errorString())};
    // Hand the bytes to the driver now rather than at the next turn of the
    // event loop; this does not wait for the transmission.
    if (device_ == &port_)
        port_.flush();
    else
        socket_.flush();
    return {};
}

QString SerialControl::input()
{
    if (!device_)
        return {};
    return QString::fromLatin1(device_->readAll());
}

void SerialControl::handleReadyRead()
{
    if (!device_)
        return;
    commEvent_ = kCommEventReceive;
    emit onComm();
}

void SerialControl::handleSerialError(QSerialPort::SerialPortError error)
{
    // Open failures are reported by openSerial(); a pseudo-terminal's refused
    // ioctls are not failures. The device going away (adapter pulled, far end
    // hung up) shows as a resource or read error, repeated on every read
    // attempt until the port is closed.
    if (device_ == &port_ && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError))
        lose(port_.errorString());
}

void SerialControl::lose(const QString &description)
{
    if (closingAfterLoss_ || !device_)
        return;
    closingAfterLoss_ = true;
    QIODevice *lost = device_;
    QTimer::singleShot(0, this, [this, lost, description] {
        if (!closingAfterLoss_ || device_ != lost)
            return;
        closeDevice();
        emit deviceLost(description);
    });
}
