#include "support/panel_fixture.h"
#include "support/printers.h"
#include "support/wait.h"

#include <QLineEdit>
#include <QTest>
#include <string>

namespace {

// A query goes out, the projector answers on the line, the status line shows
// what the answer means.
class StatusQueryTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        form->setHeightTwips(9100); // every button and the free-text box in view
    }

    // Sends a query: through its button, or typed and sent when it has none.
    void ask(const char *button, const char *code)
    {
        if (button) {
            click(button);
        } else {
            auto *text = control<QLineEdit>("Text1");
            text->clear();
            QTest::keyClicks(text, QLatin1String(code));
            click("Command95");
        }
        const QByteArray wire = QByteArray(code) + '\r';
        ASSERT_EQ(com1.readAtLeast(int(wire.size())), wire);
    }
    // Writes a piece of the reply and waits until reception has taken it in.
    void answer(const QByteArray &piece)
    {
        const QString expected = session->receivedText() + QLatin1String(piece);
        com1.write(piece);
        ASSERT_TRUE(waitUntil([&] { return session->receivedText() == expected; }));
    }
    QString status() const { return monitorText("Label22"); }
    bool statusBecomes(const QString &expected)
    {
        return waitUntil([&] { return status() == expected; });
    }
};

struct QueryCase {
    const char *name;
    const char *button; // nullptr: no button, the query is typed and sent
    const char *code;
    const char *reply;
    const char *decoded;
};

class EachQueryKind : public StatusQueryTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(EachQueryKind, ReplyIsDecodedOnTheStatusLine)
{
    const QueryCase &q = GetParam();
    ask(q.button, q.code);
    com1.write(q.reply);
    EXPECT_TRUE(statusBecomes(QString::fromLatin1(q.decoded))) << "shows \"" << status().toStdString() << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Queries, EachQueryKind,
    ::testing::Values(QueryCase{"OperatingState", "Command44", "CR0", "00\r", " Power ON"},
                      QueryCase{"Input", "Command45", "CR1", "12\r", " Computer 1"},
                      QueryCase{"ImageReversal", "Command47", "CR4", "10\r", " Top/Bottom reversal"},
                      QueryCase{"LampHours", "Command46", "CR3", "01234\r", " 0 1 2 3 4 CR  Hour Use"},
                      QueryCase{"Temperatures", "Command54", "CR6", "ABCDEFGHIJKLMNOPQ",
                                "  S1= A B C D E C  ,   S2=  H I J K C , S3= M N O P Q C"},
                      QueryCase{"MuteAndSignal", nullptr, "CRA", "FF\r", " Stand by"},
                      QueryCase{"RenderingCopied", nullptr, "CR9", "AB\x06\r", " A B ACK CR "},
                      QueryCase{"Pressure", nullptr, "CR PRESSURE", "512\r", "650 hPa"},
                      QueryCase{"LampMode", nullptr, "CR7", "03\r", " No1,2 ON  : 2 Lamp mode"}),
    [](const ::testing::TestParamInfo<QueryCase> &info) { return std::string(info.param.name); });

TEST_F(StatusQueryTest, StatusReplyInTwoPiecesIsDecodedOnlyWhenWhole)
{
    ask("Command44", "CR0");
    answer("0");
    EXPECT_EQ(monitorText("Label12"), QStringLiteral(" 0 "));
    EXPECT_EQ(status(), QString()) << "a key of three characters matches no state";
    answer("0\r");
    EXPECT_EQ(status(), QStringLiteral(" Power ON"));
}

TEST_F(StatusQueryTest, PressureInTwoPiecesIsRecomputed)
{
    ask(nullptr, "CR PRESSURE");
    answer("5");
    EXPECT_EQ(status(), QStringLiteral("111 hPa"));
    answer("12\r");
    EXPECT_EQ(status(), QStringLiteral("650 hPa"));
}

TEST_F(StatusQueryTest, ReplyArrivingAfterAnotherButtonIsNotDecoded)
{
    ask("Command45", "CR1");
    answer("12\r");
    ASSERT_EQ(status(), QStringLiteral(" Computer 1"));
    timer("Timer2").fire(); // the reply window closes, the buffer empties
    ask("Command44", "CR0");
    ask("Command17", "C00");
    answer("00\r");
    EXPECT_EQ(monitorText("Label12"), QStringLiteral(" 0 0 CR "));
    EXPECT_EQ(status(), QStringLiteral(" Computer 1"));
}

TEST_F(StatusQueryTest, StatusLineIsEmptiedByTheClearDelay)
{
    ask("Command54", "CR6");
    answer("1");
    ASSERT_FALSE(status().isEmpty());
    timer("Timer4").fire();
    EXPECT_EQ(status(), QString());
}

} // namespace
