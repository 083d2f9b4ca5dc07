// SPDX-License-Identifier: GPL-3.0-or-later
// Holds each kind of press-and-hold button through the real window and
// timestamps every line on the far end of a pseudo-terminal: is the repeat
// period what was asked for, and does every tick put exactly one line on
// the wire? Then clicks "DISPLAY CLEAR" a few hundred times for the latency
// from a click to its first byte.
//
// Usage: hold_bench [--socket] [minimum hold in seconds, default 2]
// --socket: the line is a TCP connection on loopback (a serial device server)
// instead of a pseudo-terminal.

#include "bench_line.h"
#include "bench_panel.h"
#include "bench_stats.h"
#include "session/panel_session.h"
#include "session/session_timer.h"
#include "window/control_panel_window.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

struct HoldCase {
    const char *label;
    const char *prepare; // clicked (one-shot) or pressed and released first
    bool prepareIsHold;
    const char *button;
    QByteArray line;
};

const HoldCase kCases[] = {
    {"VOL +", nullptr, false, "Command1", "C09\r"},
    {"Brightness +", nullptr, false, "Command15", "C20\r"},
    {"SELECT", nullptr, false, "Command6", "C3F\r"},
    {"up after A-IMAGE", "Command13", false, "Command5", "C3C\r"},
    {"right after D.Zoom", "Command48", true, "Command8", "C3A\r"},
};

// One line is complete when its carriage return arrives.
struct WireLines {
    std::vector<BenchClock::time_point> at;
    int wrongText = 0;      // a line that is not exactly the held command
    int sharedArrivals = 0; // lines that reached the reader in one read with another
};

WireLines splitLines(const std::vector<TimedBytes> &arrivals, const QByteArray &expected)
{
    WireLines out;
    QByteArray partial;
    for (const TimedBytes &chunk : arrivals) {
        int completed = 0;
        for (char c : chunk.bytes) {
            partial.append(c);
            if (c != '\r')
                continue;
            if (partial != expected)
                ++out.wrongText;
            partial.clear();
            out.at.push_back(chunk.at);
            ++completed;
        }
        if (completed > 1)
            out.sharedArrivals += completed - 1;
    }
    if (!partial.isEmpty())
        ++out.wrongText;
    return out;
}

// Runs the window's event loop for a while.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

class Bench {
public:
    Bench(ControlPanelWindow &form, PanelSession &session, BenchLine &pty)
        : form_(form), session_(session), pty_(pty),
          repeat_(session.findChild<SessionTimer *>(QStringLiteral("Timer1")))
    {
    }

    bool runHold(const HoldCase &c, int minimumHoldMs)
    {
        if (c.prepare) {
            QWidget *prepare = form_.findChild<QWidget *>(QLatin1String(c.prepare));
            if (c.prepareIsHold) {
                QTest::mousePress(prepare, Qt::LeftButton);
                QTest::mouseRelease(prepare, Qt::LeftButton);
            } else {
                QTest::mouseClick(prepare, Qt::LeftButton);
            }
        }
        settle();
        QWidget *button = form_.findChild<QWidget *>(QLatin1String(c.button));
        // Every tick while the button is down sends one line.
        int sent = 1;
        const auto counting = QObject::connect(repeat_, &SessionTimer::tick, &form_, [&sent] { ++sent; });
        const auto pressed = BenchClock::now();
        QTest::mousePress(button, Qt::LeftButton);
        const int period = session_.repeatPeriodMs();
        const int holdMs = std::max(minimumHoldMs, 10 * period);
        runFor(holdMs);
        const auto released = BenchClock::now();
        QTest::mouseRelease(button, Qt::LeftButton);
        QObject::disconnect(counting);
        runFor(100); // the last line's bytes reach the reader
        return report(c, period, millisBetween(pressed, released), sent,
                      splitLines(pty_.takeArrivals(), c.line));
    }

    void runClicks(int count)
    {
        settle();
        QWidget *button = form_.findChild<QWidget *>(QStringLiteral("Command3"));
        std::vector<BenchClock::time_point> clicks;
        for (int i = 0; i < count; ++i) {
            clicks.push_back(BenchClock::now());
            QTest::mouseClick(button, Qt::LeftButton);
            runFor(10);
        }
        runFor(50);
        const std::vector<TimedBytes> arrivals = pty_.takeArrivals();
        // The program writes nothing else now: the first bytes to arrive
        // after a click are its line.
        const std::vector<double> latencies = millisToFirstArrival(clicks, arrivals);
        const WireLines lines = splitLines(arrivals, "C1E\r");
        std::printf("\nclick to first byte (\"DISPLAY CLEAR\", %d clicks, %zu lines, %d merged): median "
                    "%.3f ms, p99 %.3f ms, max %.3f ms\n",
                    count, lines.at.size(), lines.wrongText + lines.sharedArrivals, percentile(latencies, 50),
                    percentile(latencies, 99), percentile(latencies, 100));
    }

private:
    // Lets what the last action sent go out, then forgets it.
    void settle()
    {
        runFor(300);
        pty_.takeArrivals();
    }

    static bool report(const HoldCase &c, int period, double heldMs, int sent, const WireLines &lines)
    {
        std::vector<double> intervals, deviations;
        for (size_t i = 1; i < lines.at.size(); ++i) {
            const double d = millisBetween(lines.at[i - 1], lines.at[i]);
            intervals.push_back(d);
            deviations.push_back(std::abs(d - period));
        }
        // One line at the press and one per whole period held, if every tick
        // came in time (late ones are not made up).
        const int expected = 1 + int(heldMs / period);
        const int received = int(lines.at.size());
        const int lost = std::max(0, sent - received);
        const int doubled = std::max(0, received - sent);
        const int merged = lines.wrongText + lines.sharedArrivals;
        const double median = percentile(intervals, 50);
        const double p95Deviation = percentile(deviations, 95);
        const bool met = std::abs(median - period) <= 0.05 * period && p95Deviation <= 0.20 * period &&
                         lost == 0 && doubled == 0 && merged == 0;
        std::printf("%-19s %6d %8.3f %8.3f %8.3f %6.0f %8d %5d %8d %4d %7d %6d  %s\n", c.label, period,
                    median, percentile(intervals, 95), p95Deviation, heldMs, expected, sent, received, lost,
                    doubled, merged, met ? "met" : "MISSED");
        return met;
    }

    ControlPanelWindow &form_;
    PanelSession &session_;
    BenchLine &pty_;
    SessionTimer *repeat_; // Timer1: each of its ticks while held sends a line
};

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray &line : info.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown CPU");
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool overSocket = arguments.removeAll(QStringLiteral("--socket")) > 0;
    const int minimumHoldMs = int(1000 * (arguments.isEmpty() ? 2.0 : arguments.first().toDouble()));

    BenchLine pty(overSocket ? BenchLine::Kind::Tcp : BenchLine::Kind::Pty);
    PanelSession session;
    ControlPanelWindow form(session);
    if (!startPanelOn(form, pty))
        return 1;

    std::printf("machine: %u CPUs, %s\n", std::thread::hardware_concurrency(), qPrintable(cpuModel()));
    std::printf("%s: no baud pacing (at 9600 baud a four-byte line alone takes 4.17 ms of "
                "the 5 ms period)\nevent dispatcher: %s\n\n",
                overSocket ? "TCP on loopback" : "pseudo-terminal",
                QAbstractEventDispatcher::instance()->metaObject()->className());
    std::printf("%-19s %6s %8s %8s %8s %6s %8s %5s %8s %4s %7s %6s  %s\n", "hold", "period", "median", "p95",
                "p95|dev|", "held", "expected", "sent", "received", "lost", "doubled", "merged", "goal");
    Bench bench(form, session, pty);
    bool allMet = true;
    for (const HoldCase &c : kCases)
        allMet = bench.runHold(c, minimumHoldMs) && allMet;
    std::printf(
        "(times in ms between lines arriving on the wire; expected: by the clock if no tick came "
        "late;\n goal: median within 5%%, 95th percentile of |interval - period| within 20%%, no line "
        "lost, doubled or merged)\n");
    bench.runClicks(250);
    return allMet ? 0 : 2;
}
