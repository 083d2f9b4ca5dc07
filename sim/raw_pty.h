// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pseudo-terminal pair in raw mode: whatever is written on one side
// arrives unchanged on the other, echoing nothing, from the moment it opens.

#include <string>

namespace sim {

struct RawPty {
    int master = -1;
    int slave = -1;
    std::string path; // the device a client opens
};

// Opens a pair; the master is non-blocking, both ends close on exec. On
// failure returns false and, when error is given, says why.
bool openRawPty(RawPty &pty, std::string *error = nullptr);

// The same for helpers that cannot go on without one: throws
// std::runtime_error with the reason.
RawPty openRawPtyOrThrow();

} // namespace sim
