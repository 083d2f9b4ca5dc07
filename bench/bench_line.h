// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The far end of the program's line for benchmarks: a pseudo-terminal's raw
// master, or a TCP port on loopback standing in for a serial device server.
// Reads are timestamped on a thread of their own, so the event loop under
// test is not the one that measures it.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using BenchClock = std::chrono::steady_clock;

struct TimedBytes {
    BenchClock::time_point at;
    QByteArray bytes;
};

class BenchLine {
public:
    enum class Kind { Pty, Tcp };
    explicit BenchLine(Kind kind = Kind::Pty);
    ~BenchLine();
    // The port name the program opens: a device path, or socket://HOST:PORT.
    QString devicePath() const { return path_; }

    // Starts collecting everything the program writes, with arrival times.
    void startReading();
    std::vector<TimedBytes> takeArrivals();

    void write(const char *data, size_t size);

private:
    int master_ = -1; // the pty's master, or the accepted connection
    int slave_ = -1;
    int listener_ = -1;
    QString path_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
    std::mutex mutex_;
    std::vector<TimedBytes> arrivals_;
};

// Milliseconds between two time points, as a double.
inline double millisBetween(BenchClock::time_point a, BenchClock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}
