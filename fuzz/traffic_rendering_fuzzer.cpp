// SPDX-License-Identifier: GPL-3.0-or-later
// The monitor's rendering of traffic: the incremental renderer of the
// receive buffer, fed a growing, cut and replaced source, always shows what
// rendering the whole source shows, and each character has its own piece.
//
// Input: a series of steps, each an operation byte and, where it needs one,
// a length-prefixed text (Latin-1 or UTF-8, so characters past Latin-1 come
// too).

#include "fuzz_check.h"

#include "protocol/traffic_rendering.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// What one character looks like on the monitor.
QString expectedPiece(QChar c)
{
    switch (c.unicode()) {
    case 6: return QStringLiteral("ACK ");
    case 20: return QStringLiteral("&"); // no space after it
    case 13: return QStringLiteral("CR ");
    case 10: return QStringLiteral("LF ");
    default: break;
    }
    if (c.unicode() >= 32 && c.unicode() <= 122)
        return QString(c) + QLatin1Char(' ');
    return QStringLiteral("? ");
}

void checkPieces(const QString &source, const QString &rendering)
{
    FUZZ_CHECK(rendering.startsWith(QLatin1Char(' ')));
    qsizetype at = 1;
    for (QChar c : source) {
        const QString piece = expectedPiece(c);
        FUZZ_CHECK(QStringView(rendering).mid(at, piece.size()) == piece);
        at += piece.size();
    }
    FUZZ_CHECK(at == rendering.size());
}

QString consumeText(FuzzedDataProvider &input)
{
    const bool utf8 = input.ConsumeBool();
    const std::string text = input.ConsumeRandomLengthString(512);
    const QByteArray raw(text.data(), qsizetype(text.size()));
    return utf8 ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
}

enum class Step { Grow, Cut, Replace, Clear, kMaxValue = Clear };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    IncrementalRendering incremental;
    QString source;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeEnum<Step>()) {
        case Step::Grow: source += consumeText(input); break;
        case Step::Cut: source.truncate(input.ConsumeIntegralInRange<qsizetype>(0, source.size())); break;
        case Step::Replace: source = consumeText(input); break;
        case Step::Clear:
            // The monitor is emptied: the buffer starts again from nothing.
            incremental.clear();
            FUZZ_CHECK(incremental.rendering().isEmpty());
            source.clear();
            break;
        }
        const QString whole = trafficRendering(source);
        const QString &shown = incremental.render(source);
        FUZZ_CHECK(&shown == &incremental.rendering());
        FUZZ_CHECK(shown == whole);
        checkPieces(source, whole);
    }
    return 0;
}
