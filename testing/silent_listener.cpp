// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/silent_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

quint16 boundPort(int fd)
{
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    return ntohs(bound.sin_port);
}

int boundSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a loopback socket");
    return fd;
}

} // namespace

SilentListener::SilentListener() : listener_(boundSocket())
{
    // A backlog of 0 holds one connection; the kernel drops the handshakes
    // of the next ones, which then wait for an answer that never comes.
    if (::listen(listener_, 0) != 0)
        throw std::runtime_error("cannot listen on loopback");
    port_ = boundPort(listener_);
    const sockaddr_in address = loopback(port_);
    for (int i = 0; i < 3; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        fillers_.push_back(fd);
    }
}

SilentListener::~SilentListener()
{
    for (int fd : fillers_)
        ::close(fd);
    ::close(listener_);
}

quint16 refusingPort()
{
    const int fd = boundSocket();
    const quint16 port = boundPort(fd);
    ::close(fd);
    return port;
}
