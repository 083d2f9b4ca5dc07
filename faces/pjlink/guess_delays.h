// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long the next password try from each address must wait: after a
// wrong one, kFirstGuessDelayMs, doubling with each wrong one up to
// kLongestGuessDelayMs; a right one forgets the address. Remembered for a
// bounded number of addresses, each for a while after its last wrong try,
// with at most one log line a minute for each.

#include <QHostAddress>
#include <QString>
#include <map>

class GuessDelays {
public:
    static constexpr int kMostAddresses = 1024;
    // An address this long without a wrong password starts afresh.
    static constexpr qint64 kForgetMs = 15 * 60 * 1000;
    static constexpr qint64 kLogPeriodMs = 60 * 1000;

    // How long a try from the address must still wait from nowMs.
    qint64 waitMs(const QHostAddress &address, qint64 nowMs);
    // A wrong password from the address; what to log, when its minute
    // allows a line (otherwise empty).
    QString wrong(const QHostAddress &address, qint64 nowMs);
    void right(const QHostAddress &address);

private:
    struct Tries {
        int delayMs = 0;
        qint64 notBeforeMs = 0;
        qint64 lastWrongMs = 0;
        qint64 loggedMs = 0;
        int unlogged = 0; // wrong tries since the last line
    };
    void makeRoom(qint64 nowMs);

    std::map<QString, Tries> byAddress_;
};
