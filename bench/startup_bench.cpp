// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the real program against the simulated projector, watched
// from outside: the time from launch until its window is mapped on a private
// X server, and its resident memory once it is up. Also offscreen, where
// there is no window to watch: there "up" is the moment it holds COM1 open,
// the last start-up step before the window is shown.
//
// Usage: startup_bench [runs]   (default 9; prints medians, minima, maxima)

#include "bench_stats.h"
#include "sim/pty_server.h"

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeoutMs = 20000;
// Memory is read once the program has settled after showing its window.
constexpr int kSettleMs = 1000;
const char kTitlePrefix[] = "VELNO";

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The process environment with some variables replaced.
std::vector<std::string> environmentWith(const std::vector<std::string> &overrides)
{
    std::vector<std::string> out;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string &o : overrides)
            replaced = replaced || o.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            out.push_back(entry);
    }
    out.insert(out.end(), overrides.begin(), overrides.end());
    return out;
}

// Starts a program with its stdout on stdoutFd (or inherited when -1) and
// its stderr discarded.
pid_t spawn(const std::vector<std::string> &args, const std::vector<std::string> &environment,
            int stdoutFd = -1)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv, envp;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string &e : environment)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// A /proc/PID/status field in kB, e.g. "VmRSS".
long statusKb(pid_t pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

bool holdsOpen(pid_t pid, const std::string &device)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR *fds = opendir(dir.c_str());
    if (!fds)
        return false;
    bool found = false;
    while (const dirent *entry = readdir(fds)) {
        char target[512];
        const ssize_t n = readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        found = found || (n > 0 && std::string(target, std::size_t(n)) == device);
    }
    closedir(fds);
    return found;
}

// A private X server on a display number it picks itself; the number, or
// empty when it did not come up.
std::string startXvfb(pid_t &server)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    server =
        spawn({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"},
              environmentWith({}), out[1]);
    close(out[1]);
    std::string number;
    char c = 0;
    while (server > 0 && read(out[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(out[0]);
    return number.empty() ? std::string() : ":" + number;
}

std::string titleOf(xcb_connection_t *x, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
    std::string title;
    if (reply) {
        title.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                     std::size_t(xcb_get_property_value_length(reply)));
        std::free(reply);
    }
    return title;
}

// When a window of the program's title is mapped; the moment its map event
// is read, before its title is asked for.
std::optional<Clock::time_point> waitForMappedWindow(xcb_connection_t *x)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    pollfd pfd{xcb_get_file_descriptor(x), POLLIN, 0};
    while (Clock::now() < deadline && !xcb_connection_has_error(x)) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(x)) {
            const Clock::time_point at = Clock::now();
            std::optional<xcb_window_t> mapped;
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                mapped = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            std::free(event);
            if (mapped && titleOf(x, *mapped).rfind(kTitlePrefix, 0) == 0)
                return at;
        }
        poll(&pfd, 1, 5);
    }
    return std::nullopt;
}

std::optional<Clock::time_point> waitForOpenPort(pid_t pid, const std::string &device)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (Clock::now() < deadline) {
        if (holdsOpen(pid, device))
            return Clock::now();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return std::nullopt;
}

struct Sample {
    std::vector<double> upMs, rssMb, peakMb;
};

void report(const char *what, const Sample &s)
{
    auto line = [](const char *name, const std::vector<double> &v, const char *unit) {
        std::printf("  %-22s median %7.1f %s  (min %.1f, max %.1f)\n", name, percentile(v, 50), unit,
                    percentile(v, 0), percentile(v, 100));
    };
    std::printf("%s, %zu runs:\n", what, s.upMs.size());
    line("up after", s.upMs, "ms");
    line("VmRSS 1 s later", s.rssMb, "MB");
    line("VmHWM (peak)", s.peakMb, "MB");
}

// Launches the program, waits until it is up, lets it settle, reads its
// memory and ends it. False when it never came up.
template <class WaitUntilUp>
bool measure(const std::vector<std::string> &environment, WaitUntilUp waitUntilUp, Sample &sample)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn({VELNO_CONTROL_EXE}, environment);
    if (pid < 0)
        return false;
    const std::optional<Clock::time_point> up = waitUntilUp(pid);
    if (up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
        sample.upMs.push_back(msSince(start, *up));
        sample.rssMb.push_back(double(statusKb(pid, "VmRSS")) / 1024.0);
        sample.peakMb.push_back(double(statusKb(pid, "VmHWM")) / 1024.0);
    }
    stop(pid);
    return bool(up);
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 9;
    sim::PtyServer projector;
    std::string error;
    if (!projector.start(&error)) {
        std::fprintf(stderr, "startup_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string device = projector.devicePath();

    Sample offscreen;
    const auto offscreenEnv = environmentWith({"QT_QPA_PLATFORM=offscreen", "VELNO_COM1=" + device});
    for (int i = 0; i < runs; ++i)
        if (!measure(
                offscreenEnv, [&](pid_t pid) { return waitForOpenPort(pid, device); }, offscreen))
            std::fprintf(stderr, "startup_bench: offscreen run %d never opened COM1\n", i + 1);
    report("offscreen (up = COM1 open)", offscreen);

    pid_t server = -1;
    const std::string display = startXvfb(server);
    xcb_connection_t *x = display.empty() ? nullptr : xcb_connect(display.c_str(), nullptr);
    if (!x || xcb_connection_has_error(x)) {
        std::fprintf(stderr, "startup_bench: no X server (is Xvfb installed?); window runs skipped\n");
        return offscreen.upMs.empty() ? 1 : 0;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &events);
    xcb_flush(x);

    Sample shown;
    const auto xEnv = environmentWith({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display, "VELNO_COM1=" + device});
    for (int i = 0; i < runs; ++i)
        if (!measure(
                xEnv, [&](pid_t) { return waitForMappedWindow(x); }, shown))
            std::fprintf(stderr, "startup_bench: run %d never showed its window\n", i + 1);
    report("Xvfb (up = window mapped)", shown);

    xcb_disconnect(x);
    stop(server);
    return shown.upMs.empty() ? 1 : 0;
}
