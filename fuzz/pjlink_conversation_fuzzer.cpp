// SPDX-License-Identifier: GPL-3.0-or-later
// A PJLink client's lines, whatever they are, through the conversation with
// and without a password, against any facts: every answer is one line that
// fits the protocol and echoes the request's class, a failed digest is
// answered ERRA and closes, and what is asked or run is a row of the table.
//
// Input: whether there is a password and whether the first line carries the
// right digest, the facts (each one present or not), then the lines, cut at
// CR.

#include "fuzz_check.h"

#include "pjlink/pjlink_protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

using namespace pjlink;

const QByteArray kRandom = "0123abcd";
const QByteArray kPassword = "secret";
constexpr int kMaxLines = 32;

template <typename Enum> Enum consumeEnum(FuzzedDataProvider &input, int count)
{
    return Enum(input.ConsumeIntegralInRange<int>(0, count - 1));
}

QString consumeText(FuzzedDataProvider &input)
{
    return QString::fromStdString(input.ConsumeRandomLengthString(100));
}

Facts consumeFacts(FuzzedDataProvider &input)
{
    Facts facts;
    facts.name = consumeText(input);
    if (input.ConsumeBool())
        takeValue(facts, consumeEnum<OperatingState>(input, 13));
    if (input.ConsumeBool())
        takeValue(facts, consumeEnum<SelectedInput>(input, 4));
    if (input.ConsumeBool())
        takeValue(facts, consumeEnum<MuteAndSignal>(input, 6));
    if (input.ConsumeBool())
        takeValue(facts, LampHours{input.ConsumeIntegral<qint64>()});
    if (input.ConsumeBool())
        takeValue(facts, ModelInfo{consumeText(input)});
    return facts;
}

void checkAnswer(const QByteArray &bytes, const Request &request)
{
    FUZZ_CHECK(bytes.size() <= kMaxRequestBytes);
    FUZZ_CHECK(bytes.endsWith('\r') && bytes.count('\r') == 1);
    // The header ("%", the class digit, the command) echoed as the client sent it.
    FUZZ_CHECK(request.header.size() == 6 && request.header.startsWith('%'));
    FUZZ_CHECK(bytes.startsWith(request.header + '='));
    if (request.classDigit != '1')
        FUZZ_CHECK(bytes.endsWith("=ERR1\r"));
}

void checkCommands(const Commands &commands, bool queries)
{
    FUZZ_CHECK(!commands.empty());
    for (const Command *command : commands)
        FUZZ_CHECK(command && (command->statusQuery != nullptr) == queries);
}

// One line's steps; false once the session is closed.
bool follow(Step step, Facts facts)
{
    if (step.kind == Step::Kind::Ignore) {
        // A blank line keeps the session: nothing goes back for it.
        FUZZ_CHECK(step.bytes.isEmpty());
        return true;
    }
    if (step.kind == Step::Kind::Close) {
        FUZZ_CHECK(step.bytes.isEmpty() || step.bytes == authenticationFailure());
        FUZZ_CHECK(!step.why.isEmpty());
        return false;
    }
    if (step.kind == Step::Kind::Ask) {
        checkCommands(step.commands, true);
        facts.asked = true;
        step = next(step.request, facts);
        FUZZ_CHECK(step.kind != Step::Kind::Ask && step.kind != Step::Kind::Close);
    }
    if (step.kind == Step::Kind::Run) {
        checkCommands(step.commands, false);
        FUZZ_CHECK(step.request.classDigit == '1' && !step.request.isQuery());
        FUZZ_CHECK(step.bytes == reply(step.request, QByteArray("OK")));
    }
    checkAnswer(step.bytes, step.request);
    if (step.error)
        FUZZ_CHECK(step.bytes.endsWith('=' + errorWord(*step.error) + '\r'));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool locked = input.ConsumeBool();
    const bool rightDigest = input.ConsumeBool();
    const Facts facts = consumeFacts(input);
    const std::string rest = input.ConsumeRemainingBytesAsString();

    Conversation conversation(locked ? kPassword : QByteArray(), kRandom);
    FUZZ_CHECK(conversation.greeting() == (locked ? "PJLINK 1 " + kRandom + '\r' : QByteArray("PJLINK 0\r")));
    const QByteArrayList lines = QByteArray::fromStdString(rest).split('\r');
    bool requested = false; // a line other than a blank one came
    for (int i = 0; i < lines.size() && i < kMaxLines; ++i) {
        QByteArray line = lines[i];
        // Blank lines keep a session alive, before the password too.
        const bool first = !requested && !line.trimmed().isEmpty();
        requested = requested || first;
        if (first && locked && rightDigest)
            line.prepend(digest(kRandom, kPassword));
        const Step step = conversation.take(line, facts);
        if (!follow(step, facts)) {
            // A locked session's first request closes it with words only when its digest is wrong.
            FUZZ_CHECK(step.bytes.isEmpty() || (first && locked && !rightDigest));
            break;
        }
    }
    return 0;
}
