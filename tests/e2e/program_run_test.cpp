// The real program, started as its own process against a pseudo-terminal,
// watched from the far end of the line and, where windows matter, driven
// with xdotool on a private X server.

#include "e2e/x_display.h"
#include "session/projector_session.h"
#include "sim/pty_server.h"
#include "support/pty_peer.h"
#include "support/wait.h"
#include "window/form1.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kGenerousMs = 10000;
const QString kPanelTitle = QStringLiteral("^VELNO   KT70");
// The title of the program's message boxes (its application name).
const QString kBoxTitle = QStringLiteral("^velno-control$");

// Where a control's centre lies in the window, in the window's own pixels:
// the layout is fixed, so a window built here has it where the program has.
QPoint centreOf(const char *control)
{
    ProjectorSession session;
    Form1 form(session);
    const QWidget *widget = form.control(control);
    return widget->mapTo(&form, widget->rect().center());
}

// Whether the process has the device open, also after the device is gone.
bool holdsOpen(qint64 pid, const QString &device)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    const QString removed = device + QStringLiteral(" (deleted)");
    return std::any_of(entries.begin(), entries.end(), [&](const QString &fd) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        return target == device || target == removed;
    });
}

class ProgramRun : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (panel.state() == QProcess::NotRunning)
            return;
        panel.kill();
        panel.waitForFinished(kGenerousMs);
    }

    void startPanel(const QString &com1, QProcessEnvironment environment)
    {
        environment.insert(QStringLiteral("VELNO_COM1"), com1);
        environment.remove(QStringLiteral("VELNO_COM2"));
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(VELNO_CONTROL_EXE), QStringList());
        ASSERT_TRUE(panel.waitForStarted(kGenerousMs)) << panel.errorString().toStdString();
    }
    // Start-up is over once the program holds COM1 open.
    bool portOpened(const QString &device)
    {
        return waitUntil([&] { return holdsOpen(panel.processId(), device); }, kGenerousMs);
    }
    bool endsWithin(int ms) { return panel.waitForFinished(ms); }
    std::string errors() { return panel.readAllStandardError().toStdString(); }

    QProcess panel;
};

TEST_F(ProgramRun, StartsWithoutSendingAnything)
{
    PtyPeer com1; // raw: every byte counts, not only whole lines
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    startPanel(com1.devicePath(), offscreen);
    ASSERT_TRUE(portOpened(com1.devicePath())) << errors();

    EXPECT_EQ(com1.readFor(1000), QByteArray());
    EXPECT_EQ(panel.state(), QProcess::Running) << errors();
    panel.terminate();
    EXPECT_TRUE(endsWithin(kGenerousMs));
}

class ProgramOnDisplay : public ProgramRun {
protected:
    void SetUp() override
    {
        const QStringList missing = XDisplay::missingTools();
        if (!missing.isEmpty())
            GTEST_SKIP() << "not installed: " << missing.join(QStringLiteral(", ")).toStdString()
                         << " (scripts/install-deps.sh installs them)";
        QString error;
        ASSERT_TRUE(display.start(&error)) << error.toStdString();
    }
    void startPanel(const QString &com1)
    {
        ProgramRun::startPanel(com1, display.environmentFor(QProcessEnvironment::systemEnvironment()));
    }

    XDisplay display;
};

TEST_F(ProgramOnDisplay, MissingCom1IsReportedThenTheProgramEndsWithoutAWindow)
{
    startPanel(QStringLiteral("/dev/velno-e2e-no-such-port"));
    const QString box = display.waitForWindow(kBoxTitle, kGenerousMs);
    ASSERT_FALSE(box.isEmpty()) << "no message box; stderr: " << errors();
    EXPECT_TRUE(display.windows(kPanelTitle, true).isEmpty()) << "the panel is up behind the box";

    // The box waits for the operator.
    EXPECT_FALSE(endsWithin(300));
    display.pressKey(box, QStringLiteral("Return"));
    ASSERT_TRUE(endsWithin(kGenerousMs));

    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(panel.exitCode(), 0);
    // The box's own text cannot be read from outside; the program puts the
    // same words on stderr.
    const std::string reported = errors();
    EXPECT_NE(reported.find("Run-time error 2:"), std::string::npos) << reported;
    EXPECT_NE(reported.find("No such file or directory"), std::string::npos) << reported;
    EXPECT_EQ(display.windows(QStringLiteral("VELNO"), false), QStringList());
}

TEST_F(ProgramOnDisplay, DeviceVanishingUnderTheRunningProgramDoesNotEndIt)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.start());
    const QString device = QString::fromStdString(projector.devicePath());
    startPanel(device);
    const QString window = display.waitForWindow(kPanelTitle, kGenerousMs);
    ASSERT_FALSE(window.isEmpty()) << errors();
    ASSERT_TRUE(portOpened(device));

    const QPoint pc2 = centreOf("Command28");
    display.click(window, pc2);
    ASSERT_TRUE(waitUntil([&] { return !projector.receivedLines().empty(); }, kGenerousMs));
    EXPECT_EQ(projector.receivedLines(), std::vector<std::string>{"C06"});

    projector.vanish();
    ASSERT_TRUE(waitUntil([&] { return !holdsOpen(panel.processId(), device); }, kGenerousMs))
        << "the program never let go of the lost device";
    display.click(window, pc2); // a send with no device behind the port
    EXPECT_FALSE(endsWithin(1000)) << errors();

    display.click(window, centreOf("Command16")); // "END"
    ASSERT_TRUE(endsWithin(kGenerousMs));
    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit) << errors();
    EXPECT_EQ(panel.exitCode(), 0);
}

} // namespace
