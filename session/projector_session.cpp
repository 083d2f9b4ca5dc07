#include "session/projector_session.h"

#include "protocol/command_line.h"
#include "protocol/status_decoding.h"
#include "session/precise_timer.h"
#include "session/serial_control.h"

namespace {

SessionTimer *makePreciseTimer(const QString &name, int intervalMs, QObject *parent)
{
    return new PreciseTimer(name, intervalMs, parent);
}

} // namespace

ProjectorSession::ProjectorSession(QObject *parent, const TimerFactory &makeTimer)
    : QObject(parent), serial_(new SerialControl(this))
{
    const TimerFactory make = makeTimer ? makeTimer : makePreciseTimer;
    repeat_ = make(QStringLiteral("Timer1"), kInitialRepeatPeriodMs, this);
    replyWindow_ = make(QStringLiteral("Timer2"), monitor_timing::kNormal.replyWindowMs, this);
    monitorClear_ = make(QStringLiteral("Timer4"), monitor_timing::kNormal.clearDelayMs, this);
    connect(repeat_, &SessionTimer::tick, this, &ProjectorSession::repeatTick);
    connect(replyWindow_, &SessionTimer::tick, this, &ProjectorSession::closeReplyWindow);
    connect(monitorClear_, &SessionTimer::tick, this, &ProjectorSession::clearDelayEnded);
    connect(serial_, &SerialControl::onComm, this, &ProjectorSession::receive);
    connect(serial_, &SerialControl::deviceLost, this, &ProjectorSession::portLost);
}

ProjectorSession::~ProjectorSession() = default;

// ---- The port ----

SerialError ProjectorSession::open(int portNumber, const QString &settings)
{
    if (SerialError e = serial_->setCommPort(portNumber))
        return e;
    if (SerialError e = serial_->setSettings(settings))
        return e;
    if (SerialError e = serial_->setPortOpen(true))
        return e;
    emit portOpened();
    return {};
}

SerialError ProjectorSession::openNamed(const QString &port, const QString &settings)
{
    if (port.compare(QLatin1String("COM2"), Qt::CaseInsensitive) == 0)
        return open(2, settings);
    if (port.compare(QLatin1String("COM1"), Qt::CaseInsensitive) != 0)
        setPortDevice(1, port);
    return open(1, settings);
}

SerialError ProjectorSession::switchPort(int portNumber)
{
    closePort();
    if (SerialError error = serial_->setCommPort(portNumber))
        return error;
    if (SerialError error = serial_->setPortOpen(true))
        return error;
    emit portOpened();
    return {};
}

SerialError ProjectorSession::setPortNumber(int portNumber)
{
    return serial_->setCommPort(portNumber);
}

SerialError ProjectorSession::setSettings(const QString &settings)
{
    return serial_->setSettings(settings);
}

void ProjectorSession::closePort()
{
    if (!serial_->portOpen())
        return;
    serial_->setPortOpen(false);
    emit portClosed();
}

bool ProjectorSession::isPortOpen() const
{
    return serial_->portOpen();
}

int ProjectorSession::portNumber() const
{
    return serial_->commPort();
}

QString ProjectorSession::settings() const
{
    return serial_->settings();
}

QString ProjectorSession::deviceName() const
{
    return serial_->deviceName();
}

void ProjectorSession::setPortDevice(int portNumber, const QString &device)
{
    serial_->setDeviceName(portNumber, device);
}

// ---- Sending ----

void ProjectorSession::sendLine(const QString &line)
{
    if (const SerialError e = serial_->output(line))
        emit error(e.description);
    emit lineSent(line, trafficRendering(line));
    replyWindow_->setEnabled(true);
    awaitingReply_ = true;
    monitorClear_->setEnabled(true);
}

void ProjectorSession::sendCode(const char *code)
{
    lastCommand_ = commandLine(QLatin1String(code));
    sendLine(lastCommand_);
}

void ProjectorSession::setMonitorTiming(const MonitorTiming &timing)
{
    replyWindow_->setInterval(timing.replyWindowMs);
    monitorClear_->setInterval(timing.clearDelayMs);
}

void ProjectorSession::send(const Command &command)
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

void ProjectorSession::sendTyped(const QString &text)
{
    setMonitorTiming(monitor_timing::kShort);
    // Pasted text can hold a line break; one send puts one line on the wire.
    lastCommand_ = commandLine(firstLineOf(text));
    sendLine(lastCommand_);
}

void ProjectorSession::press(const Command &held)
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

void ProjectorSession::repeatTick()
{
    if (!held_)
        return;
    sendCode(held_->code);
    // It is still running: enabling it again must not restart the countdown,
    // or every tick's lateness and the send itself would stretch the period.
    if (!repeat_->enabled())
        repeat_->setEnabled(true);
}

void ProjectorSession::release(const Command &held)
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

void ProjectorSession::stop()
{
    closePort();
    held_ = nullptr;
    for (SessionTimer *t : {repeat_, replyWindow_, monitorClear_})
        t->setEnabled(false);
}

// ---- The monitor's timeline and reception ----

void ProjectorSession::closeReplyWindow()
{
    if (awaitingReply_)
        emit noReply();
    replyWindow_->setEnabled(false);
    receiveBuffer_.clear();
    receivedRendering_.clear();
    awaitingReply_ = false;
    emit replyWindowClosed();
}

void ProjectorSession::clearDelayEnded()
{
    emit monitorCleared();
    monitorClear_->setEnabled(false);
}

void ProjectorSession::receive()
{
    if (serial_->commEvent() != SerialControl::kCommEventReceive)
        return;
    const QString arrived = serial_->input();
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

MonitorTiming ProjectorSession::monitorTiming() const
{
    return {replyWindow_->interval(), monitorClear_->interval()};
}

bool ProjectorSession::isReplyWindowOpen() const
{
    return replyWindow_->enabled();
}

bool ProjectorSession::isClearPending() const
{
    return monitorClear_->enabled();
}

int ProjectorSession::repeatPeriodMs() const
{
    return repeat_->interval();
}

bool ProjectorSession::isRepeating() const
{
    return repeat_->enabled();
}
