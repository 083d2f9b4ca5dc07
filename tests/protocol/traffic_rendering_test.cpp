// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/traffic_rendering.h"
#include "support/test_names.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char *what;
    QString text;
    QString rendering;
};

QString chars(std::initializer_list<int> codes)
{
    QString s;
    for (int c : codes)
        s += QChar(c);
    return s;
}

class TrafficRenderingTest : public ::testing::TestWithParam<Case> {};

TEST_P(TrafficRenderingTest, RendersExactly)
{
    EXPECT_EQ(trafficRendering(GetParam().text), GetParam().rendering) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    CharacterTable, TrafficRenderingTest,
    ::testing::Values(Case{"empty text", "", " "}, Case{"ACK", chars({6}), " ACK "},
                      Case{"code 20 has no space after it", chars({'A', 20, 'B'}), " A &B "},
                      Case{"carriage return", chars({13}), " CR "}, Case{"line feed", chars({10}), " LF "},
                      Case{"other controls", chars({0, 1, 7, 9, 27, 31}), " ? ? ? ? ? ? "},
                      Case{"space renders as two spaces", " ", "   "},
                      Case{"printable range ends", chars({32, 33, 'Z', '_', 'a', 122}), "   ! Z _ a z "},
                      Case{"above z", chars({'{', '|', '}', '~', 127, 128, 0xE9, 0xFF}), " ? ? ? ? ? ? ? ? "},
                      Case{"power on line", "C00\r", " C 0 0 CR "}, Case{"query line", "CR1\r", " C R 1 CR "},
                      Case{"reply", "00\r", " 0 0 CR "}),
    [](const auto &info) { return test_names::camelCase(QString::fromLatin1(info.param.what)); });

TEST(TrafficRendering, LongerTextExtendsShorterRendering)
{
    const QString text = chars({'0', 6, 20, 13, 10, 200, 'x'});
    for (int cut = 0; cut <= text.size(); ++cut) {
        QString grown = trafficRendering(text.left(cut));
        appendTrafficPieces(grown, QStringView(text).mid(cut));
        EXPECT_EQ(grown, trafficRendering(text)) << "cut at " << cut;
    }
}

// The receive buffer as it changes under the monitor: it grows by pieces,
// is emptied, refills with other text, or is replaced by one that merely
// starts alike. Every step must show what a whole rendering shows.
TEST(IncrementalRendering, AlwaysEqualsTheRenderingOfTheWholeSource)
{
    const QString steps[] = {
        "",
        "0",
        "00",
        "00\r", // grows
        "00\r", // unchanged
        "",
        "\x06",
        "\x06\r", // emptied, then refilled
        "\x06",   // shrinks to its own start
        "A\x14",
        "A\x14"
        "B", // replaced, then grows
        "A\x14"
        "C", // same length, last character changed
        "x",
        "xy",
        "x",
        "xyz", // shrinks and grows past the old end
        chars({0xE9, 'x'}),
        chars({0xE9, 'x', 13, 10}),
    };
    IncrementalRendering incremental;
    for (const QString &source : steps)
        EXPECT_EQ(incremental.render(source), trafficRendering(source))
            << "source \"" << test_names::spelled(source) << '"';
    incremental.clear();
    EXPECT_TRUE(incremental.rendering().isEmpty());
    EXPECT_EQ(incremental.render(QStringLiteral("xyz")), QStringLiteral(" x y z "));
}

// A streaming device grows the buffer by a character at a time: the
// rendering's storage must grow by steps that double, not once per arrival.
TEST(IncrementalRendering, GrowingOneCharacterAtATimeReallocatesRarely)
{
    IncrementalRendering incremental;
    QString source;
    qsizetype capacity = -1;
    int reallocations = 0;
    for (int i = 0; i < 4096; ++i) {
        source += QLatin1Char('7');
        const qsizetype now = incremental.render(source).capacity();
        reallocations += now != capacity;
        capacity = now;
    }
    EXPECT_EQ(incremental.rendering().size(), 1 + 2 * 4096);
    EXPECT_LE(reallocations, 40);
}

} // namespace
