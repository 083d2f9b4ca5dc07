// SPDX-License-Identifier: GPL-3.0-or-later
// velno-cmd as a script runs it, side by side with the smallest pyserial
// script that does the same (open the port at 19200, write "CR0", read up to
// the carriage return): runs alternate between the two against one simulated
// projector, so both see the same machine. For each: process start to exit,
// start to the line reaching the projector, peak memory; then the ratio of
// the medians of start to exit. Goal: velno-cmd at most 0.7 times the script.
//
// Usage: cmd_bench [--runs N] [VELNO_CMD]
//   --runs N   runs of each (default 20)
//   VELNO_CMD  the velno-cmd to measure (default: this build's), so that an
//              older build can be measured by the same benchmark

#include "bench_stats.h"
#include "sim/pty_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoalRatio = 0.7;
// Debian's interpreter, where python3-serial installs the module (a python3
// earlier on PATH may be another one without it).
constexpr const char *kPython = "/usr/bin/python3";
// Open, then write and read up to the carriage return; exit 1 when none came.
constexpr const char *kScript = "import serial, sys; s = serial.Serial(sys.argv[1], 19200, timeout=2); "
                                "sys.exit(s.write(b'CR0\\r') and not s.read_until(b'\\r').endswith(b'\\r'))";

double millisSince(Clock::time_point t0, Clock::time_point t1)
{
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

struct Samples {
    std::vector<double> total, toWire, peakMb;
    int failures = 0;
};

// Runs the program with its output discarded; the projector's line handler
// stamps lineAtNs when the line arrives.
bool runOnce(const std::vector<std::string> &args, std::atomic<long long> &lineAtNs, Samples &into)
{
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    for (std::string &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    lineAtNs = 0;
    const auto started = Clock::now();
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    if (!spawned)
        return false;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto ended = Clock::now();
    into.failures += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    into.total.push_back(millisSince(started, ended));
    if (lineAtNs)
        into.toWire.push_back(millisSince(started, Clock::time_point(Clock::duration(lineAtNs.load()))));
    into.peakMb.push_back(double(usage.ru_maxrss) / 1024.0);
    return true;
}

void printRow(const char *label, const char *unit, const std::vector<double> &a, const std::vector<double> &b)
{
    std::printf("  %-22s %8.1f %s (%.1f-%.1f)   %8.1f %s (%.1f-%.1f)\n", label, percentile(a, 50), unit,
                percentile(a, 0), percentile(a, 100), percentile(b, 50), unit, percentile(b, 0),
                percentile(b, 100));
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 20;
    std::string velnoCmd = VELNO_CMD_EXE;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (argv[i][0] != '-')
            velnoCmd = argv[i];
        else {
            std::fprintf(stderr, "usage: cmd_bench [--runs N] [VELNO_CMD]\n");
            return 2;
        }
    }
    if (runs < 1) {
        std::fprintf(stderr, "cmd_bench: --runs needs a positive number\n");
        return 2;
    }
    if (std::system((std::string(kPython) + " -c 'import serial' 2>/dev/null").c_str()) != 0) {
        std::fprintf(stderr,
                     "cmd_bench: %s cannot import serial (python3-serial; scripts/install-deps.sh "
                     "installs it)\n",
                     kPython);
        return 1;
    }

    sim::PtyServer projector;
    std::atomic<long long> lineAtNs{0};
    projector.setLineHandler(
        [&lineAtNs](const std::string &) { lineAtNs = Clock::now().time_since_epoch().count(); });
    if (!projector.start())
        return 1;
    const std::string port = projector.devicePath();

    Samples cmd, script;
    for (int i = 0; i < runs; ++i) {
        if (!runOnce({velnoCmd, "--port", port, "status"}, lineAtNs, cmd) ||
            !runOnce({kPython, "-c", kScript, port}, lineAtNs, script)) {
            std::fprintf(stderr, "cmd_bench: cannot run %s or %s\n", velnoCmd.c_str(), kPython);
            return 1;
        }
    }

    const double ratio = percentile(cmd.total, 50) / percentile(script.total, 50);
    std::printf("velno-cmd status and a pyserial script, %d alternating runs each against the simulated "
                "projector\n",
                runs);
    std::printf("  velno-cmd: %s (%d failed)\n", velnoCmd.c_str(), cmd.failures);
    std::printf("  script:    %s -c \"%s\" PORT (%d failed)\n", kPython, kScript, script.failures);
    std::printf("  %-22s %-27s %s\n", "median (min-max)", "velno-cmd", "script");
    printRow("start to exit", "ms", cmd.total, script.total);
    printRow("start to line sent", "ms", cmd.toWire, script.toWire);
    printRow("peak resident memory", "MB", cmd.peakMb, script.peakMb);
    std::printf("  start to exit, velno-cmd / script: %.2fx (goal at most %.1fx): %s\n", ratio, kGoalRatio,
                ratio <= kGoalRatio ? "met" : "missed");
    return cmd.failures == 0 && script.failures == 0 ? 0 : 2;
}
