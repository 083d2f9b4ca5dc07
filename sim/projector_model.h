// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A projector of the family as its serial line sees it: it splits the bytes
// it receives into command lines, answers each one and keeps the state that
// the status queries report. Plain data and logic: no clock, no I/O. The
// caller passes the time in, so tests never wait.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Millis = std::int64_t;

// Bytes to put on the line once the clock reaches dueMs.
struct Output {
    Millis dueMs = 0;
    std::string bytes;
};

// Misbehaviour that tests and demos can switch on.
enum class Fault {
    None,
    Silent,  // commands take effect, nothing is ever answered
    Split,   // each answer goes out in pieces, a gap between them
    Late,    // each answer goes out whole, but only after a long delay
    Garbage, // each answer is replaced by all 256 byte values
    Stream,  // answers as usual, plus an endless unsolicited stream
    Refuse,  // answers every line with "?", and does nothing
};

struct FaultSettings {
    Fault mode = Fault::None;
    std::size_t pieceSize = 1;    // Split: bytes per piece
    Millis pieceGapMs = 100;      // Split: delay between two pieces
    Millis lateDelayMs = 1000;    // Late: longer than the panel's usual reply window
    Millis streamPeriodMs = 20;   // Stream: one chunk per period
    std::size_t streamChunk = 16; // Stream: bytes per chunk
};

struct PowerTimings {
    Millis countDownMs = 3000; // power on: count down before the lamp is on
    Millis coolingMs = 5000;   // power off: cooling down before standby
};

// Values the projector reports but that no command changes.
struct Readings {
    int lampHours = 1234;
    int pressure = 512;
    double temperatures[3] = {35.5, 40.0, 41.5};
    std::string infoText = "KT70 PV70 PV75";
    bool signalPresent = true;
};

enum class Power { Standby, CountDown, On, Cooling };

class ProjectorModel {
public:
    // Longer lines are cut here: a stream of garbage cannot grow memory.
    static constexpr std::size_t kMaxLineLength = 256;
    // Fault settings are held to these, whatever the command line asked: a
    // day's delay keeps the clock arithmetic far from overflowing, and a chunk
    // this size fits the server's queue.
    static constexpr Millis kMaxFaultDelayMs = 24LL * 60 * 60 * 1000;
    static constexpr std::size_t kMaxStreamChunk = 4096;
    static constexpr char kAck = 6;

    struct Reaction {
        std::vector<std::string> lines; // every line completed by this call
        std::vector<Output> outputs;    // in due order
    };

    explicit ProjectorModel(PowerTimings timings = {});

    // Bytes arrived at nowMs. Times passed in must not go backwards.
    Reaction feed(std::string_view bytes, Millis nowMs);
    // Output that nothing asked for (the stream fault); call it now and then.
    std::vector<Output> idle(Millis nowMs);

    void setTimings(PowerTimings timings) { timings_ = timings; }
    void setFault(const FaultSettings &fault);
    const FaultSettings &fault() const { return fault_; }
    void setReadings(const Readings &readings) { readings_ = readings; }

    Power power(Millis nowMs);

    // True for every code the projector accepts, queries included.
    static bool isKnownCode(std::string_view code);

private:
    void settle(Millis nowMs);
    std::string answer(const std::string &line, Millis nowMs);
    std::string queryReply(std::string_view code) const;
    std::string temperaturesReply() const;
    std::string muteReply() const;
    void applyCommand(std::string_view code, Millis nowMs);
    void schedule(std::string bytes, Millis nowMs, std::vector<Output> &out);
    void transmit(std::string bytes, Millis dueMs, std::vector<Output> &out);

    PowerTimings timings_;
    FaultSettings fault_;
    Readings readings_;

    Power power_ = Power::Standby;
    Millis phaseStart_ = 0;
    char input_ = '1';
    bool videoMute_ = false;
    bool audioMute_ = false;

    std::string line_;
    bool afterCr_ = false;

    Millis lastDue_ = 0;
    Millis nextStreamMs_ = 0;
    unsigned streamCounter_ = 0;
};

} // namespace sim
