#pragma once
// A window timer: an interval in milliseconds and an enabled flag. Enabling
// a running timer restarts its countdown, and so does assigning its interval
// while it runs; the monitor's timeline depends on both.

#include <QObject>
#include <QTimer>

class WindowTimer : public QObject {
    Q_OBJECT
public:
    WindowTimer(const QString &name, int intervalMs, Qt::TimerType type, QObject *parent);

    int interval() const { return timer_.interval(); }
    void setInterval(int ms);
    bool enabled() const { return timer_.isActive(); }
    void setEnabled(bool on);

signals:
    void tick();

private:
    QTimer timer_;
};
