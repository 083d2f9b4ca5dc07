#pragma once
// The serial control: port number, settings string, open state, output,
// input and one event per arrival. Underneath is a serial device, or a TCP
// connection to a serial device server for a socket://HOST:PORT name; the
// byte stream is the same either way. Failures come back as SerialError
// values; nothing from Qt leaks past this class.

#include "session/serial_error.h"
#include "session/serial_settings.h"

#include <QAbstractSocket>
#include <QHash>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTcpSocket>

class SerialControl : public QObject {
    Q_OBJECT
public:
    // The communication event raised when characters have arrived.
    static constexpr int kCommEventReceive = 2;

    explicit SerialControl(QObject *parent = nullptr);
    ~SerialControl() override;

    int commPort() const { return commPort_; }
    // Only numbers that name a port are taken, and only while closed.
    SerialError setCommPort(int number);

    QString settings() const { return settingsText_; }
    // Applied at once to an open port; a closed one keeps them for its next
    // opening.
    SerialError setSettings(const QString &text);

    bool portOpen() const { return device_ != nullptr; }
    SerialError setPortOpen(bool open);

    // Every character goes out as one byte (characters one byte cannot hold
    // as "?"); returns without waiting for the transmission. On a closed port
    // nothing is written and the error says so.
    SerialError output(const QString &text);

    // All characters waiting now, one per byte; they leave the queue.
    QString input();

    int commEvent() const { return commEvent_; }
    // The device behind the current port number.
    QString deviceName() const;
    // Names the device behind a port number, ahead of the environment and
    // the system's default (a command-line choice).
    void setDeviceName(int portNumber, const QString &device);

signals:
    // Raised on the window's thread for each communication event.
    void onComm();
    // The device went away while open and the port was closed.
    void deviceLost(const QString &description);

private:
    void applySettings(const SerialSettings &s);
    void handleSerialError(QSerialPort::SerialPortError error);
    void handleReadyRead();
    // The line went away under the open port: close once, outside Qt's own
    // handler, and say so.
    void lose(const QString &description);
    void closeDevice();
    SerialError openPort();
    SerialError openSerial(const QString &device);
    SerialError openSocket(const QString &name);

    QSerialPort port_;
    QTcpSocket socket_;
    QIODevice *device_ = nullptr; // the open one of the two, or none
    int commPort_ = 1;
    QHash<int, QString> namedDevices_;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    SerialSettings settings_;
    int commEvent_ = 0;
    bool closingAfterLoss_ = false;
};
