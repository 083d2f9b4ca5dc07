// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/message_box.h"
#include "support/panel_fixture.h"
#include "support/printers.h"
#include "testing/wait.h"
#include "window/application_title.h"
#include "window/layout_table.h"
#include "window/start_up.h"

#include <QApplication>
#include <QScreen>
#include <cerrno>
#include <cstring>

namespace {

using StartUpTest = PanelTest;

// Runs the application's event loop until the program ends it; 99 when it
// does not end within a generous bound.
int runEventLoopUntilExit()
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    return QCoreApplication::exec();
}

TEST_F(StartUpTest, StartsIdleOnPortOneAtTheFastSpeed)
{
    EXPECT_TRUE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 1);
    EXPECT_EQ(session->settings(), QStringLiteral("19200,N,8,1"));
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_FALSE(session->isAwaitingReply());
    EXPECT_EQ(session->arrowMode(), ArrowMode::Off);
    EXPECT_FALSE(isUnlocked());
    EXPECT_TRUE(session->lastCommand().isEmpty());
    EXPECT_TRUE(session->receivedText().isEmpty());
    for (const char *name : {"Timer1", "Timer2", "Timer4"})
        EXPECT_FALSE(timer(name).enabled()) << name;
    EXPECT_FALSE(hideDelay().enabled()) << "Timer3";
}

TEST_F(StartUpTest, CompactWindowCentredForItsFullHeight)
{
    EXPECT_EQ(form->heightTwips(), 5350);
    EXPECT_EQ(form->height(), (5350 - 370) / 15);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // Centred for 9100 twips, then shrunk at the bottom edge.
    const int expectedTop = screen.y() + int((screen.height() * 15.0 - 9100) / 2 / 15);
    EXPECT_EQ(form->frameGeometry().top(), expectedTop);
    EXPECT_LT(form->frameGeometry().center().y(), screen.center().y());
}

// A window's position is that of its outer frame, so the frame's width is
// what is centred, not the client area's.
TEST_F(StartUpTest, WindowIsCentredByItsOuterWidth)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const double outerWidth =
        double(layout::kClientWidth + layout::kFrameSideAllowance) / layout::kTwipsPerPixel;
    EXPECT_NEAR(form->x(), screen.x() + screen.width() / 2.0 - outerWidth / 2.0, 1.0);
}

TEST_F(StartUpTest, EndClosesThePortAndEndsTheProgramAtOnce)
{
    click("Command3");                                      // a reply is awaited and the monitor shows a line
    QTest::mousePress(control("Command1"), Qt::LeftButton); // and "VOL" "+" is held
    ASSERT_TRUE(timer("Timer2").enabled());
    ASSERT_TRUE(timer("Timer1").enabled());
    QTimer::singleShot(0, [this] { click("Command16"); });
    EXPECT_EQ(runEventLoopUntilExit(), 0);
    EXPECT_FALSE(session->isPortOpen());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_FALSE(hideDelay().enabled()) << "Timer3";
    const QString sent = monitorText("Label11");
    for (const char *name : {"Timer1", "Timer2", "Timer4"})
        EXPECT_FALSE(timer(name).fire()) << name << " still runs after the end";
    EXPECT_EQ(monitorText("Label11"), sent);
    QTest::mouseRelease(control("Command1"), Qt::LeftButton); // the mouse as it was
}

TEST_F(StartUpTest, EndWithThePortAlreadyClosedEndsNormally)
{
    session->closePort();
    QTimer::singleShot(0, [this] { click("Command16"); });
    EXPECT_EQ(runEventLoopUntilExit(), 0);
    EXPECT_FALSE(session->isPortOpen());
}

TEST(StartUpFailure, MissingPortIsReportedAndTheProgramEndsWithoutAWindow)
{
    qputenv("VELNO_COM1", "/dev/velno-no-such-port");
    auto seen = answerNextMessageBox();
    QStringList logged;
    const int status = runControlPanel(*qApp, [&logged](const QString &line) { logged << line; });
    qunsetenv("VELNO_COM1");
    EXPECT_NE(status, 0);
    ASSERT_TRUE(seen->seen);
    // The error's number and the system's words for it, in the box and, on
    // one line, in the log.
    const QString words =
        QString::fromLocal8Bit(std::strerror(ENOENT)) + QStringLiteral(" (/dev/velno-no-such-port)");
    EXPECT_EQ(seen->text, QStringLiteral("Run-time error %1:\n\n%2").arg(ENOENT).arg(words));
    EXPECT_EQ(logged, QStringList{QStringLiteral("Run-time error %1: %2").arg(ENOENT).arg(words)});
    EXPECT_EQ(seen->icon, QMessageBox::Critical);
    EXPECT_EQ(seen->title, applicationTitle());
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
}

} // namespace
