#include "sim/pty_server.h"

#include "sim/raw_pty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr Millis pollSliceMs = 5;
// The stream is produced only while the client keeps up with it.
constexpr std::size_t streamBacklogBytes = 4096;

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
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
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
        pollfd pfd{master_, POLLIN, 0};
        Millis wait = pollSliceMs;
        if (!pending_.empty()) {
            const Millis untilDue = pending_.front().dueMs - now();
            if (untilDue > 0)
                wait = std::min(untilDue, pollSliceMs);
            else
                pfd.events |= POLLOUT; // overdue: wait for room rather than spin
        }
        const int ready = ::poll(&pfd, 1, int(wait));
        if (ready > 0 && (pfd.revents & POLLIN))
            readFromClient();
        else if (ready > 0 && !(pfd.revents & POLLOUT))
            ::usleep(pollSliceMs * 1000); // hang-up or error: do not spin

        const Millis t = now();
        if (pendingBytes_ < streamBacklogBytes) {
            std::lock_guard<std::mutex> lock(mutex_);
            enqueue(model_.idle(t));
        }
        writeDue(t);
    }
}

void PtyServer::readFromClient()
{
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0)
        return;
    ProjectorModel::Reaction reaction;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reaction = model_.feed(std::string_view(buf, std::size_t(n)), now());
        for (const std::string &line : reaction.lines) {
            lines_.push_back(line);
            if (lines_.size() > maxLoggedLines)
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
        if (pendingBytes_ + output.bytes.size() > maxPendingBytes)
            return;
        pendingBytes_ += output.bytes.size();
        pending_.push_back(std::move(output));
    }
}

void PtyServer::writeDue(Millis nowMs)
{
    while (!pending_.empty() && pending_.front().dueMs <= nowMs) {
        std::string &bytes = pending_.front().bytes;
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
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
