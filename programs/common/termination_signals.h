// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT, SIGTERM and SIGHUP delivered as a Qt signal on the event loop's
// thread, so a program ends through its own orderly path (ports closed,
// last messages sent) rather than at whatever point the signal struck.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Only one may exist at a time; it takes over the three signals until
    // it is destroyed, which puts back what they did before. A signal that
    // was ignored when the program started (under nohup, say) stays ignored.
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *notifier_ = nullptr;
};
