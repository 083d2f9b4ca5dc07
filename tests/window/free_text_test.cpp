#include "support/panel_fixture.h"
#include "support/printers.h"
#include "support/test_names.h"
#include "support/wait.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

namespace {

class FreeTextTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        form->setHeightTwips(9100); // the free-text panel in view
    }
    QLineEdit *text() const { return control<QLineEdit>("Text1"); }
    void type(const QString &typed)
    {
        text()->clear();
        QTest::keyClicks(text(), typed);
        ASSERT_EQ(text()->text(), typed);
    }
    void paste(const QString &pasted)
    {
        text()->clear();
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(text(), Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(text()->text(), pasted);
    }
    // Clicks "SEND" and returns the bytes on the wire, with a short look for
    // anything more than the expected line.
    QByteArray send(int expectedBytes)
    {
        click("Command95");
        QByteArray wire = com1.readAtLeast(expectedBytes);
        return wire + com1.readFor(50);
    }
};

enum class Entry { Typed, Pasted };

struct SendCase {
    Entry entry;
    const char *entered; // UTF-8
    const char *sentCode;
    QByteArray wire;
};

class SendTest : public FreeTextTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, SendsOneLineAsEnteredWithTheTwoSecondReplyWindow)
{
    const SendCase &c = GetParam();
    const QString entered = QString::fromUtf8(c.entered);
    if (c.entry == Entry::Typed)
        type(entered);
    else
        paste(entered);
    EXPECT_EQ(send(c.wire.size()), c.wire);
    EXPECT_EQ(session->lastCommand(), QString::fromUtf8(c.sentCode) + QLatin1Char('\r'));
    EXPECT_EQ(text()->text(), entered) << "the box keeps its text";
    EXPECT_EQ(timer("Timer2").interval(), 2000);
    EXPECT_EQ(timer("Timer4").interval(), 2500);
    EXPECT_TRUE(timer("Timer2").enabled());
    EXPECT_TRUE(session->isAwaitingReply());

    EXPECT_EQ(send(c.wire.size()), c.wire) << "a second click sends the same line";
}

INSTANTIATE_TEST_SUITE_P(AsEntered, SendTest,
                         ::testing::Values(SendCase{Entry::Typed, "C00", "C00", "C00\r"},
                                           SendCase{Entry::Typed, "", "", "\r"},
                                           SendCase{Entry::Typed, "  C00 ", "  C00 ", "  C00 \r"},
                                           SendCase{Entry::Typed, "cr0", "cr0", "cr0\r"},
                                           // One click, one line: the rest of a pasted text stays behind.
                                           SendCase{Entry::Pasted, "C00\rC01\r", "C00", "C00\r"},
                                           SendCase{Entry::Pasted, "C00\nC01", "C00", "C00\r"},
                                           SendCase{Entry::Pasted, "C00\r\nC01", "C00", "C00\r"},
                                           SendCase{Entry::Pasted, "\nC00", "", "\r"},
                                           // One byte per character, "?" where one byte cannot hold it.
                                           SendCase{Entry::Pasted, "C0€0", "C0€0", "C0?0\r"},
                                           SendCase{Entry::Pasted, "C0é", "C0é", "C0\xe9\r"}),
                         [](const ::testing::TestParamInfo<SendCase> &info) {
                             return (info.param.entry == Entry::Typed ? "Typed_" : "Pasted_") +
                                    test_names::spelled(QString::fromUtf8(info.param.entered));
                         });

TEST_F(FreeTextTest, EnterInTheTextBoxSendsNothing)
{
    type(QStringLiteral("C00"));
    QTest::keyClick(text(), Qt::Key_Return);
    QTest::keyClick(text(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(com1.readFor(150).isEmpty());
    EXPECT_TRUE(session->lastCommand().isEmpty());
    EXPECT_TRUE(monitorText("Label11").isEmpty());
    EXPECT_EQ(text()->text(), QStringLiteral("C00"));
}

struct StatusCase {
    const char *typed;
    QByteArray reply;
    QString decoded;
};

class TypedStatusTest : public FreeTextTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(TypedStatusTest, ReplyToATypedQueryIsDecodedOnlyWhenItIsAStatusQuery)
{
    const StatusCase &c = GetParam();
    type(QString::fromLatin1(c.typed));
    ASSERT_EQ(send(int(qstrlen(c.typed)) + 1), QByteArray(c.typed) + '\r');
    com1.write(c.reply);
    ASSERT_TRUE(waitUntil([&] { return session->receivedText() == QString::fromLatin1(c.reply); }));
    EXPECT_EQ(monitorText("Label22"), c.decoded);
}

INSTANTIATE_TEST_SUITE_P(Queries, TypedStatusTest,
                         ::testing::Values(StatusCase{"CR0", "00\r", QStringLiteral(" Power ON")},
                                           StatusCase{"CR PRESSURE", "512\r", QStringLiteral("650 hPa")},
                                           StatusCase{"cr0", "00\r", QString()}),
                         [](const ::testing::TestParamInfo<StatusCase> &info) {
                             return test_names::spelled(QString::fromLatin1(info.param.typed));
                         });

} // namespace
