// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

// The far end of a pseudo-terminal: the program under test opens the device
// path as its serial port; the test reads what it wrote and answers.
class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    QString devicePath() const { return path_; }
    void write(const QByteArray &bytes);
    // Everything that has arrived so far, without waiting.
    QByteArray readAvailable();
    // Keeps the event loop running until at least count bytes have arrived
    // since the last read, or timeoutMs passes; returns what arrived.
    QByteArray readAtLeast(int count, int timeoutMs = 3000);
    // The same until at least this many lines (carriage returns) have come.
    QByteArray readLines(int lines, int timeoutMs = 3000);
    // Collects for a fixed time, running the event loop.
    QByteArray readFor(int ms);
    // The line's speed in baud as the program set it (0 when unknown).
    int lineSpeed() const;
    // The device disappears: both ends are closed.
    void vanish();

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};
