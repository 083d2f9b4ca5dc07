#pragma once
// A window timer: an interval in milliseconds and an enabled flag. Enabling
// a running timer restarts its countdown, and so does assigning its interval
// while it runs; the monitor's timeline depends on both. Ticks that come
// late are not made up.
//
// A precise timer keeps its period to well under a millisecond where the
// system has a clock for it (Linux): Qt rounds every wait for one of its own
// timers up to a whole millisecond, which made a 5 ms auto-repeat run at
// 5 ms plus the cost of one pass of the event loop and wander by up to a
// millisecond from tick to tick.

#include <QObject>
#include <QTimer>

class QSocketNotifier;

class WindowTimer : public QObject {
    Q_OBJECT
public:
    WindowTimer(const QString &name, int intervalMs, Qt::TimerType type, QObject *parent);
    ~WindowTimer() override;

    int interval() const { return interval_; }
    void setInterval(int ms);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);

signals:
    void tick();

private:
    void restart();
    void kernelTimerReady();

    int interval_;
    bool enabled_ = false;
    bool ticking_ = false;
    QTimer timer_; // where there is no kernel timer
    int kernelTimer_ = -1;
    QSocketNotifier *kernelTimerNotifier_ = nullptr;
};
