#include "bench_pty.h"

#include "sim/raw_pty.h"

#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

BenchPty::BenchPty()
{
    const sim::RawPty pty = sim::openRawPtyOrThrow();
    master_ = pty.master;
    slave_ = pty.slave;
    path_ = QString::fromStdString(pty.path);
}

BenchPty::~BenchPty()
{
    stop_ = true;
    if (reader_.joinable())
        reader_.join();
    ::close(master_);
    ::close(slave_);
}

void BenchPty::startReading()
{
    reader_ = std::thread([this] {
        char buf[4096];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const auto at = BenchClock::now();
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                arrivals_.push_back({at, QByteArray(buf, n)});
            }
        }
    });
}

std::vector<TimedBytes> BenchPty::takeArrivals()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<TimedBytes> out;
    out.swap(arrivals_);
    return out;
}

void BenchPty::write(const char *data, size_t size)
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
