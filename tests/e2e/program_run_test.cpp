// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, started as its own process against a pseudo-terminal,
// watched from the far end of the line and, where windows matter, driven
// with xdotool on a private X server.

#include "e2e/x_display.h"
#include "session/panel_session.h"
#include "sim/pty_server.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"
#include "window/control_panel_window.h"

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
    PanelSession session;
    ControlPanelWindow form(session);
    const QWidget *widget = form.findChild<QWidget *>(QLatin1String(control));
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

    void startPanel(const QString &com1, QProcessEnvironment environment, const QStringList &arguments = {})
    {
        environment.insert(QStringLiteral("VELNO_COM1"), com1);
        environment.remove(QStringLiteral("VELNO_COM2"));
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(VELNO_CONTROL_EXE), arguments);
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
        if (!missing.isEmpty()) {
            const std::string why = "not installed: " + missing.join(QStringLiteral(", ")).toStdString() +
                                    " (scripts/install-deps.sh installs them)";
            // Where everything is meant to run, a missing tool is a failure.
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        QString error;
        ASSERT_TRUE(display.start(&error)) << error.toStdString();
    }
    void startPanel(const QString &com1, const QStringList &arguments = {})
    {
        ProgramRun::startPanel(com1, display.environmentFor(QProcessEnvironment::systemEnvironment()),
                               arguments);
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

TEST_F(ProgramOnDisplay, LostDeviceIsWarnedOnceAndAPortChoiceReconnects)
{
    sim::PtyServer projector;
    sim::PtyServer spare;
    ASSERT_TRUE(projector.start());
    ASSERT_TRUE(spare.start());
    const QString device = QString::fromStdString(projector.devicePath());
    startPanel(device, {QStringLiteral("--com2"), QString::fromStdString(spare.devicePath())});
    const QString window = display.waitForWindow(kPanelTitle, kGenerousMs);
    ASSERT_FALSE(window.isEmpty()) << errors();
    ASSERT_TRUE(portOpened(device));

    const QPoint pc2 = centreOf("Command28");
    display.click(window, pc2);
    ASSERT_TRUE(waitUntil([&] { return !projector.receivedLines().empty(); }, kGenerousMs));
    EXPECT_EQ(projector.receivedLines(), std::vector<std::string>{"C06"});

    projector.vanish();
    const QString box = display.waitForWindow(kBoxTitle, kGenerousMs);
    ASSERT_FALSE(box.isEmpty()) << "no warning of the loss; stderr: " << errors();
    ASSERT_TRUE(waitUntil([&] { return !holdsOpen(panel.processId(), device); }, kGenerousMs))
        << "the program never let go of the lost device";
    pumpEvents(500);
    EXPECT_EQ(display.windows(kBoxTitle, true).size(), 1) << "one warning per loss";
    display.pressKey(box, QStringLiteral("Return"));
    ASSERT_TRUE(waitUntil([&] { return display.windows(kBoxTitle, true).isEmpty(); }, kGenerousMs));

    display.click(window, pc2); // a send with no device behind the port
    EXPECT_FALSE(endsWithin(500)) << errors();
    display.click(window, centreOf("Command33")); // "COM"
    display.click(window, centreOf("Option2"));
    display.click(window, pc2);
    ASSERT_TRUE(waitUntil([&] { return !spare.receivedLines().empty(); }, kGenerousMs)) << errors();
    EXPECT_EQ(spare.receivedLines(), std::vector<std::string>{"C06"});

    display.click(window, centreOf("Command16")); // "END"
    ASSERT_TRUE(endsWithin(kGenerousMs));
    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit) << errors();
    EXPECT_EQ(panel.exitCode(), 0);
}

TEST_F(ProgramOnDisplay, TerminationDuringAHoldEndsCleanlyAndSendsNoMore)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.start());
    const QString device = QString::fromStdString(projector.devicePath());
    startPanel(device);
    const QString window = display.waitForWindow(kPanelTitle, kGenerousMs);
    ASSERT_FALSE(window.isEmpty()) << errors();
    ASSERT_TRUE(portOpened(device));

    display.press(window, centreOf("Command1")); // "VOL" "+" held: C09 every 250 ms
    ASSERT_TRUE(waitUntil([&] { return projector.receivedLines().size() >= 3; }, kGenerousMs));
    panel.terminate();
    ASSERT_TRUE(endsWithin(kGenerousMs));
    display.release();
    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit) << errors();
    EXPECT_EQ(panel.exitCode(), 0);
    const std::size_t sent = projector.receivedLines().size();
    pumpEvents(600);
    EXPECT_EQ(projector.receivedLines().size(), sent) << "a line after the end";
    for (const std::string &line : projector.receivedLines())
        EXPECT_EQ(line, "C09");
}

TEST_F(ProgramRun, CommandLineAnswersWithoutAWindowAndRefusesBadOptions)
{
    struct Case {
        QStringList arguments;
        int status;
        const char *output; // on stdout for 0, on stderr otherwise
    };
    const Case cases[] = {
        {{QStringLiteral("--version")}, 0, "velno-control 1.40"},
        {{QStringLiteral("--help")}, 0, "--list-ports"},
        {{QStringLiteral("--list-ports")}, 0, ""},
        {{QStringLiteral("--bogus")}, 2, "Unknown option 'bogus'"},
        {{QStringLiteral("--com1")}, 2, "Missing value after '--com1'"},
        {{QStringLiteral("--com2"), QString()}, 2, "'--com2'"},
        {{QStringLiteral("extra")}, 2, "Unexpected argument 'extra'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
        noDisplay.remove(QStringLiteral("DISPLAY"));
        noDisplay.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(noDisplay);
        program.start(QStringLiteral(VELNO_CONTROL_EXE), c.arguments);
        ASSERT_TRUE(program.waitForFinished(kGenerousMs));
        EXPECT_EQ(program.exitCode(), c.status);
        const QString out = QString::fromLocal8Bit(c.status == 0 ? program.readAllStandardOutput()
                                                                 : program.readAllStandardError());
        EXPECT_TRUE(out.contains(QString::fromLatin1(c.output))) << out.toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(out.contains(QStringLiteral("Usage: velno-control"))) << out.toStdString();
        }
    }
}

} // namespace
