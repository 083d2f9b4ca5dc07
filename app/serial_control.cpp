#include "app/serial_control.h"

#include "app/port_naming.h"

#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

// The number that goes with an open failure: the operating system's, when it
// left one behind, otherwise the nearest one for Qt's classification.
int openErrorNumber(int savedErrno, QSerialPort::SerialPortError error)
{
    if (savedErrno != 0)
        return savedErrno;
    switch (error) {
    case QSerialPort::DeviceNotFoundError: return ENOENT;
    case QSerialPort::PermissionError: return EACCES;
    default: return EIO;
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

void warn(const QString &line)
{
    std::fprintf(stderr, "velno-control: %s\n", qPrintable(line));
    std::fflush(stderr);
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
    return portDeviceName(commPort_);
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
    port_.setPortName(deviceName());
    applySettings(settings_);
    errno = 0;
    if (!port_.open(QIODevice::ReadWrite)) {
        const int savedErrno = errno;
        const QSerialPort::SerialPortError error = port_.error();
        QString description = port_.errorString();
        if (description.isEmpty() || savedErrno != 0)
            description = QString::fromLocal8Bit(std::strerror(openErrorNumber(savedErrno, error)));
        const int number = openErrorNumber(savedErrno, error);
        if (number == EACCES)
            description += tr(" (%1: is this user in the dialout group?)").arg(deviceName());
        else
            description += QStringLiteral(" (%1)").arg(deviceName());
        port_.clearError();
        return {number, description};
    }
    // Bytes left in the driver from before the open are not ours to show.
    port_.clear(QSerialPort::Input);
    port_.clearError();
    return {};
}

void SerialControl::output(const QString &text)
{
    if (!port_.isOpen()) {
        warn(tr("port %1 is closed; not sent: %2").arg(commPort_).arg(text.trimmed()));
        return;
    }
    if (port_.write(toLineBytes(text)) < 0) {
        warn(tr("write to %1 failed: %2").arg(deviceName(), port_.errorString()));
        return;
    }
    // Hand the bytes to the driver now rather than at the next turn of the
    // event loop; this does not wait for the transmission.
    port_.flush();
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
        warn(tr("device %1 lost (%2); port closed").arg(deviceName(), description));
        emit deviceLost(description);
    });
}
