// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pty_server.h"

#include "sim/raw_pty.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr Millis kPollSliceMs = 5;
// With nothing to send and nothing streaming, the thread sleeps this long
// between looks at a request to stop: hundreds of idle projectors in one
// benchmark would otherwise wake two hundred times a second each.
constexpr Millis kIdleWaitMs = 50;
// The stream is produced only while the client keeps up with it.
constexpr std::size_t kStreamBacklogBytes = 4096;

} // namespace

PtyServer::PtyServer(PowerTimings timings) : model_(timings) {}

PtyServer::~PtyServer()
{
    vanish();
}

bool PtyServer::start(std::string *error)
{
    if (thread_.joinable())
        return true;
    if (master_ < 0 && !openPty(error))
        return false;
    stopRequested_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

bool PtyServer::listen(const std::string &host, int port, std::string *error)
{
    if (thread_.joinable())
        return true;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (const int e = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found)) {
        if (error)
            *error = host + ": " + gai_strerror(e);
        return false;
    }
    int fd = -1;
    std::string why;
    for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        const int on = 1;
        if (fd >= 0)
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (fd >= 0 && (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 4) != 0)) {
            why = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        if (error)
            *error = "cannot listen on " + host + ":" + service + ": " + why;
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    char numeric[INET6_ADDRSTRLEN] = {};
    int boundPort = 0;
    if (bound.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&bound);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, numeric, sizeof numeric);
        boundPort = ntohs(v6->sin6_port);
    } else {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&bound);
        ::inet_ntop(AF_INET, &v4->sin_addr, numeric, sizeof numeric);
        boundPort = ntohs(v4->sin_port);
    }
    const std::string shownHost = bound.ss_family == AF_INET6 ? "[" + std::string(numeric) + "]" : numeric;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener_ = fd;
        path_ = "socket://" + shownHost + ":" + std::to_string(boundPort);
    }
    stopRequested_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void PtyServer::acceptClient()
{
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    ++connectionsAccepted_;
    if (client_ >= 0) {
        // One client at a time: a device server's busy port says so and hangs up.
        static constexpr char kBusy[] = "Port already in use\r\n";
        [[maybe_unused]] const ssize_t said = ::send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
        ::close(fd);
        return;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = fd;
}

void PtyServer::dropClient()
{
    ::close(client_);
    client_ = -1;
    // What was on its way to the client is lost with the connection.
    pending_.clear();
    pendingBytes_ = 0;
}

void PtyServer::stop()
{
    stopRequested_ = true;
    if (thread_.joinable())
        thread_.join();
}

void PtyServer::vanish()
{
    stop();
    closePty();
}

bool PtyServer::openPty(std::string *error)
{
    // The slave stays open here: without it the master would read EIO
    // whenever no client has the device open.
    RawPty pty;
    if (!openRawPty(pty, error))
        return false;
    const int master = pty.master;
    const int slave = pty.slave;
    const std::string name = pty.path;

    std::lock_guard<std::mutex> lock(mutex_);
    master_ = master;
    slave_ = slave;
    path_ = name;
    pending_.clear();
    pendingBytes_ = 0;
    return true;
}

void PtyServer::closePty()
{
    for (int *fd : {&master_, &slave_, &listener_, &client_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

std::string PtyServer::devicePath() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

std::vector<std::string> PtyServer::receivedLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {lines_.begin(), lines_.end()};
}

void PtyServer::clearReceivedLines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

void PtyServer::setFault(const FaultSettings &fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    model_.setFault(fault);
}

void PtyServer::setTimings(PowerTimings timings)
{
    std::lock_guard<std::mutex> lock(mutex_);
    model_.setTimings(timings);
}

void PtyServer::setReadings(const Readings &readings)
{
    std::lock_guard<std::mutex> lock(mutex_);
    model_.setReadings(readings);
}

Millis PtyServer::now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - epoch_)
        .count();
}

void PtyServer::serve()
{
    while (!stopRequested_) {
        bool streaming = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            streaming = model_.fault().mode == Fault::Stream;
        }
        // The line and, while serving TCP, the listener: a connection is
        // taken as soon as it comes.
        pollfd fds[2] = {{line(), POLLIN, 0}, {listener_, POLLIN, 0}};
        pollfd &pfd = fds[0];
        Millis wait = streaming || line() < 0 ? kPollSliceMs : kIdleWaitMs;
        if (!pending_.empty()) {
            const Millis untilDue = pending_.front().dueMs - now();
            if (untilDue > 0)
                wait = std::min(untilDue, kPollSliceMs);
            else
                pfd.events |= POLLOUT; // overdue: wait for room rather than spin
        }
        const int ready = ::poll(fds, listener_ >= 0 ? 2 : 1, int(wait));
        if (listener_ >= 0 && (fds[1].revents & POLLIN))
            acceptClient();
        if (ready > 0 && (pfd.revents & POLLIN))
            readFromClient();
        else if (ready > 0 && listener_ >= 0 && client_ >= 0 && (pfd.revents & (POLLHUP | POLLERR)))
            dropClient();
        else if (ready > 0 && !(pfd.revents & POLLOUT))
            ::usleep(kPollSliceMs * 1000); // hang-up or error: do not spin

        const Millis t = now();
        if (pendingBytes_ < kStreamBacklogBytes) {
            std::lock_guard<std::mutex> lock(mutex_);
            enqueue(model_.idle(t));
        }
        writeDue(t);
    }
}

void PtyServer::readFromClient()
{
    char buf[4096];
    const ssize_t n = ::read(line(), buf, sizeof buf);
    if (n == 0 && listener_ >= 0 && client_ >= 0)
        dropClient(); // the client hung up
    if (n <= 0)
        return;
    ProjectorModel::Reaction reaction;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reaction = model_.feed(std::string_view(buf, std::size_t(n)), now());
        for (const std::string &line : reaction.lines) {
            lines_.push_back(line);
            if (lines_.size() > kMaxLoggedLines)
                lines_.pop_front();
        }
        enqueue(std::move(reaction.outputs));
    }
    if (lineHandler_)
        for (const std::string &line : reaction.lines)
            lineHandler_(line);
}

void PtyServer::enqueue(std::vector<Output> outputs)
{
    // The model hands out outputs in due order, so appending keeps the queue sorted.
    for (Output &output : outputs) {
        if (pendingBytes_ + output.bytes.size() > kMaxPendingBytes)
            return;
        pendingBytes_ += output.bytes.size();
        pending_.push_back(std::move(output));
    }
}

void PtyServer::writeDue(Millis nowMs)
{
    while (!pending_.empty() && pending_.front().dueMs <= nowMs) {
        std::string &bytes = pending_.front().bytes;
        if (line() < 0) { // nobody connected: the bytes go nowhere
            pendingBytes_ -= bytes.size();
            pending_.pop_front();
            continue;
        }
        const ssize_t n = listener_ >= 0 ? ::send(line(), bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                         : ::write(line(), bytes.data(), bytes.size());
        if (n < 0)
            return; // full (or failing): try again on the next round
        pendingBytes_ -= std::size_t(n);
        if (std::size_t(n) < bytes.size()) {
            bytes.erase(0, std::size_t(n));
            return;
        }
        pending_.pop_front();
    }
}

} // namespace sim
