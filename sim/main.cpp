// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in projector on a pseudo-terminal, for demos and manual tests:
// prints the device to open as the serial port, then answers until
// interrupted.

#include "sim/options.h"
#include "sim/pty_server.h"

#include <cstdio>
#include <iostream>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <vector>

namespace {

// Received lines as readable text: control and high bytes as <hex>.
std::string printable(const std::string &line)
{
    std::string out;
    for (const unsigned char c : line) {
        if (c >= 32 && c < 127) {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    const sim::ParsedOptions parsed =
        sim::parseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.action == sim::ParsedOptions::Action::Help) {
        std::cout << sim::kServerUsage;
        return 0;
    }
    if (parsed.action == sim::ParsedOptions::Action::UsageError) {
        std::cerr << "velno-projector-sim: " << parsed.error << "\n" << sim::kServerUsage;
        return 2;
    }
    const sim::ServerOptions &options = parsed.options;

    // Blocked before the server thread exists, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::PtyServer server(options.timings);
    server.setFault(options.fault);
    if (!options.quiet)
        server.setLineHandler(
            [](const std::string &line) { std::cerr << "< " << printable(line) << std::endl; });
    std::string error;
    const bool started = options.listenHost.empty()
                             ? server.start(&error)
                             : server.listen(options.listenHost, options.listenPort, &error);
    if (!started) {
        std::cerr << "velno-projector-sim: " << error << std::endl;
        return 1;
    }
    std::cout << server.devicePath() << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.vanish();
    return 0;
}
