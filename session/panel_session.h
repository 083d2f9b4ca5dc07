// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The panel's projector on one port: sending commands and typed lines, the
// reply window and the monitor clear delay (fixed windows that stay in force
// from one send to the next, as an operator watching the monitor expects),
// the receive buffer, status decoding and the press-and-hold repeat. It
// speaks in signals; the window shows what it reports. Machines use
// CommandExchange instead.

#include "protocol/commands.h"
#include "protocol/traffic_rendering.h"
#include "session/port_address.h"
#include "session/serial_error.h"
#include "session/serial_settings.h"
#include "session/session_timer.h"

#include <QObject>
#include <QString>
#include <array>
#include <optional>

class PortConnection;

class PanelSession : public QObject {
    Q_OBJECT
public:
    // Makes the session's timers; tests pass one that lets them tick by hand.
    using TimerFactory = SessionTimerFactory;

    explicit PanelSession(QObject *parent = nullptr, const TimerFactory &makeTimer = {});
    ~PanelSession() override;

    // The clock of the session and its line; the window's own timers run on it too.
    const TimerFactory &timerFactory() const { return makeTimer_; }

    // --- The port ---
    // Opening never waits: a device is open (or has failed) when these
    // return; a socket:// port connects in the background, and
    // portOpened() or portOpenFailed() follows. A failure known at once is
    // returned.
    // Opens port number (1 or 2) with these settings: the program's start.
    SerialError open(int portNumber, const SerialSettings &settings);
    // Opens a device or a socket:// port directly.
    SerialError open(const PortAddress &address, const SerialSettings &settings);
    // The operator picks a port: "talk to that one". Whatever was open is
    // closed and the chosen port opened, so a choice also reconnects after a
    // lost device. On failure the port stays closed.
    SerialError switchPort(int portNumber);
    // The number the port takes next; only while closed.
    SerialError setPortNumber(int portNumber);
    // Applied at once to an open port, kept for the next opening otherwise.
    void setSettings(const SerialSettings &settings);
    void closePort();
    bool isPortOpen() const;
    // A socket:// port is connecting.
    bool isPortOpening() const;
    int portNumber() const { return portNumber_; }
    // The settings string last given to the port.
    QString settings() const;
    // The device behind the current port number (or the port opened by
    // address), as a user writes it.
    QString deviceName() const;
    // Names the device behind a port number, ahead of the environment and
    // the system's default (a command-line choice).
    void setPortDevice(int portNumber, const PortAddress &device);

    // --- Sending ---
    // One command as its button sends it. A held command sent this way goes
    // out once, with the timing its press assigns, and does not repeat.
    void send(const Command &command);
    // A line typed by hand: its first line goes out as it stands.
    void sendTyped(const QString &text);
    // Press and release of a held command: it repeats in between.
    void press(const Command &held);
    void release(const Command &held);
    // The end of the program: the port closes and nothing is timed any more.
    void stop();
    // Assigns the reply window and clear delay, as a sender does; they stay
    // in force until the next sender assigns them.
    void setMonitorTiming(const MonitorTiming &timing);

    // --- What it is doing ---
    QString lastCommand() const { return lastCommand_; }
    QString receivedText() const { return receiveBuffer_; }
    // The traffic rendering of receivedText(), extended as it grows.
    const QString &receivedRendering() const { return receivedRendering_.render(receiveBuffer_); }
    bool isAwaitingReply() const { return awaitingReply_; }
    MonitorTiming monitorTiming() const;
    bool isReplyWindowOpen() const;
    bool isClearPending() const;
    int repeatPeriodMs() const;
    bool isRepeating() const;
    const Command *heldCommand() const { return held_; }
    ArrowMode arrowMode() const { return arrowMode_; }

signals:
    void lineSent(const QString &line, const QString &rendering);
    // Everything received since the buffer was last emptied. Its rendering
    // is receivedRendering(), made only when asked: a copy handed out with
    // every arrival would make each arrival copy all of it.
    void received(const QString &text);
    // The reply window closed with nothing received.
    void noReply();
    // The reply window closed, whether or not anything was received.
    void replyWindowClosed();
    // The clear delay ended: the monitor is emptied.
    void monitorCleared();
    // A release: the sent and received lines are emptied.
    void trafficCleared();
    void statusDecoded(const QString &text);
    void portOpened();
    // A socket:// port could not be connected; it stays closed.
    void portOpenFailed(const SerialError &error);
    void portClosed();
    // The device went away under the open port, which is now closed.
    void portLost(const QString &description);
    // Something could not be done (a failed write; sends on a closed port
    // once for each spell the port stays closed, until it opens again).
    void error(const QString &message);

private:
    void sendLine(const QString &line);
    void sendCode(const char *code);
    void repeatTick();
    void closeReplyWindow();
    void clearDelayEnded();
    void receive(const QByteArray &bytes);
    SerialError openCurrentNumber();
    std::optional<PortAddress> addressOf(int portNumber, SerialError *problem) const;

    TimerFactory makeTimer_;
    PortConnection *line_;
    int portNumber_ = kLowestPortNumber;
    std::array<std::optional<PortAddress>, kHighestPortNumber + 1> namedDevices_;
    std::optional<PortAddress> openedByAddress_;
    SessionTimer *repeat_;
    SessionTimer *replyWindow_;
    SessionTimer *monitorClear_;

    QString lastCommand_;
    QString receiveBuffer_;
    mutable IncrementalRendering receivedRendering_;
    bool awaitingReply_ = false;
    bool closedSendReported_ = false; // until the port opens again
    const Command *held_ = nullptr;
    ArrowMode arrowMode_ = ArrowMode::Off;
};
