// velno-cmd as a script runs it: from process start to exit for "status"
// against the simulated projector, how long until its line is on the wire,
// and the tool's peak memory. Median of 20 runs.
//
// Usage: cmd_bench [runs, default 20]

#include "bench_stats.h"
#include "sim/pty_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point t0, Clock::time_point t1)
{
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    sim::PtyServer projector;
    std::atomic<long long> lineAtNs{0};
    projector.setLineHandler(
        [&lineAtNs](const std::string &) { lineAtNs = Clock::now().time_since_epoch().count(); });
    if (!projector.start())
        return 1;
    const std::string port = projector.devicePath();

    std::vector<double> total, toWire, peakMb;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        std::vector<std::string> args{VELNO_CMD_EXE, "--port", port, "status"};
        std::vector<char *> argvChild;
        for (std::string &a : args)
            argvChild.push_back(a.data());
        argvChild.push_back(nullptr);
        lineAtNs = 0;
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        const auto started = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, VELNO_CMD_EXE, &quiet, nullptr, argvChild.data(), environ) != 0)
            return 1;
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const auto ended = Clock::now();
        posix_spawn_file_actions_destroy(&quiet);
        failures += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
        total.push_back(millisSince(started, ended));
        if (lineAtNs)
            toWire.push_back(millisSince(started, Clock::time_point(Clock::duration(lineAtNs.load()))));
        peakMb.push_back(double(usage.ru_maxrss) / 1024.0);
    }
    std::printf("velno-cmd status, %d runs against the simulated projector (%d failed):\n", runs, failures);
    std::printf("  start to exit        median %7.1f ms  (min %.1f, max %.1f; the reply window is 500 ms)\n",
                percentile(total, 50), percentile(total, 0), percentile(total, 100));
    std::printf("  start to line sent   median %7.1f ms  (min %.1f, max %.1f)\n", percentile(toWire, 50),
                percentile(toWire, 0), percentile(toWire, 100));
    std::printf("  peak resident memory median %7.1f MB  (max %.1f)\n", percentile(peakMb, 50),
                percentile(peakMb, 100));
    return failures == 0 ? 0 : 2;
}
