// SPDX-License-Identifier: GPL-3.0-or-later
// velno-cmd as scripts meet it: its own process against the simulated
// projector, on a pseudo-terminal or a TCP port, read by its output and exit
// status.

#include "protocol/commands.h"
#include "sim/pty_server.h"
#include "support/printers.h"
#include "support/test_names.h"
#include "testing/wait.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <csignal>
#include <gtest/gtest.h>

namespace {

constexpr int kGenerousMs = 15000;

struct CmdRun {
    int status = -1;
    QString out;
    QString err;
};

CmdRun velnoCmd(const QStringList &arguments)
{
    QProcess cmd;
    cmd.start(QStringLiteral(VELNO_CMD_EXE), arguments);
    CmdRun run;
    if (!cmd.waitForFinished(kGenerousMs)) {
        cmd.kill();
        cmd.waitForFinished();
        return run;
    }
    run.status = cmd.exitStatus() == QProcess::NormalExit ? cmd.exitCode() : -1;
    run.out = QString::fromUtf8(cmd.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(cmd.readAllStandardError());
    return run;
}

class CmdProgram : public ::testing::Test {
protected:
    void startProjector(sim::FaultSettings fault = {})
    {
        projector.setFault(fault);
        ASSERT_TRUE(projector.start());
    }
    QString port() const { return QString::fromStdString(projector.devicePath()); }
    CmdRun ask(QStringList arguments)
    {
        return velnoCmd(QStringList{QStringLiteral("--port"), port()} + arguments);
    }

    sim::PtyServer projector{sim::PowerTimings{1500, 1000}};
};

// --- What each kind of reply prints ----------------------------------------

struct QueryCase {
    const char *name;
    const char *rxd;    // the RXD line
    const char *status; // the decoded words
};

const QueryCase kQueries[] = {
    {"status", "RXD 8 0 CR", " Stand by"},
    {"input", "RXD 1 CR", " Computer 1"},
    {"lamp-time", "RXD 1 2 3 4 CR", " 1 2 3 4 CR  Hour Use"},
    {"temp", "RXD   3 5 . 5 ,   4 0 . 0 ,   4 1 . 5 CR",
     "  S1=   3 5 . 5 C  ,   S2=  4 0 . 0 C , S3=   4 1 . 5 C"},
    {"info", "RXD K T 7 0   P V 7 0   P V 7 5 CR", " K T 7 0   P V 7 0   P V 7 5 CR "},
    {"pressure", "RXD 5 1 2 CR", "650 hPa"},
};

class CmdQuery : public CmdProgram, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(CmdQuery, PrintsTheMonitorLinesAndTheSameAsJson)
{
    startProjector();
    const QueryCase &q = GetParam();
    const Command *command = findCommand(QString::fromLatin1(q.name));
    ASSERT_NE(command, nullptr);

    const CmdRun plain = ask({QString::fromLatin1(q.name)});
    ASSERT_EQ(plain.status, 0) << plain.err.toStdString();
    const QStringList lines = plain.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << plain.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("TXD C R"))) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QString::fromLatin1(q.rxd));
    // The words follow the label after one blank, theirs or one added.
    const QString words = QString::fromLatin1(q.status);
    EXPECT_EQ(lines[2], QStringLiteral("STATUS") + (words.startsWith(' ') ? words : ' ' + words));

    const CmdRun json = ask({QStringLiteral("--json"), QString::fromLatin1(q.name)});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    ASSERT_EQ(json.out.count(QLatin1Char('\n')), 1) << "one object on one line";
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o.value(QStringLiteral("command")).toString(), QString::fromLatin1(q.name));
    EXPECT_EQ(o.value(QStringLiteral("code")).toString(), QString::fromLatin1(command->code));
    EXPECT_EQ(o.value(QStringLiteral("sent")).toString(),
              QString::fromLatin1(command->code) + QLatin1Char('\r'));
    EXPECT_TRUE(o.value(QStringLiteral("reply")).toString().endsWith(QLatin1Char('\r')));
    QString rendered = o.value(QStringLiteral("rendered")).toString();
    while (rendered.endsWith(' '))
        rendered.chop(1);
    EXPECT_EQ(QStringLiteral("RXD") + rendered, QString::fromLatin1(q.rxd));
    EXPECT_EQ(o.value(QStringLiteral("status")).toString(), QString::fromLatin1(q.status));
    EXPECT_EQ(o.value(QStringLiteral("answered")), QJsonValue(true));
    EXPECT_TRUE(o.value(QStringLiteral("elapsed_ms")).isDouble());
}

INSTANTIATE_TEST_SUITE_P(EachDecodingKind, CmdQuery, ::testing::ValuesIn(kQueries), [](const auto &info) {
    return test_names::identifier(QString::fromLatin1(info.param.name));
});

// --- Exit statuses ----------------------------------------------------------

TEST_F(CmdProgram, ExitStatusSaysWhatHappened)
{
    sim::FaultSettings late;
    late.mode = sim::Fault::Late;
    late.lateDelayMs = 700;
    startProjector(late);
    // The reply comes after status's own 500 ms window, within a longer one.
    EXPECT_EQ(ask({QStringLiteral("status")}).status, 3);
    EXPECT_EQ(ask({QStringLiteral("--timeout"), QStringLiteral("2000"), QStringLiteral("status")}).status, 0);

    const CmdRun missing = velnoCmd(
        {QStringLiteral("--port"), QStringLiteral("/dev/velno-no-such-port"), QStringLiteral("status")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("No such file or directory")))
        << missing.err.toStdString();

    for (const QStringList &bad :
         {QStringList{QStringLiteral("no-such-command")}, QStringList{},
          QStringList{QStringLiteral("--speed"), QStringLiteral("4800"), QStringLiteral("status")},
          QStringList{QStringLiteral("--watch"), QStringLiteral("1"), QStringLiteral("power-on")},
          QStringList{QStringLiteral("--timeout"), QStringLiteral("soon"), QStringLiteral("status")},
          QStringList{QStringLiteral("send")}, QStringList{QStringLiteral("--bogus")}}) {
        const CmdRun usage = ask(bad);
        EXPECT_EQ(usage.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(usage.err.contains(QStringLiteral("Usage:"))) << usage.err.toStdString();
    }
    // A wildcard would make the reply topic match every projector's replies.
    const CmdRun wildcard =
        velnoCmd({QStringLiteral("--port"), QStringLiteral("mqtt://127.0.0.1:1/hall"),
                  QStringLiteral("--topic-prefix"), QStringLiteral("+"), QStringLiteral("status")});
    EXPECT_EQ(wildcard.status, 2);
    EXPECT_TRUE(wildcard.err.contains(QStringLiteral("--topic-prefix"))) << wildcard.err.toStdString();
}

TEST_F(CmdProgram, SilentGarbledAndRefusingProjectors)
{
    sim::FaultSettings fault;
    fault.mode = sim::Fault::Silent;
    startProjector(fault);
    const CmdRun silent = ask({QStringLiteral("--json"), QStringLiteral("--timeout"), QStringLiteral("300"),
                               QStringLiteral("status")});
    EXPECT_EQ(silent.status, 3);
    const QJsonObject nothing = QJsonDocument::fromJson(silent.out.toUtf8()).object();
    EXPECT_EQ(nothing.value(QStringLiteral("answered")), QJsonValue(false));
    EXPECT_EQ(nothing.value(QStringLiteral("rendered")).toString(), QStringLiteral(" X X X X"));
    EXPECT_TRUE(nothing.value(QStringLiteral("status")).isNull());

    fault.mode = sim::Fault::Garbage;
    projector.setFault(fault);
    const CmdRun garbage = ask({QStringLiteral("--json"), QStringLiteral("status")});
    EXPECT_EQ(garbage.status, 0) << "an answer arrived, whatever it says";
    const QJsonObject o = QJsonDocument::fromJson(garbage.out.toUtf8()).object();
    ASSERT_FALSE(o.isEmpty()) << "control bytes still make valid JSON";
    // All 256 byte values in order: the reply is complete at the first carriage return.
    QString upToReturn;
    for (int b = 0; b <= '\r'; ++b)
        upToReturn += QChar(b);
    EXPECT_EQ(o.value(QStringLiteral("reply")).toString(), upToReturn);
    EXPECT_FALSE(o.contains(QStringLiteral("error"))) << "a status query is refused by \"?\" only";

    fault.mode = sim::Fault::Refuse;
    projector.setFault(fault);
    for (const char *command : {"power-on", "status"}) {
        const CmdRun refused = ask({QStringLiteral("--json"), QLatin1String(command)});
        EXPECT_EQ(refused.status, 4) << command;
        EXPECT_TRUE(refused.err.contains(QStringLiteral("refused by the projector"))) << command;
        const QJsonObject said = QJsonDocument::fromJson(refused.out.toUtf8()).object();
        EXPECT_EQ(said.value(QStringLiteral("error")).toString(), QStringLiteral("refused by the projector"));
    }
}

TEST_F(CmdProgram, SendTypesTheTextAsTheSendButtonWould)
{
    startProjector();
    const CmdRun run = ask({QStringLiteral("send"), QStringLiteral("CR PRESSURE")});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("STATUS 650 hPa\n"))) << run.out.toStdString();
    EXPECT_EQ(projector.receivedLines().back(), "CR PRESSURE");
}

TEST_F(CmdProgram, WatchReportsThePowerOnCountDownAsItChanges)
{
    startProjector();
    ASSERT_EQ(ask({QStringLiteral("power-on")}).status, 0);
    QProcess watch;
    watch.start(QStringLiteral(VELNO_CMD_EXE),
                {QStringLiteral("--port"), port(), QStringLiteral("--json"), QStringLiteral("--watch"),
                 QStringLiteral("1"), QStringLiteral("status")});
    QStringList seen;
    QDeadlineTimer deadline(kGenerousMs);
    while (!seen.contains(QStringLiteral(" Power ON")) && !deadline.hasExpired() &&
           watch.waitForReadyRead(int(deadline.remainingTime()))) {
        while (watch.canReadLine())
            seen << QJsonDocument::fromJson(watch.readLine())
                        .object()
                        .value(QStringLiteral("status"))
                        .toString();
    }
    ::kill(pid_t(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(kGenerousMs));
    EXPECT_EQ(watch.exitCode(), 0);
    EXPECT_EQ(seen, (QStringList{QStringLiteral(" Count down"), QStringLiteral(" Power ON")}))
        << "one line per change, none repeated";
}

TEST_F(CmdProgram, WatchNeverAsksAgainBeforeTheAnswerIsIn)
{
    // Each answer takes 1.5 s, longer than the 1 s period: a question falls
    // due while the one before still waits, and goes out after its answer.
    sim::FaultSettings late;
    late.mode = sim::Fault::Late;
    late.lateDelayMs = 1500;
    startProjector(late);
    QProcess watch;
    watch.start(QStringLiteral(VELNO_CMD_EXE),
                {QStringLiteral("--port"), port(), QStringLiteral("--json"), QStringLiteral("--watch"),
                 QStringLiteral("1"), QStringLiteral("mute")});
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(watch.waitForReadyRead(kGenerousMs));
    const QJsonObject first = QJsonDocument::fromJson(watch.readLine()).object();
    EXPECT_EQ(first.value(QStringLiteral("answered")), QJsonValue(true));
    EXPECT_EQ(first.value(QStringLiteral("status")).toString(), QStringLiteral(" Stand by"));
    const auto asked = [&] {
        const std::vector<std::string> lines = projector.receivedLines();
        return std::count(lines.begin(), lines.end(), "CRA");
    };
    ASSERT_TRUE(waitUntil([&] { return asked() >= 3; }, kGenerousMs));
    // The third question waits for the second answer: never before 3 s.
    EXPECT_GE(clock.elapsed(), 2800);
    ::kill(pid_t(watch.processId()), SIGINT);
    ASSERT_TRUE(watch.waitForFinished(kGenerousMs));
    EXPECT_EQ(watch.exitCode(), 0);
}

TEST_F(CmdProgram, InterruptedCommandSucceedsOnlyIfAnswered)
{
    sim::FaultSettings silent;
    silent.mode = sim::Fault::Silent;
    startProjector(silent);
    QProcess cmd;
    cmd.start(QStringLiteral(VELNO_CMD_EXE), {QStringLiteral("--port"), port(), QStringLiteral("--timeout"),
                                              QStringLiteral("60000"), QStringLiteral("status")});
    ASSERT_TRUE(waitUntil([&] { return !projector.receivedLines().empty(); }, kGenerousMs));
    ::kill(pid_t(cmd.processId()), SIGTERM);
    ASSERT_TRUE(cmd.waitForFinished(kGenerousMs));
    EXPECT_EQ(cmd.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cmd.exitCode(), 3);
    EXPECT_TRUE(QString::fromUtf8(cmd.readAllStandardOutput()).contains(QStringLiteral("RXD X X X X")));
}

TEST_F(CmdProgram, ListNamesEveryCommandWithItsCodeAndWhatItDoes)
{
    const CmdRun list = velnoCmd({QStringLiteral("--list")});
    ASSERT_EQ(list.status, 0);
    const QStringList lines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), qsizetype(commandTable().size()));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Command &c = commandTable()[std::size_t(i)];
        const QString expected =
            QStringLiteral("%1 %2 ").arg(QLatin1String(c.name), -18).arg(QLatin1String(c.code), -22);
        EXPECT_TRUE(lines[i].startsWith(expected)) << lines[i].toStdString();
        EXPECT_TRUE(lines[i].endsWith(QLatin1String(c.description))) << lines[i].toStdString();
        EXPECT_GT(lines[i].size(), expected.size()) << "no description: " << lines[i].toStdString();
    }
}

// --- Through a serial device server --------------------------------------

TEST(CmdOverTcp, AQueryOverSocketAndTheWaysAConnectionFails)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.listen("127.0.0.1", 0));
    const QString url = QString::fromStdString(projector.devicePath());
    ASSERT_TRUE(url.startsWith(QStringLiteral("socket://127.0.0.1:"))) << url.toStdString();
    const CmdRun run = velnoCmd({QStringLiteral("--port"), url, QStringLiteral("pc2")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(velnoCmd({QStringLiteral("--port"), url, QStringLiteral("input")}).out.split('\n').value(2),
              QStringLiteral("STATUS Computer 2"));

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 freePort = closed.serverPort();
    closed.close();
    const CmdRun refused =
        velnoCmd({QStringLiteral("--port"), QStringLiteral("socket://127.0.0.1:%1").arg(freePort),
                  QStringLiteral("status")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("Connection refused"))) << refused.err.toStdString();

    // A device server serving someone else says so before it hangs up.
    QTcpSocket holder;
    holder.connectToHost(QHostAddress::LocalHost, quint16(QUrl(url).port()));
    ASSERT_TRUE(holder.waitForConnected(kGenerousMs));
    // The server accepts in order: the holder is its client, whoever comes next is turned away.
    const CmdRun busy = velnoCmd({QStringLiteral("--port"), url, QStringLiteral("status")});
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.err.contains(QStringLiteral("\"Port already in use\""))) << busy.err.toStdString();
    EXPECT_TRUE(velnoCmd({QStringLiteral("--help")}).out.contains(QStringLiteral("socket://HOST:PORT")));

    const CmdRun unknown =
        velnoCmd({QStringLiteral("--port"), QStringLiteral("socket://no-such-host.invalid:4001"),
                  QStringLiteral("status")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Host not found"))) << unknown.err.toStdString();
}

} // namespace
