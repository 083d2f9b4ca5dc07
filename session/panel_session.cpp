// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/panel_session.h"

#include "protocol/command_line.h"
#include "protocol/status_decoding.h"
#include "session/port_connection.h"
#include "session/precise_timer.h"

PanelSession::PanelSession(QObject *parent, const TimerFactory &makeTimer)
    : QObject(parent), makeTimer_(makeTimer ? makeTimer : makePreciseTimer),
      line_(new PortConnection(this, makeTimer_))
{
    line_->setObjectName(QStringLiteral("MSComm1"));
    line_->setSettings(port_settings::kInitial);
    repeat_ = makeTimer_(QStringLiteral("Timer1"), kInitialRepeatPeriodMs, this);
    replyWindow_ = makeTimer_(QStringLiteral("Timer2"), monitor_timing::kNormal.replyWindowMs, this);
    monitorClear_ = makeTimer_(QStringLiteral("Timer4"), monitor_timing::kNormal.clearDelayMs, this);
    connect(repeat_, &SessionTimer::tick, this, &PanelSession::repeatTick);
    connect(replyWindow_, &SessionTimer::tick, this, &PanelSession::closeReplyWindow);
    connect(monitorClear_, &SessionTimer::tick, this, &PanelSession::clearDelayEnded);
    connect(line_, &PortConnection::received, this, &PanelSession::receive);
    connect(line_, &PortConnection::lost, this, &PanelSession::portLost);
    connect(line_, &PortConnection::opened, this, &PanelSession::portOpened);
    connect(line_, &PortConnection::opened, this, [this] { closedSendReported_ = false; });
    connect(line_, &PortConnection::openFailed, this, &PanelSession::portOpenFailed);
}

PanelSession::~PanelSession() = default;

// ---- The port ----

SerialError PanelSession::open(int portNumber, const SerialSettings &settings)
{
    if (SerialError e = setPortNumber(portNumber))
        return e;
    line_->setSettings(settings);
    return openCurrentNumber();
}

SerialError PanelSession::open(const PortAddress &address, const SerialSettings &settings)
{
    closePort();
    if (address.kind == PortAddress::Kind::Numbered)
        return open(address.number, settings);
    openedByAddress_ = address;
    return line_->open(address, settings);
}

SerialError PanelSession::switchPort(int portNumber)
{
    closePort();
    if (SerialError error = setPortNumber(portNumber))
        return error;
    return openCurrentNumber();
}

SerialError PanelSession::openCurrentNumber()
{
    openedByAddress_.reset();
    SerialError problem;
    const std::optional<PortAddress> address = addressOf(portNumber_, &problem);
    if (!address)
        return problem;
    return line_->open(*address, line_->settings());
}

std::optional<PortAddress> PanelSession::addressOf(int portNumber, SerialError *problem) const
{
    if (const std::optional<PortAddress> &named = namedDevices_[std::size_t(portNumber)])
        return named;
    const PortAddressParse behind = resolvePortAddress(PortAddress::numbered(portNumber));
    if (!behind.address && problem)
        *problem = {EINVAL, tr("COM%1: %2").arg(portNumber).arg(behind.problem)};
    return behind.address;
}

SerialError PanelSession::setPortNumber(int portNumber)
{
    if (line_->state() != PortConnection::State::Closed)
        return {EBUSY, tr("Port already open")};
    if (portNumber < kLowestPortNumber || portNumber > kHighestPortNumber)
        return {EINVAL, tr("Invalid port number")};
    portNumber_ = portNumber;
    return {};
}

void PanelSession::setSettings(const SerialSettings &settings)
{
    line_->setSettings(settings);
}

void PanelSession::closePort()
{
    const bool wasOpen = line_->isOpen();
    line_->close();
    if (wasOpen)
        emit portClosed();
}

bool PanelSession::isPortOpen() const
{
    return line_->isOpen();
}

bool PanelSession::isPortOpening() const
{
    return line_->state() == PortConnection::State::Opening;
}

QString PanelSession::settings() const
{
    return formatSerialSettings(line_->settings());
}

QString PanelSession::deviceName() const
{
    if (openedByAddress_)
        return openedByAddress_->toString();
    const std::optional<PortAddress> address = addressOf(portNumber_, nullptr);
    return address ? address->toString() : portDeviceName(portNumber_, processEnvironment());
}

void PanelSession::setPortDevice(int portNumber, const PortAddress &device)
{
    if (portNumber >= kLowestPortNumber && portNumber <= kHighestPortNumber)
        namedDevices_[std::size_t(portNumber)] = device;
}

// ---- Sending ----

void PanelSession::sendLine(const QString &line)
{
    const SerialError e = line_->write(lineBytes(line));
    // A held button sends every few milliseconds: while the port stays
    // closed, its first refused send is news, the rest are not.
    const bool repeatOfClosedSpell = e && !line_->isOpen() && closedSendReported_;
    if (e && !repeatOfClosedSpell)
        emit error(tr("COM%1 (%2): %3; not sent: %4")
                       .arg(portNumber_)
                       .arg(deviceName(), e.description, line.trimmed()));
    if (e && !line_->isOpen())
        closedSendReported_ = true;
    emit lineSent(line, trafficRendering(line));
    replyWindow_->setEnabled(true);
    awaitingReply_ = true;
    monitorClear_->setEnabled(true);
}

void PanelSession::sendCode(const char *code)
{
    lastCommand_ = commandLine(QLatin1String(code));
    sendLine(lastCommand_);
}

void PanelSession::setMonitorTiming(const MonitorTiming &timing)
{
    replyWindow_->setInterval(timing.replyWindowMs);
    monitorClear_->setInterval(timing.clearDelayMs);
}

void PanelSession::send(const Command &command)
{
    if (command.timing == CommandTiming::Hold) {
        // The arrows choose their monitor timing before the send, the others
        // after it.
        if (!command.hold)
            if (const auto timing = arrowMonitorTiming(arrowMode_))
                setMonitorTiming(*timing);
        sendCode(command.code);
        if (command.hold)
            setMonitorTiming(command.hold->monitor);
        return;
    }
    // The intervals stay in force for later sends until someone assigns them.
    if (const auto timing = timingBeforeSend(command.timing))
        setMonitorTiming(*timing);
    sendCode(command.code);
    if (command.timing == CommandTiming::ArrowArming) {
        repeat_->setInterval(arrow_timing::kMenuRepeatMs);
        arrowMode_ = ArrowMode::Menu;
    }
}

void PanelSession::sendTyped(const QString &text)
{
    setMonitorTiming(monitor_timing::kShort);
    // Pasted text can hold a line break; one send puts one line on the wire.
    lastCommand_ = commandLine(firstLineOf(text));
    sendLine(lastCommand_);
}

void PanelSession::press(const Command &held)
{
    if (!held.hold)
        if (const auto timing = arrowMonitorTiming(arrowMode_))
            setMonitorTiming(*timing);
    held_ = &held;
    sendCode(held.code);
    if (held.hold) {
        repeat_->setInterval(held.hold->repeatPeriodMs);
        setMonitorTiming(held.hold->monitor);
    }
    repeat_->setEnabled(true);
}

void PanelSession::repeatTick()
{
    if (!held_)
        return;
    sendCode(held_->code);
    // It is still running: enabling it again must not restart the countdown,
    // or every tick's lateness and the send itself would stretch the period.
    if (!repeat_->enabled())
        repeat_->setEnabled(true);
}

void PanelSession::release(const Command &held)
{
    held_ = nullptr;
    repeat_->setEnabled(false);
    replyWindow_->setEnabled(false);
    monitorClear_->setEnabled(true);
    emit trafficCleared();
    // A release puts the monitor back to its normal timing.
    setMonitorTiming(monitor_timing::kNormal);
    receiveBuffer_.clear();
    if (held.releaseArmsFastArrows) {
        repeat_->setInterval(arrow_timing::kFastRepeatMs);
        arrowMode_ = ArrowMode::Fast;
    }
}

void PanelSession::stop()
{
    closePort();
    held_ = nullptr;
    for (SessionTimer *t : {repeat_, replyWindow_, monitorClear_})
        t->setEnabled(false);
}

// ---- The monitor's timeline and reception ----

void PanelSession::closeReplyWindow()
{
    if (awaitingReply_)
        emit noReply();
    replyWindow_->setEnabled(false);
    receiveBuffer_.clear();
    receivedRendering_.clear();
    awaitingReply_ = false;
    emit replyWindowClosed();
}

void PanelSession::clearDelayEnded()
{
    emit monitorCleared();
    monitorClear_->setEnabled(false);
}

void PanelSession::receive(const QByteArray &bytes)
{
    const QString arrived = QString::fromLatin1(bytes);
    // What does not fit is dropped until the buffer is next emptied, so a
    // streaming device cannot grow memory.
    const qsizetype room = kReceiveBufferLimit - receiveBuffer_.size();
    if (room > 0)
        receiveBuffer_ += QStringView(arrived).left(room);
    awaitingReply_ = false;
    emit received(receiveBuffer_);
    if (!isStatusQueryLine(lastCommand_))
        return;
    if (const auto words = decodeStatusRendering(lastCommand_, receivedRendering()))
        emit statusDecoded(*words);
}

// ---- State ----

MonitorTiming PanelSession::monitorTiming() const
{
    return {replyWindow_->interval(), monitorClear_->interval()};
}

bool PanelSession::isReplyWindowOpen() const
{
    return replyWindow_->enabled();
}

bool PanelSession::isClearPending() const
{
    return monitorClear_->enabled();
}

int PanelSession::repeatPeriodMs() const
{
    return repeat_->interval();
}

bool PanelSession::isRepeating() const
{
    return repeat_->enabled();
}
