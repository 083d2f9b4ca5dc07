// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's command line: any arguments give an answer, a usage error
// says what is wrong, and the settings of an accepted one run the simulated
// projector without overflowing its clock arithmetic.
//
// Input: the arguments after the program's name, separated by NUL bytes.

#include "fuzz_check.h"

#include "sim/options.h"
#include "sim/projector_model.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> arguments(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> list;
    if (size == 0)
        return list;
    std::string piece;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            list.push_back(piece);
            piece.clear();
        } else {
            piece += char(data[i]);
        }
    }
    list.push_back(piece);
    return list;
}

// A power cycle with every kind of answer, a day in, and the stream fault's
// idle output.
void runModel(const sim::ServerOptions &options)
{
    sim::ProjectorModel model(options.timings);
    model.setFault(options.fault);
    const sim::Millis day = 24LL * 60 * 60 * 1000;
    for (sim::Millis now : {sim::Millis(0), day}) {
        const sim::ProjectorModel::Reaction reaction = model.feed("C00\rCR0\rCR6\rC01\rCR PRESSURE\r", now);
        FUZZ_CHECK(reaction.lines.size() == 5);
        for (const sim::Output &output : reaction.outputs)
            FUZZ_CHECK(output.dueMs >= now);
        for (const sim::Output &output : model.idle(now))
            FUZZ_CHECK(output.dueMs >= now && output.bytes.size() <= sim::ProjectorModel::kMaxStreamChunk);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const sim::ParsedOptions parsed = sim::parseServerOptions(arguments(data, size));
    switch (parsed.action) {
    case sim::ParsedOptions::Action::UsageError: FUZZ_CHECK(!parsed.error.empty()); break;
    case sim::ParsedOptions::Action::Help: break;
    case sim::ParsedOptions::Action::Serve:
        FUZZ_CHECK(parsed.options.listenPort >= 0 && parsed.options.listenPort <= 65535);
        runModel(parsed.options);
        break;
    }
    return 0;
}
