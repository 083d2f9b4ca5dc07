// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/options.h"

#include <cstdlib>
#include <utility>

namespace sim {

const char kServerUsage[] = "Usage: velno-projector-sim [options]\n"
                            "Opens a pseudo-terminal that answers like a projector and prints its device\n"
                            "path on the first line. Serves until SIGINT or SIGTERM.\n"
                            "With --listen it serves on TCP instead, like a serial device server in raw\n"
                            "mode, and prints socket://HOST:PORT (the port chosen when PORT is 0). One\n"
                            "client at a time: a second connection is told \"Port already in use\"\n"
                            "and closed at once.\n"
                            "\n"
                            "Options:\n"
                            "  --listen HOST:PORT   serve on TCP instead of a pseudo-terminal\n"
                            "  --fault MODE         none (default), silent, split, late, garbage, stream\n"
                            "                       or refuse\n"
                            "  --piece-size N       split: bytes per piece (default 1)\n"
                            "  --piece-gap MS       split: delay between pieces (default 100)\n"
                            "  --late-delay MS      late: delay before each answer (default 1000)\n"
                            "  --stream-period MS   stream: delay between chunks (default 20)\n"
                            "  --stream-chunk N     stream: bytes per chunk (default 16)\n"
                            "  --count-down MS      power on: time counting down (default 3000)\n"
                            "  --cooling MS         power off: time cooling down (default 5000)\n"
                            "  --quiet              do not echo received lines on stderr\n"
                            "  --help               show this text\n";

namespace {

// A mistake on the command line, carried out of the reading of one option.
struct UsageMistake {
    std::string message;
};

long long number(const std::string &option, const char *text)
{
    char *end = nullptr;
    const long long value = text ? std::strtoll(text, &end, 10) : -1;
    if (!text || *text == '\0' || *end != '\0' || value < 0)
        throw UsageMistake{option + " needs a number of zero or more"};
    return value;
}

Fault faultMode(const char *text)
{
    const std::string name = text ? text : "";
    const std::pair<const char *, Fault> modes[] = {{"none", Fault::None},       {"silent", Fault::Silent},
                                                    {"split", Fault::Split},     {"late", Fault::Late},
                                                    {"garbage", Fault::Garbage}, {"stream", Fault::Stream},
                                                    {"refuse", Fault::Refuse}};
    for (const auto &[modeName, mode] : modes)
        if (name == modeName)
            return mode;
    throw UsageMistake{"unknown fault mode \"" + name + "\""};
}

void readListen(const char *value, ServerOptions &options)
{
    const std::string where = value ? value : "";
    const auto colon = where.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageMistake{"--listen needs HOST:PORT"};
    std::string host = where.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const long long port = number("--listen", where.c_str() + colon + 1);
    if (port > 65535)
        throw UsageMistake{"--listen: port out of range"};
    options.listenHost = host;
    options.listenPort = int(port);
}

// Reads one option that takes a value; false when arg is no such option.
bool readValueOption(const std::string &arg, const char *value, ServerOptions &options)
{
    FaultSettings &fault = options.fault;
    if (arg == "--listen")
        readListen(value, options);
    else if (arg == "--fault")
        fault.mode = faultMode(value);
    else if (arg == "--piece-size")
        fault.pieceSize = std::size_t(number(arg, value));
    else if (arg == "--piece-gap")
        fault.pieceGapMs = number(arg, value);
    else if (arg == "--late-delay")
        fault.lateDelayMs = number(arg, value);
    else if (arg == "--stream-period")
        fault.streamPeriodMs = number(arg, value);
    else if (arg == "--stream-chunk")
        fault.streamChunk = std::size_t(number(arg, value));
    else if (arg == "--count-down")
        options.timings.countDownMs = number(arg, value);
    else if (arg == "--cooling")
        options.timings.coolingMs = number(arg, value);
    else
        return false;
    return true;
}

} // namespace

ParsedOptions parseServerOptions(const std::vector<std::string> &arguments)
{
    ParsedOptions parsed;
    try {
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string &arg = arguments[i];
            const char *value = i + 1 < arguments.size() ? arguments[i + 1].c_str() : nullptr;
            if (arg == "--help") {
                parsed.action = ParsedOptions::Action::Help;
                return parsed;
            }
            if (arg == "--quiet") {
                parsed.options.quiet = true;
                continue;
            }
            if (!readValueOption(arg, value, parsed.options))
                throw UsageMistake{"unknown option \"" + arg + "\""};
            ++i; // the option took a value
        }
    } catch (const UsageMistake &mistake) {
        parsed = ParsedOptions{};
        parsed.action = ParsedOptions::Action::UsageError;
        parsed.error = mistake.message;
    }
    return parsed;
}

} // namespace sim
