// SPDX-License-Identifier: GPL-3.0-or-later
// The panel left running against a projector that streams without pause,
// with "Brightness" "+" held (a line every 50 ms) and "DISPLAY CLEAR"
// clicked every second: does memory level off, does every line reach the
// projector exactly once, and what does the window's thread spend?
//
// Usage: soak_bench [seconds, default 600]

#include "bench_panel.h"
#include "bench_stats.h"
#include "session/panel_session.h"
#include "sim/pty_server.h"
#include "window/control_panel_window.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Lines by text, counted on whichever thread sees them.
class LineCount {
public:
    void add(const std::string &line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counts_[line];
    }
    std::map<std::string, long> take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return counts_;
    }

private:
    std::mutex mutex_;
    std::map<std::string, long> counts_;
};

} // namespace

int main(int argc, char **argv)
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;

    sim::PtyServer projector;
    sim::FaultSettings stream;
    stream.mode = sim::Fault::Stream;
    projector.setFault(stream);
    LineCount received;
    projector.setLineHandler([&received](const std::string &line) { received.add(line); });
    if (!projector.start())
        return 1;
    qputenv("VELNO_COM1", QByteArray::fromStdString(projector.devicePath()));

    PanelSession session;
    ControlPanelWindow form(session);
    if (const SerialError e = form.startUp()) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(e.description));
        return 1;
    }
    form.show();
    LineCount sent;
    QObject::connect(&session, &PanelSession::lineSent,
                     [&sent](const QString &line) { sent.add(line.chopped(1).toStdString()); });

    std::vector<double> rss{residentMegabytes()};
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&rss] { rss.push_back(residentMegabytes()); });
    sampler.start(10000);
    QTimer clicker;
    auto *displayClear = form.findChild<QPushButton *>(QStringLiteral("Command3"));
    QObject::connect(&clicker, &QTimer::timeout,
                     [displayClear] { QTest::mouseClick(displayClear, Qt::LeftButton); });
    clicker.start(1000);
    QWidget *brightnessUp = form.findChild<QWidget *>(QStringLiteral("Command15"));
    QTest::mousePress(brightnessUp, Qt::LeftButton);
    QTimer::singleShot(seconds * 1000, &app, [&] {
        clicker.stop();
        QTest::mouseRelease(brightnessUp, Qt::LeftButton);
        QTimer::singleShot(500, &app, &QApplication::quit); // the last lines reach the projector
    });

    const auto start = BenchClock::now();
    const double cpuBefore = threadCpuSeconds();
    app.exec();
    const double cpu = threadCpuSeconds() - cpuBefore;
    const double wall = millisBetween(start, BenchClock::now()) / 1000.0;
    rss.push_back(residentMegabytes());

    const auto out = sent.take();
    const auto in = received.take();
    std::printf("soak: %.0f s against a streaming projector, \"Brightness\" \"+\" held, a click a second\n",
                wall);
    std::printf("resident memory: first %.1f MB, peak %.1f MB, last %.1f MB (%zu samples, every 10 s)\n",
                rss.front(), percentile(rss, 100), rss.back(), rss.size());
    bool clean = true;
    for (const auto &[line, count] : out) {
        const long got = in.count(line) ? in.at(line) : 0;
        std::printf("  %-4s sent %7ld  received %7ld  lost %ld  doubled %ld\n", line.c_str(), count, got,
                    std::max(0L, count - got), std::max(0L, got - count));
        clean = clean && got == count;
    }
    for (const auto &[line, count] : in)
        if (!out.count(line)) {
            std::printf("  unexpected line \"%s\" received %ld times\n", line.c_str(), count);
            clean = false;
        }
    std::printf("window thread CPU %.1f%% of one core\n", 100.0 * cpu / wall);
    return clean ? 0 : 2;
}
