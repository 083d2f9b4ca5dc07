// A stand-in projector on a pseudo-terminal, for demos and manual tests:
// prints the device to open as the serial port, then answers until
// interrupted.

#include "sim/pty_server.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <signal.h>
#include <string>

namespace {

const char usage[] = "Usage: velno-projector-sim [options]\n"
                     "Opens a pseudo-terminal that answers like a projector and prints its device\n"
                     "path on the first line. Serves until SIGINT or SIGTERM.\n"
                     "With --listen it serves on TCP instead, like a serial device server in raw\n"
                     "mode, and prints socket://HOST:PORT (the port chosen when PORT is 0). One\n"
                     "client at a time: a second connection is closed at once.\n"
                     "\n"
                     "Options:\n"
                     "  --listen HOST:PORT   serve on TCP instead of a pseudo-terminal\n"
                     "  --fault MODE         none (default), silent, split, late, garbage or stream\n"
                     "  --piece-size N       split: bytes per piece (default 1)\n"
                     "  --piece-gap MS       split: delay between pieces (default 100)\n"
                     "  --late-delay MS      late: delay before each answer (default 1000)\n"
                     "  --stream-period MS   stream: delay between chunks (default 20)\n"
                     "  --stream-chunk N     stream: bytes per chunk (default 16)\n"
                     "  --count-down MS      power on: time counting down (default 3000)\n"
                     "  --cooling MS         power off: time cooling down (default 5000)\n"
                     "  --quiet              do not echo received lines on stderr\n"
                     "  --help               show this text\n";

struct Options {
    std::string listenHost; // empty: a pseudo-terminal
    int listenPort = 0;
    sim::FaultSettings fault;
    sim::PowerTimings timings;
    bool quiet = false;
};

[[noreturn]] void fail(const std::string &message)
{
    std::cerr << "velno-projector-sim: " << message << "\n" << usage;
    std::exit(2);
}

long long number(const std::string &option, const char *text)
{
    char *end = nullptr;
    const long long value = text ? std::strtoll(text, &end, 10) : -1;
    if (!text || *text == '\0' || *end != '\0' || value < 0)
        fail(option + " needs a number of zero or more");
    return value;
}

sim::Fault faultMode(const char *text)
{
    const std::string name = text ? text : "";
    const std::pair<const char *, sim::Fault> modes[] = {
        {"none", sim::Fault::None}, {"silent", sim::Fault::Silent},   {"split", sim::Fault::Split},
        {"late", sim::Fault::Late}, {"garbage", sim::Fault::Garbage}, {"stream", sim::Fault::Stream}};
    for (const auto &[modeName, mode] : modes)
        if (name == modeName)
            return mode;
    fail("unknown fault mode \"" + name + "\"");
}

Options parse(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help") {
            std::cout << usage;
            std::exit(0);
        } else if (arg == "--quiet") {
            options.quiet = true;
            continue;
        } else if (arg == "--listen") {
            const std::string where = value ? value : "";
            const auto colon = where.rfind(':');
            if (colon == std::string::npos || colon == 0)
                fail("--listen needs HOST:PORT");
            std::string host = where.substr(0, colon);
            if (host.size() > 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            const long long port = number(arg, where.c_str() + colon + 1);
            if (port > 65535)
                fail("--listen: port out of range");
            options.listenHost = host;
            options.listenPort = int(port);
        } else if (arg == "--fault") {
            options.fault.mode = faultMode(value);
        } else if (arg == "--piece-size") {
            options.fault.pieceSize = std::size_t(number(arg, value));
        } else if (arg == "--piece-gap") {
            options.fault.pieceGapMs = number(arg, value);
        } else if (arg == "--late-delay") {
            options.fault.lateDelayMs = number(arg, value);
        } else if (arg == "--stream-period") {
            options.fault.streamPeriodMs = number(arg, value);
        } else if (arg == "--stream-chunk") {
            options.fault.streamChunk = std::size_t(number(arg, value));
        } else if (arg == "--count-down") {
            options.timings.countDownMs = number(arg, value);
        } else if (arg == "--cooling") {
            options.timings.coolingMs = number(arg, value);
        } else {
            fail("unknown option \"" + arg + "\"");
        }
        ++i; // every remaining option took a value
    }
    return options;
}

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
    const Options options = parse(argc, argv);

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
