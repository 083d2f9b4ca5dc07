#pragma once
// The port panel: "COM" shows it, the options choose port and speed, and
// Timer3 hides it again after five seconds.

#include <QObject>
#include <QString>

class Form1;

class PortPanel : public QObject {
    Q_OBJECT
public:
    explicit PortPanel(Form1 &form);

    void showPanel();                          // "COM" click
    void hidePanel();                          // Timer3 tick
    void choosePort(int chosen, int fallback); // COM1 / COM2 click
    void chooseSpeed(const QString &settings); // 19200 / 9600 click
    // Selects the port option for a number from code; the selection runs the
    // same choice an operator's click would.
    void selectPortOptionByCode(int number);

private:
    Form1 &form_;
};
