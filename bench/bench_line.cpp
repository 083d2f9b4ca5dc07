// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench_line.h"

#include "sim/raw_pty.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

BenchLine::BenchLine(Kind kind)
{
    if (kind == Kind::Tcp) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in loopback{};
        loopback.sin_family = AF_INET;
        loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof loopback;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&loopback), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr *>(&loopback), &length) != 0)
            throw std::runtime_error("cannot listen on loopback");
        path_ = QStringLiteral("socket://127.0.0.1:%1").arg(ntohs(loopback.sin_port));
        return;
    }
    const sim::RawPty pty = sim::openRawPtyOrThrow();
    master_ = pty.master;
    slave_ = pty.slave;
    path_ = QString::fromStdString(pty.path);
}

BenchLine::~BenchLine()
{
    stop_ = true;
    if (reader_.joinable())
        reader_.join();
    for (int fd : {master_, slave_, listener_})
        if (fd >= 0)
            ::close(fd);
}

void BenchLine::startReading()
{
    reader_ = std::thread([this] {
        char buf[4096];
        while (!stop_) {
            if (master_ < 0) { // a device server waits for its next client
                pollfd p{listener_, POLLIN, 0};
                if (::poll(&p, 1, 20) > 0)
                    master_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const auto at = BenchClock::now();
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n == 0 && listener_ >= 0) { // the client hung up; another may come
                ::close(master_);
                master_ = -1;
            } else if (n > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                arrivals_.push_back({at, QByteArray(buf, n)});
            }
        }
    });
}

std::vector<TimedBytes> BenchLine::takeArrivals()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<TimedBytes> out;
    out.swap(arrivals_);
    return out;
}

void BenchLine::write(const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(master_, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
        } else if (errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}
