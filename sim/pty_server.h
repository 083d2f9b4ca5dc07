// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Serves the projector model on a pseudo-terminal: a client opens
// devicePath() as its serial port and talks to the model as to a projector
// on a cable. Or, like a serial device server in raw TCP mode, on a TCP
// port: one client at a time, a second connection is told so and closed. The
// model runs on a background thread of the server's own.

#include "sim/projector_model.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

class PtyServer {
public:
    // Called on the server thread for each line received, without its CR.
    using LineHandler = std::function<void(const std::string &line)>;

    explicit PtyServer(PowerTimings timings = {});
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // Opens a pseudo-terminal if none is open and starts serving it. On
    // failure returns false and, when error is given, says why.
    bool start(std::string *error = nullptr);
    // Listens on host:port (port 0: any free one) and starts serving the
    // clients that connect, one at a time.
    bool listen(const std::string &host, int port, std::string *error = nullptr);
    // Stops serving but keeps the device: a client then meets silence.
    void stop();
    // Stops and closes both ends: the device disappears under its client.
    void vanish();

    // The device a client opens (socket://HOST:PORT when listening); still
    // the old one after vanish().
    std::string devicePath() const;

    // Clients taken on while listening, turned away or not.
    int connectionsAccepted() const { return connectionsAccepted_; }

    // Lines received so far (the most recent ones when there were many).
    std::vector<std::string> receivedLines() const;
    void clearReceivedLines();
    // Set before start().
    void setLineHandler(LineHandler handler) { lineHandler_ = std::move(handler); }

    void setFault(const FaultSettings &fault);
    void setTimings(PowerTimings timings);
    void setReadings(const Readings &readings);

private:
    static constexpr std::size_t kMaxLoggedLines = 1000;
    // A client that never reads must not make the queue grow without end.
    static constexpr std::size_t kMaxPendingBytes = 64 * 1024;

    bool openPty(std::string *error);
    void closePty();
    void serve();
    // The descriptor the model talks through: the pty's master, or the
    // connected client (-1 while nobody is connected).
    int line() const { return listener_ >= 0 ? client_ : master_; }
    void acceptClient();
    void dropClient();
    Millis now() const;
    void readFromClient();
    void writeDue(Millis nowMs);
    void enqueue(std::vector<Output> outputs);

    const std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_; // guards model_ and lines_
    ProjectorModel model_;
    std::deque<std::string> lines_;
    LineHandler lineHandler_;

    // Owned by the server thread while it runs.
    std::deque<Output> pending_;
    std::size_t pendingBytes_ = 0;

    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
    int master_ = -1;
    int slave_ = -1;
    int listener_ = -1;
    int client_ = -1;
    std::atomic<int> connectionsAccepted_{0};
    std::string path_;
};

} // namespace sim
