// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/projector_model.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace sim {

namespace {

// Every code the panel's buttons send, plus the display clear and the status
// queries that are only ever typed.
constexpr std::string_view kKnownCodes[] = {
    // power, input, menu, mute, no show, freeze, size, right-hand column
    "C00", "C01", "C05", "C06", "C07", "C1C", "C1D", "C0B", "C0C", "C0D", "C0E", "C43", "C44", "C0F", "C10",
    "C89", "C27", "C8A", "C1E",
    // key disabling
    "CF KEYDIS NONE", "CF KEYDIS RC", "CF KEYDIS KEY",
    // image modes
    "C11", "C12", "C13", "C14", "C15", "C16", "C17",
    // input terminals and signals
    "C50", "C52", "C53", "C25", "C24", "C26", "CF TERMINAL COMPUTER", "CF TERMINAL MONITOR", "C32", "C33",
    "C34",
    // fan and logo
    "CF FANSPEED MAX", "CF FANSPEED NOR", "CF LOGOCAPTURE START", "CF LOGO OFF", "CF LOGO DEFAULT",
    "CF LOGO USER",
    // held buttons: volume, brightness, digital zoom, keystone, direction pad
    "C09", "C0A", "C20", "C21", "C30", "C31", "C8E", "C8F", "C3F", "C3C", "C3D", "C3B", "C3A",
    // status queries
    "CR0", "CR1", "CR3", "CR4", "CR6", "CR7", "CR9", "CRA", "CR PRESSURE"};

bool isQuery(std::string_view code)
{
    return code.size() >= 2 && code.substr(0, 2) == "CR";
}

const char *powerCode(Power power)
{
    switch (power) {
    case Power::Standby: return "80";
    case Power::CountDown: return "40";
    case Power::On: return "00";
    case Power::Cooling: return "20";
    }
    return "80";
}

} // namespace

ProjectorModel::ProjectorModel(PowerTimings timings) : timings_(timings) {}

bool ProjectorModel::isKnownCode(std::string_view code)
{
    return std::find(std::begin(kKnownCodes), std::end(kKnownCodes), code) != std::end(kKnownCodes);
}

void ProjectorModel::setFault(const FaultSettings &fault)
{
    fault_ = fault;
    fault_.pieceSize = std::max<std::size_t>(fault_.pieceSize, 1);
    fault_.pieceGapMs = std::clamp<Millis>(fault_.pieceGapMs, 0, kMaxFaultDelayMs);
    fault_.lateDelayMs = std::clamp<Millis>(fault_.lateDelayMs, 0, kMaxFaultDelayMs);
    fault_.streamPeriodMs = std::clamp<Millis>(fault_.streamPeriodMs, 1, kMaxFaultDelayMs);
    fault_.streamChunk = std::clamp<std::size_t>(fault_.streamChunk, 1, kMaxStreamChunk);
    nextStreamMs_ = 0;
}

ProjectorModel::Reaction ProjectorModel::feed(std::string_view bytes, Millis nowMs)
{
    Reaction reaction;
    for (const char c : bytes) {
        const bool lfAfterCr = afterCr_ && c == '\n';
        afterCr_ = false;
        if (lfAfterCr)
            continue;
        if (c != '\r') {
            // Every code is far shorter than the cap, so a cut line is refused anyway.
            if (line_.size() < kMaxLineLength)
                line_ += c;
            continue;
        }
        afterCr_ = true;
        schedule(answer(line_, nowMs), nowMs, reaction.outputs);
        reaction.lines.push_back(std::move(line_));
        line_.clear();
    }
    return reaction;
}

std::vector<Output> ProjectorModel::idle(Millis nowMs)
{
    std::vector<Output> out;
    if (fault_.mode != Fault::Stream || nowMs < nextStreamMs_)
        return out;
    // A rolling run of printable characters, so a reader can tell chunks apart.
    std::string chunk;
    for (std::size_t i = 0; i < fault_.streamChunk; ++i)
        chunk += char('!' + streamCounter_++ % ('z' - '!' + 1));
    transmit(std::move(chunk), nowMs, out);
    nextStreamMs_ = nowMs + fault_.streamPeriodMs;
    return out;
}

Power ProjectorModel::power(Millis nowMs)
{
    settle(nowMs);
    return power_;
}

void ProjectorModel::settle(Millis nowMs)
{
    if (power_ == Power::CountDown && nowMs - phaseStart_ >= timings_.countDownMs) {
        power_ = Power::On;
        phaseStart_ += timings_.countDownMs;
    }
    if (power_ == Power::Cooling && nowMs - phaseStart_ >= timings_.coolingMs) {
        power_ = Power::Standby;
        phaseStart_ += timings_.coolingMs;
    }
}

std::string ProjectorModel::answer(const std::string &line, Millis nowMs)
{
    if (!isKnownCode(line) || fault_.mode == Fault::Refuse)
        return "?\r";
    settle(nowMs);
    if (isQuery(line))
        return queryReply(line) + '\r';
    applyCommand(line, nowMs);
    return std::string{kAck, '\r'};
}

void ProjectorModel::applyCommand(std::string_view code, Millis nowMs)
{
    if (code == "C00" && power_ == Power::Standby) {
        power_ = Power::CountDown;
        phaseStart_ = nowMs;
    } else if (code == "C01" && (power_ == Power::CountDown || power_ == Power::On)) {
        power_ = Power::Cooling;
        phaseStart_ = nowMs;
        videoMute_ = audioMute_ = false;
    } else if (code == "C05" || code == "C06" || code == "C07") {
        input_ = char('1' + (code[2] - '5'));
    } else if (code == "C0B" || code == "C0C") {
        audioMute_ = code == "C0B";
    } else if (code == "C0D" || code == "C0E") {
        videoMute_ = code == "C0D";
    }
}

std::string ProjectorModel::queryReply(std::string_view code) const
{
    if (code == "CR0")
        return powerCode(power_);
    if (code == "CR1")
        return std::string(1, input_);
    if (code == "CR3")
        return std::to_string(readings_.lampHours);
    if (code == "CR4")
        return "11";
    if (code == "CR6")
        return temperaturesReply();
    if (code == "CR7")
        return power_ == Power::On ? "03" : "00"; // both lamps in two-lamp mode
    if (code == "CR9")
        return readings_.infoText;
    if (code == "CRA")
        return muteReply();
    return std::to_string(readings_.pressure); // "CR PRESSURE"
}

std::string ProjectorModel::temperaturesReply() const
{
    // Three fields five wide with one separator: the panel shows characters
    // 1-5, 8-11 and 13-17, so the middle field's first column must be padding.
    // Two digits and a decimal keep that true.
    auto field = [](double t) { return std::clamp(t, -9.9, 99.9); };
    char text[32];
    std::snprintf(text, sizeof text, "%5.1f,%5.1f,%5.1f", field(readings_.temperatures[0]),
                  field(readings_.temperatures[1]), field(readings_.temperatures[2]));
    return text;
}

std::string ProjectorModel::muteReply() const
{
    if (power_ != Power::On)
        return "FF";
    if (!readings_.signalPresent)
        return "80";
    return std::string{'0', char('0' + (videoMute_ ? 1 : 0) + (audioMute_ ? 2 : 0))};
}

void ProjectorModel::schedule(std::string bytes, Millis nowMs, std::vector<Output> &out)
{
    switch (fault_.mode) {
    case Fault::Silent: return;
    case Fault::Late: transmit(std::move(bytes), nowMs + fault_.lateDelayMs, out); return;
    case Fault::Garbage: {
        std::string all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[std::size_t(i)] = char(i);
        transmit(std::move(all), nowMs, out);
        return;
    }
    case Fault::Split:
        for (std::size_t at = 0, piece = 0; at < bytes.size(); at += fault_.pieceSize, ++piece)
            transmit(bytes.substr(at, fault_.pieceSize), nowMs + Millis(piece) * fault_.pieceGapMs, out);
        return;
    case Fault::None:
    case Fault::Stream:
    case Fault::Refuse: transmit(std::move(bytes), nowMs, out); return;
    }
}

void ProjectorModel::transmit(std::string bytes, Millis dueMs, std::vector<Output> &out)
{
    // One transmitter: an answer never overtakes one scheduled before it.
    lastDue_ = std::max(lastDue_, dueMs);
    out.push_back({lastDue_, std::move(bytes)});
}

} // namespace sim
