// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One line to a projector: a serial device, or a TCP connection to a serial
// device server in raw mode. Nothing here waits: a device opens at once; a
// server's name is looked up and connected in the background, bounded by a
// timer. Bytes are handed out as they arrive; the outcome of an open and a
// line that goes away come as signals. Failures carry the system's error
// number and words an operator can act on.

#include "session/port_address.h"
#include "session/serial_error.h"
#include "session/serial_settings.h"
#include "session/session_timer.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QTcpSocket>

class QHostInfo;

class PortConnection : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open };

    // A device server that has not connected by then is taken as unreachable.
    static constexpr int kConnectTimeoutMs = 3000;
    // A new connection is left alone this long before it counts as open: a
    // busy device server says so and hangs up at once, and its words must
    // neither be taken for a projector's reply nor lost.
    static constexpr int kSettleMs = 50;

    // makeTimer: the clock of the connect deadline and the settle delay (the
    // real one when empty).
    explicit PortConnection(QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});
    ~PortConnection() override;

    // Opens a device or a socket (a numbered port must be resolved first),
    // closing whatever was open or opening. A failure known at once is
    // returned; otherwise exactly one opened() or openFailed() follows,
    // unless the line is closed or opened again before. A device's opened()
    // comes before this returns.
    SerialError open(const PortAddress &address, const SerialSettings &settings);
    void close();

    State state() const { return state_; }
    bool isOpen() const { return state_ == State::Open; }
    // The address of the last open, for messages.
    const PortAddress &address() const { return address_; }

    // Applied at once to an open serial device; a socket has no line
    // settings, so they are kept for the next device.
    void setSettings(const SerialSettings &settings);
    const SerialSettings &settings() const { return settings_; }

    // Hands the bytes to the system; does not wait for the transmission.
    SerialError write(const QByteArray &bytes);

signals:
    void opened();
    void openFailed(const SerialError &error);
    void received(const QByteArray &bytes);
    // The line went away while open (adapter pulled, server gone); it is
    // closed now.
    void lost(const QString &description);

private:
    SerialError openSerial();
    void openSocket();
    void hostLookedUp(const QHostInfo &info);
    void connectNext();
    void socketConnected();
    void socketFailed(QAbstractSocket::SocketError error);
    void socketClosed();
    void settled();
    void failOpening(const SerialError &error);
    void applySettings();
    void readArrived();
    void serialFailed(QSerialPort::SerialPortError error);
    // The line went away under the open port: closed once, outside Qt's own
    // handler, and reported.
    void lose(const QString &description);
    void stopOpening();

    QSerialPort port_;
    QTcpSocket socket_;
    State state_ = State::Closed;
    PortAddress address_;
    SerialSettings settings_;
    SessionTimer *connectDeadline_;
    SessionTimer *settleTimer_;
    int lookupId_ = -1;
    QList<QHostAddress> candidates_;
    SerialError lastConnectError_;
    QByteArray serverWords_; // what a server said before the line counted as open
    bool losing_ = false;
};
