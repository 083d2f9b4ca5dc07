#pragma once
// "SEND": the command typed by hand in Text1 goes out as one command line,
// with the long reply window.

#include <QObject>
#include <QString>

class Form1;
class QLineEdit;

// The text up to its first carriage return or line feed.
QString firstLineOf(const QString &text);

class FreeText : public QObject {
    Q_OBJECT
public:
    explicit FreeText(Form1 &form);

    void send(); // Command95 click

private:
    Form1 &form_;
    QLineEdit *text_;
};
