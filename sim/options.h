// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator's command line, read without side effects: main prints and
// exits, so the reading can be tested and fuzzed.

#include "sim/projector_model.h"

#include <string>
#include <vector>

namespace sim {

struct ServerOptions {
    std::string listenHost; // empty: a pseudo-terminal
    int listenPort = 0;
    FaultSettings fault;
    PowerTimings timings;
    bool quiet = false;
};

struct ParsedOptions {
    enum class Action { Serve, Help, UsageError };
    Action action = Action::Serve;
    ServerOptions options;
    std::string error; // UsageError: what is wrong, without the program's name
};

// arguments: without the program's name. Options are read in order; the
// first --help or the first mistake decides.
ParsedOptions parseServerOptions(const std::vector<std::string> &arguments);

// The text --help prints, and a usage error after its message.
extern const char kServerUsage[];

} // namespace sim
