// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated projector reading command lines: any bytes in any chunks,
// under any fault settings the command line can give. Lines never hold a
// carriage return and never pass the length cap, what a call hands out is
// bounded and in due order, and how the bytes were cut into chunks does not
// change the lines or the answers.
//
// Input: the fault and power settings, then chunks (length, time step,
// bytes).

#include "fuzz_check.h"

#include "sim/projector_model.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using sim::Millis;
using sim::ProjectorModel;

// The longest answer: the garbage fault's 256 byte values.
constexpr std::size_t kLongestAnswer = 256;

Millis consumeMillis(FuzzedDataProvider &input)
{
    return input.ConsumeIntegralInRange<Millis>(0, std::numeric_limits<Millis>::max());
}

sim::FaultSettings consumeFault(FuzzedDataProvider &input)
{
    sim::FaultSettings fault;
    fault.mode = sim::Fault(input.ConsumeIntegralInRange<int>(0, int(sim::Fault::Stream)));
    fault.pieceSize = std::size_t(consumeMillis(input));
    fault.pieceGapMs = consumeMillis(input);
    fault.lateDelayMs = consumeMillis(input);
    fault.streamPeriodMs = consumeMillis(input);
    fault.streamChunk = std::size_t(consumeMillis(input));
    return fault;
}

struct Chunk {
    Millis atMs;
    std::string bytes;
};

// Everything the model handed out, and where the last output was due.
struct Transcript {
    std::vector<std::string> lines;
    std::string answered; // every output's bytes, in due order
    Millis lastDueMs = std::numeric_limits<Millis>::min();

    void takeOutputs(const std::vector<sim::Output> &outputs, Millis nowMs)
    {
        for (const sim::Output &output : outputs) {
            // The server appends outputs to its queue: they must come in due order.
            FUZZ_CHECK(output.dueMs >= nowMs && output.dueMs >= lastDueMs);
            lastDueMs = output.dueMs;
            answered += output.bytes;
        }
    }

    void take(const ProjectorModel::Reaction &reaction, Millis nowMs)
    {
        std::size_t bytes = 0;
        for (const sim::Output &output : reaction.outputs)
            bytes += output.bytes.size();
        // Output only for lines completed: nothing is queued unasked.
        FUZZ_CHECK(bytes <= reaction.lines.size() * kLongestAnswer);
        for (const std::string &line : reaction.lines) {
            FUZZ_CHECK(line.find('\r') == std::string::npos);
            FUZZ_CHECK(line.size() <= ProjectorModel::kMaxLineLength);
            lines.push_back(line);
        }
        takeOutputs(reaction.outputs, nowMs);
    }
};

ProjectorModel makeModel(const sim::PowerTimings &timings, const sim::FaultSettings &fault)
{
    ProjectorModel model(timings);
    model.setFault(fault);
    return model;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const sim::FaultSettings fault = consumeFault(input);
    const sim::PowerTimings timings{consumeMillis(input), consumeMillis(input)};

    std::vector<Chunk> chunks;
    std::string all;
    Millis now = 0;
    while (input.remaining_bytes() > 0) {
        now += input.ConsumeIntegralInRange<Millis>(0, 10000);
        chunks.push_back({now, input.ConsumeRandomLengthString(300)});
        all += chunks.back().bytes;
    }

    // As a server sees it: chunks over time, idle calls in between.
    ProjectorModel timed = makeModel(timings, fault);
    Transcript overTime;
    for (const Chunk &chunk : chunks) {
        overTime.take(timed.feed(chunk.bytes, chunk.atMs), chunk.atMs);
        const std::vector<sim::Output> idle = timed.idle(chunk.atMs);
        for (const sim::Output &output : idle)
            FUZZ_CHECK(output.bytes.size() <= ProjectorModel::kMaxStreamChunk);
        overTime.takeOutputs(idle, chunk.atMs);
    }

    // The same bytes at one moment: whole, then one at a time.
    ProjectorModel wholeModel = makeModel(timings, fault);
    Transcript whole;
    whole.take(wholeModel.feed(all, now), now);
    ProjectorModel byteModel = makeModel(timings, fault);
    Transcript byByte;
    for (char c : all)
        byByte.take(byteModel.feed(std::string_view(&c, 1), now), now);

    FUZZ_CHECK(whole.lines == overTime.lines);
    FUZZ_CHECK(byByte.lines == whole.lines);
    FUZZ_CHECK(byByte.answered == whole.answered);
    return 0;
}
