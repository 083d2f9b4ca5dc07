// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/port_connection.h"

#include "session/precise_timer.h"

#include <QFile>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

Q_LOGGING_CATEGORY(lcPort, "velno.port", QtWarningMsg)

namespace {

// The longest a server's own words are kept for an error message.
constexpr int kLongestServerWords = 160;

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

QSerialPort::StopBits toQtStopBits(StopBits bits)
{
    switch (bits) {
    case StopBits::Two: return QSerialPort::TwoStop;
    case StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case StopBits::One: break;
    }
    return QSerialPort::OneStop;
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
        return {ETIMEDOUT, QObject::tr("No answer within %1 s (%2)")
                               .arg(PortConnection::kConnectTimeoutMs / 1000)
                               .arg(name)};
    default: return {EIO, QStringLiteral("%1 (%2)").arg(qtWords, name)};
    }
}

// A server's words as they can be shown: printable text on one line.
QString printableWords(const QByteArray &bytes)
{
    QString words;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        words += u >= 0x20 && u != 0x7F ? QChar(u) : QLatin1Char(' ');
    }
    return words.simplified();
}

// Idle connections are probed, and unacknowledged data gives up, so a
// server that lost power or its network is a lost line within about 30 s
// instead of never.
void probeIdleConnection(QTcpSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const int fd = int(socket.socketDescriptor());
    const int idleSeconds = 10, intervalSeconds = 5, probes = 3;
    const unsigned userTimeoutMs = 25000;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
#endif
}

} // namespace

PortConnection::PortConnection(QObject *parent, const SessionTimerFactory &makeTimer) : QObject(parent)
{
    // Precise: a coarse deadline may end 5% early.
    const SessionTimerFactory make = makeTimer ? makeTimer : makePreciseTimer;
    connectDeadline_ = make(QStringLiteral("connectDeadline"), kConnectTimeoutMs, this);
    settleTimer_ = make(QStringLiteral("settleDelay"), kSettleMs, this);
    // Both are periodic: each ends with its first tick.
    connect(connectDeadline_, &SessionTimer::tick, this, [this] {
        connectDeadline_->setEnabled(false);
        failOpening(connectFailure(QAbstractSocket::SocketTimeoutError, {}, address_.toString()));
    });
    connect(settleTimer_, &SessionTimer::tick, this, [this] {
        settleTimer_->setEnabled(false);
        settled();
    });
    for (QIODevice *d : {static_cast<QIODevice *>(&port_), static_cast<QIODevice *>(&socket_)})
        connect(d, &QIODevice::readyRead, this, &PortConnection::readArrived);
    connect(&port_, &QSerialPort::errorOccurred, this, &PortConnection::serialFailed);
    connect(&socket_, &QAbstractSocket::connected, this, &PortConnection::socketConnected);
    connect(&socket_, &QAbstractSocket::errorOccurred, this, &PortConnection::socketFailed);
    connect(&socket_, &QAbstractSocket::disconnected, this, &PortConnection::socketClosed);
}

PortConnection::~PortConnection()
{
    close();
}

SerialError PortConnection::open(const PortAddress &address, const SerialSettings &settings)
{
    close();
    address_ = address;
    settings_ = settings;
    switch (address.kind) {
    case PortAddress::Kind::Device: return openSerial();
    case PortAddress::Kind::Socket: openSocket(); return {};
    case PortAddress::Kind::Numbered: break;
    }
    return {EINVAL, tr("%1 names no device here").arg(address.toString())};
}

void PortConnection::close()
{
    const State was = state_;
    state_ = State::Closed; // first, so the close's own signals are not a loss
    losing_ = false;
    stopOpening();
    if (was == State::Closed)
        return;
    if (port_.isOpen()) {
        port_.close();
        port_.clearError();
    }
    socket_.abort();
}

void PortConnection::stopOpening()
{
    connectDeadline_->setEnabled(false);
    settleTimer_->setEnabled(false);
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    candidates_.clear();
    serverWords_.clear();
}

// ---- A serial device ----

SerialError PortConnection::openSerial()
{
    const QString device = address_.device;
    if (const int refused = systemOpenError(device))
        return openFailure(refused, device);
    port_.setPortName(device);
    applySettings();
    if (!port_.open(QIODevice::ReadWrite)) {
        const SerialError failure = openFailure(numberForQtError(port_.error()), device);
        port_.clearError();
        return failure;
    }
    // Bytes left in the driver from before the open are not ours to show.
    port_.clear(QSerialPort::Input);
    port_.clearError();
    state_ = State::Open;
    emit opened();
    return {};
}

void PortConnection::setSettings(const SerialSettings &settings)
{
    settings_ = settings;
    if (state_ == State::Open && port_.isOpen())
        applySettings();
}

void PortConnection::applySettings()
{
    port_.setBaudRate(settings_.baud);
    port_.setParity(toParity(settings_.parity));
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits));
    port_.setStopBits(toQtStopBits(settings_.stopBits));
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // A pseudo-terminal refuses some line controls; that is not a failure
    // of the port, and the error state must not linger.
    port_.clearError();
}

void PortConnection::serialFailed(QSerialPort::SerialPortError error)
{
    // Open failures are reported by openSerial(); a pseudo-terminal's refused
    // ioctls are not failures. The device going away (adapter pulled, far end
    // hung up) shows as a resource or read error, repeated on every read
    // attempt until the port is closed.
    if (state_ == State::Open && port_.isOpen() &&
        (error == QSerialPort::ResourceError || error == QSerialPort::ReadError))
        lose(port_.errorString());
}

// ---- A device server ----

void PortConnection::openSocket()
{
    state_ = State::Opening;
    lastConnectError_ = connectFailure(QAbstractSocket::HostNotFoundError, {}, address_.toString());
    connectDeadline_->setEnabled(true);
    QHostAddress literal;
    if (literal.setAddress(address_.host)) {
        candidates_ = {literal};
        connectNext();
        return;
    }
    lookupId_ = QHostInfo::lookupHost(address_.host, this, &PortConnection::hostLookedUp);
}

void PortConnection::hostLookedUp(const QHostInfo &info)
{
    if (state_ != State::Opening || info.lookupId() != lookupId_)
        return; // an earlier open's answer
    lookupId_ = -1;
    candidates_ = info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>{};
    connectNext();
}

void PortConnection::connectNext()
{
    if (candidates_.isEmpty()) {
        failOpening(lastConnectError_);
        return;
    }
    socket_.abort();
    // An address, not a name: Qt connects without looking anything up.
    socket_.connectToHost(candidates_.takeFirst(), address_.port);
}

void PortConnection::socketConnected()
{
    if (state_ != State::Opening)
        return;
    connectDeadline_->setEnabled(false);
    // A click goes out at once, not when the stack has gathered more.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    probeIdleConnection(socket_);
    settleTimer_->setEnabled(true);
}

void PortConnection::settled()
{
    if (!serverWords_.isEmpty())
        qCDebug(lcPort) << address_.toString() << "said on connecting, discarded:" << serverWords_;
    stopOpening();
    state_ = State::Open;
    emit opened();
}

void PortConnection::socketFailed(QAbstractSocket::SocketError error)
{
    if (state_ == State::Open) {
        lose(socket_.errorString());
        return;
    }
    if (state_ != State::Opening)
        return;
    if (settleTimer_->enabled()) {
        socketClosed();
        return;
    }
    lastConnectError_ = connectFailure(error, socket_.errorString(), address_.toString());
    // The next address the name has, if any, within the same deadline.
    QTimer::singleShot(0, this, [this, opening = address_] {
        if (state_ == State::Opening && address_ == opening && !settleTimer_->enabled())
            connectNext();
    });
}

void PortConnection::socketClosed()
{
    if (state_ == State::Open) {
        lose(tr("The remote host closed the connection"));
        return;
    }
    if (state_ != State::Opening || !settleTimer_->enabled())
        return;
    // Connected, then dropped at once: a busy port, or a server that refuses
    // this client. What it said is the best explanation there is.
    serverWords_ += socket_.readAll().left(kLongestServerWords - serverWords_.size());
    const QString words = printableWords(serverWords_);
    QString why = tr("The device server closed the connection at once");
    if (!words.isEmpty())
        why += tr(", saying \"%1\"").arg(words);
    failOpening({ECONNRESET, QStringLiteral("%1 (%2)").arg(why, address_.toString())});
}

void PortConnection::failOpening(const SerialError &error)
{
    if (state_ != State::Opening)
        return;
    stopOpening();
    state_ = State::Closed;
    socket_.abort();
    emit openFailed(error);
}

// ---- Both ----

void PortConnection::readArrived()
{
    if (state_ == State::Opening && settleTimer_->enabled()) {
        const QByteArray words = socket_.readAll();
        serverWords_ += words.left(kLongestServerWords - serverWords_.size());
        return;
    }
    if (state_ != State::Open)
        return;
    QIODevice &device = port_.isOpen() ? static_cast<QIODevice &>(port_) : socket_;
    const QByteArray bytes = device.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

SerialError PortConnection::write(const QByteArray &bytes)
{
    if (state_ == State::Opening)
        return {EAGAIN, tr("%1 is still connecting").arg(address_.toString())};
    if (state_ != State::Open)
        return {EBADF, tr("the port is closed")};
    QIODevice &device = port_.isOpen() ? static_cast<QIODevice &>(port_) : socket_;
    if (device.write(bytes) < 0)
        return {EIO, tr("write to %1 failed: %2").arg(address_.toString(), device.errorString())};
    // Hand the bytes to the driver now rather than at the next turn of the
    // event loop; this does not wait for the transmission.
    if (port_.isOpen())
        port_.flush();
    else
        socket_.flush();
    return {};
}

void PortConnection::lose(const QString &description)
{
    if (losing_ || state_ != State::Open)
        return;
    losing_ = true;
    QTimer::singleShot(0, this, [this, description, lostAddress = address_] {
        if (!losing_ || state_ != State::Open || address_ != lostAddress)
            return;
        close();
        emit lost(description);
    });
}
