#include "app/start_up.h"
#include "support/message_box.h"
#include "support/monitor.h"
#include "support/panel_fixture.h"
#include "support/wait.h"

#include <QApplication>
#include <QScreen>

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

TEST_F(StartUpTest, DefaultsOfThePanelState)
{
    EXPECT_EQ(state().PortSettings, QStringLiteral("19200,N,8,1"));
    EXPECT_TRUE(state().CommandPrefix.isEmpty());
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_EQ(state().SendPending, 0);
    EXPECT_EQ(state().ArrowMode, 0);
    EXPECT_EQ(state().PressureValue, 0);
    EXPECT_EQ(state().PanelUnlocked, 0);
    EXPECT_TRUE(state().LastCommand.isEmpty());
    EXPECT_TRUE(state().TypedCommand.isEmpty());
    EXPECT_TRUE(state().ReceiveBuffer.isEmpty());
    for (int t = 1; t <= 4; ++t)
        EXPECT_FALSE(form->timer(t).enabled()) << "Timer" << t;
}

TEST_F(StartUpTest, CompactWindowCentredForItsDesignedHeight)
{
    EXPECT_EQ(form->heightTwips(), 5350);
    EXPECT_EQ(form->height(), (5350 - 370) / 15);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // Centred for 9100 twips, then shrunk at the bottom edge.
    const int expectedTop = screen.y() + int((screen.height() * 15.0 - 9100) / 2 / 15);
    EXPECT_EQ(form->frameGeometry().top(), expectedTop);
    EXPECT_LT(form->frameGeometry().center().y(), screen.center().y());
}

TEST_F(StartUpTest, EndClosesThePortAndEndsTheProgramAtOnce)
{
    click("Command3"); // a reply is awaited and the monitor shows a line
    ASSERT_TRUE(form->timer(2).enabled());
    QTimer::singleShot(0, [this] { click("Command16"); });
    EXPECT_EQ(runEventLoopUntilExit(), 0);
    EXPECT_FALSE(form->comm().portOpen());
    EXPECT_FALSE(form->isVisible());
    for (int t = 1; t <= 4; ++t)
        EXPECT_FALSE(form->timer(t).enabled()) << "Timer" << t;
    const QString sent = monitorText(*form, "Label11");
    pumpEvents(600);
    EXPECT_EQ(monitorText(*form, "Label11"), sent) << "no timer fires after the end";
}

TEST_F(StartUpTest, EndWithThePortAlreadyClosedEndsNormally)
{
    form->comm().setPortOpen(false);
    QTimer::singleShot(0, [this] { click("Command16"); });
    EXPECT_EQ(runEventLoopUntilExit(), 0);
    EXPECT_FALSE(form->comm().portOpen());
}

TEST(StartUpFailure, MissingPortIsReportedAndTheProgramEndsWithoutAWindow)
{
    qputenv("VELNO_COM1", "/dev/velno-no-such-port");
    auto seen = answerNextMessageBox();
    const int status = runControlPanel(*qApp);
    qunsetenv("VELNO_COM1");
    EXPECT_NE(status, 0);
    ASSERT_TRUE(seen->seen);
    EXPECT_TRUE(seen->text.contains(QStringLiteral("2"))) << seen->text.toStdString();
    EXPECT_TRUE(seen->text.contains(QStringLiteral("No such file or directory")));
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
}

} // namespace
