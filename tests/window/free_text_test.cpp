// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/panel_fixture.h"
#include "support/printers.h"
#include "support/test_names.h"
#include "testing/wait.h"

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
    QByteArray wire;
};

class SendTest : public FreeTextTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, SendSendsTheBoxsTextAndTheBoxKeepsIt)
{
    const SendCase &c = GetParam();
    const QString entered = QString::fromUtf8(c.entered);
    if (c.entry == Entry::Typed)
        type(entered);
    else
        paste(entered);
    EXPECT_EQ(send(c.wire.size()), c.wire);
    EXPECT_EQ(text()->text(), entered) << "the box keeps its text";
    EXPECT_EQ(send(c.wire.size()), c.wire) << "a second click sends the same line";
}

// What becomes of the text on its way to the wire (first line only, one
// byte per character) is the session's; see panel_session_test.
INSTANTIATE_TEST_SUITE_P(AsEntered, SendTest,
                         ::testing::Values(SendCase{Entry::Typed, "C00", "C00\r"},
                                           SendCase{Entry::Typed, "", "\r"},
                                           SendCase{Entry::Typed, "  C00 ", "  C00 \r"},
                                           SendCase{Entry::Typed, "cr0", "cr0\r"},
                                           // One click, one line: the rest of a pasted text stays behind.
                                           SendCase{Entry::Pasted, "C00\rC01\r", "C00\r"}),
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

} // namespace
