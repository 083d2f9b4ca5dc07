// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/raw_pty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>

namespace sim {

bool openRawPty(RawPty &pty, std::string *error)
{
    char name[256] = {};
    if (::openpty(&pty.master, &pty.slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    // Raw, so that nothing is echoed or translated before the client opens
    // the device and sets its own modes.
    termios tio{};
    ::tcgetattr(pty.slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(pty.slave, TCSANOW, &tio);
    ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    ::fcntl(pty.master, F_SETFD, FD_CLOEXEC);
    ::fcntl(pty.slave, F_SETFD, FD_CLOEXEC);
    pty.path = name;
    return true;
}

RawPty openRawPtyOrThrow()
{
    RawPty pty;
    std::string error;
    if (!openRawPty(pty, &error))
        throw std::runtime_error(error);
    return pty;
}

} // namespace sim
