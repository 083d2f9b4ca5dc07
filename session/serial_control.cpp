#include "session/serial_control.h"

#include "session/port_naming.h"

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
    connect(&port_, &QSerialPort::readyRead, this, &SerialControl::handleReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::handleError);
}

SerialControl::~SerialControl()
{
    if (port_.isOpen())
        port_.close();
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
    if (port_.isOpen())
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
    if (port_.isOpen())
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
    if (open == port_.isOpen())
        return {};
    if (!open) {
        port_.close();
        port_.clearError();
        return {};
    }
    return openPort();
}

SerialError SerialControl::openPort()
{
    closingAfterLoss_ = false;
    const QString device = deviceName();
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
    return {};
}

SerialError SerialControl::output(const QString &text)
{
    if (!port_.isOpen())
        return {EBADF, tr("port %1 is closed; not sent: %2").arg(commPort_).arg(text.trimmed())};
    if (port_.write(toLineBytes(text)) < 0)
        return {EIO, tr("write to %1 failed: %2").arg(deviceName(), port_.errorString())};
    // Hand the bytes to the driver now rather than at the next turn of the
    // event loop; this does not wait for the transmission.
    port_.flush();
    return {};
}

QString SerialControl::input()
{
    if (!port_.isOpen())
        return {};
    return QString::fromLatin1(port_.readAll());
}

void SerialControl::handleReadyRead()
{
    commEvent_ = kCommEventReceive;
    emit onComm();
}

void SerialControl::handleError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) {
        // Open failures are reported by openPort(); a pseudo-terminal's
        // refused ioctls are not failures. Nothing else needs the state.
        return;
    }
    // The device went away (adapter pulled, far end hung up). Qt reports it
    // as a resource or read error, repeated on every read attempt until the
    // port is closed; close once, outside Qt's own handler.
    if (closingAfterLoss_ || !port_.isOpen())
        return;
    closingAfterLoss_ = true;
    const QString description = port_.errorString();
    QTimer::singleShot(0, this, [this, description] {
        if (!closingAfterLoss_ || !port_.isOpen())
            return;
        port_.close();
        port_.clearError();
        emit deviceLost(description);
    });
}
