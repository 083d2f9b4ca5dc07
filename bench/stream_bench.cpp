// SPDX-License-Identifier: GPL-3.0-or-later
// A device streams without pause at 19200 baud (1920 characters a second,
// one per write) while the operator clicks "DISPLAY CLEAR" four times a
// second. Prints the CPU the window's thread used and how long each click
// took to reach the wire.

#include "bench_line.h"
#include "bench_panel.h"
#include "bench_stats.h"
#include "session/panel_session.h"
#include "window/control_panel_window.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int charsPerSecond = 1920;

    BenchLine pty;
    PanelSession session;
    ControlPanelWindow form(session);
    if (!startPanelOn(form, pty))
        return 1;

    const auto start = BenchClock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::thread streamer([&] {
        const auto step = std::chrono::nanoseconds(1'000'000'000 / charsPerSecond);
        auto next = BenchClock::now();
        while (next < end) {
            pty.write("7", 1);
            next += step;
            std::this_thread::sleep_until(next);
        }
    });

    std::vector<BenchClock::time_point> clicks;
    auto *button = form.findChild<QPushButton *>(QStringLiteral("Command3"));
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        clicks.push_back(BenchClock::now());
        QTest::mouseClick(button, Qt::LeftButton);
    });
    clicker.start(250);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);

    const double cpuBefore = threadCpuSeconds();
    app.exec();
    const double cpu = threadCpuSeconds() - cpuBefore;
    const double wall = millisBetween(start, BenchClock::now()) / 1000.0;
    streamer.join();

    // The program writes nothing but the clicks' lines: the first byte after
    // each click is that click's line reaching the wire.
    const std::vector<double> latencies = millisToFirstArrival(clicks, pty.takeArrivals());
    std::printf("stream: %d chars/s for %.1f s; window thread CPU %.1f%% of one core\n", charsPerSecond, wall,
                100.0 * cpu / wall);
    std::printf("receive buffer at end: %lld characters (limit %d)\n",
                static_cast<long long>(session.receivedText().size()), kReceiveBufferLimit);
    std::printf("click to wire: %zu clicks, median %.3f ms, p99 %.3f ms, max %.3f ms\n", latencies.size(),
                percentile(latencies, 50), percentile(latencies, 99), percentile(latencies, 100));
    return 0;
}
