#pragma once
// The one routine through which every line is sent and every reception is
// shown, with the reply window, the monitor clear delay and reception.

#include <QObject>
#include <QString>

class Form1;
class MonitorLabel;

class Exchange : public QObject {
    Q_OBJECT
public:
    // Directions of a call to hyouji.
    static constexpr quint8 kSent = 1;
    static constexpr quint8 kReceived = 2;

    explicit Exchange(Form1 &form);

    // Sends (direction 1) or shows (any other direction) a line.
    void hyouji(const QString &line, quint8 direction);

    // The reply window closes.
    void timer2Tick();
    // The monitor clear delay ends.
    void timer4Tick();
    // A communication event of the serial control.
    void onComm();

private:
    void decodeStatus();
    void sendCode(const QString &code);

    Form1 &form_;
    MonitorLabel *sentLine_;
    MonitorLabel *receivedLine_;
    MonitorLabel *statusLine_;
};
