// SPDX-License-Identifier: GPL-3.0-or-later
// Groups through the programs: velno-bridge between a real broker and
// simulated projectors, asked on a group's topic and by velno-cmd, alone
// and as one of two named bridges under one prefix.

#include "bridge_program_fixture.h"

#include "testing/loopback_port.h"

#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <csignal>

namespace {

const QString kAula = QStringLiteral("aula");
const QString kGone = QStringLiteral("gone");

QString groupTopic(const QString &group, const QString &leaf)
{
    return kPrefix + QStringLiteral("/group/") + group + QLatin1Char('/') + leaf;
}

QString sectionOf(const QString &id, const sim::PtyServer &server)
{
    return QStringLiteral("[projector %1]\nport = %2\n").arg(id, QString::fromStdString(server.devicePath()));
}

struct CmdRun {
    int status = -1;
    QStringList lines;
    QString err;
};

CmdRun velnoCmdGroup(const MosquittoBroker &broker, const QString &group, const QStringList &more = {})
{
    QProcess cmd;
    cmd.start(QStringLiteral(VELNO_CMD_EXE),
              QStringList{QStringLiteral("--port"),
                          QStringLiteral("mqtt://127.0.0.1:%1/group/%2").arg(broker.port()).arg(group)} +
                  more);
    CmdRun run;
    if (!cmd.waitForFinished(kEventMs))
        return run;
    run.status = cmd.exitStatus() == QProcess::NormalExit ? cmd.exitCode() : -1;
    run.lines = QString::fromUtf8(cmd.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.err = QString::fromLocal8Bit(cmd.readAllStandardError());
    return run;
}

class BridgeGroupsProgramTest : public BridgeProgramTest {
protected:
    void SetUp() override
    {
        BridgeProgramTest::SetUp();
        std::string error;
        ASSERT_TRUE(lab.start(&error)) << error;
        ASSERT_TRUE(aula.start(&error)) << error;
        sim::FaultSettings refusing;
        refusing.mode = sim::Fault::Refuse;
        aula.setFault(refusing);
        ASSERT_TRUE(dir.isValid());
    }

    QString writeConfig(const QString &name, const QString &body)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(
            QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:%1\npoll = 0\n").arg(broker.port()).toUtf8() +
            body.toUtf8());
        return path;
    }

    void waitOnline(const QStringList &ids)
    {
        for (const QString &id : ids)
            ASSERT_TRUE(waitUntil([&] { return watch->seen(topic(id, "availability")).contains("online"); },
                                  kEventMs))
                << id.toStdString() << logText();
    }

    QJsonObject groupCommand(const QString &group, const QByteArray &payload)
    {
        watch->link().publish(groupTopic(group, "command"), payload, false, 1);
        const auto reply = watch->take(groupTopic(group, "reply"), kEventMs);
        return reply ? QJsonDocument::fromJson(*reply).object() : QJsonObject();
    }

    sim::PtyServer lab{sim::PowerTimings{1000, 1000}};
    sim::PtyServer aula{sim::PowerTimings{1000, 1000}};
    QTemporaryDir dir;
};

struct HttpAnswer {
    int status = 0;
    QJsonDocument json;
};

HttpAnswer httpRequest(const QString &url, const QByteArray &method, const QByteArray &body = {})
{
    QNetworkAccessManager http;
    QNetworkRequest r{QUrl(url)};
    r.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply *reply = http.sendCustomRequest(r, method, body);
    EXPECT_TRUE(waitUntil([&] { return reply->isFinished(); }, kEventMs));
    HttpAnswer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      QJsonDocument::fromJson(reply->readAll())};
    delete reply;
    return answer;
}

// One answering twice, one refusing, one whose port cannot be opened: one
// reply with four outcomes on the broker, velno-cmd's line for each, and
// the same through the API.
TEST_F(BridgeGroupsProgramTest, AGroupOfFourAnswersOnceWithEachMembersOutcome)
{
    const quint16 webPort = unusedLoopbackPort();
    const QString config = writeConfig(
        QStringLiteral("bridge.conf"),
        sectionOf(kHall, hall) + sectionOf(kLab, lab) + sectionOf(kAula, aula) +
            QStringLiteral("[projector gone]\nport = socket://127.0.0.1:%1\n").arg(unusedLoopbackPort()) +
            QStringLiteral("[group east]\nprojectors = hall, lab, aula, gone\n") +
            QStringLiteral("[web]\nlisten = 127.0.0.1:%1\n").arg(webPort));
    bridge = std::make_unique<BridgeProcess>(QStringList{QStringLiteral("--config"), config});
    waitOnline({kHall, kLab, kAula});

    const QJsonObject reply = groupCommand(QStringLiteral("east"), R"({"command": "power-on", "id": "e1"})");
    EXPECT_EQ(reply.value("id").toString(), QStringLiteral("e1")) << logText();
    EXPECT_TRUE(reply.value("bridge").isNull());
    const QJsonObject members = reply.value("members").toObject();
    EXPECT_EQ(members.keys(), (QStringList{kAula, kGone, kHall, kLab}));
    for (const QString &id : {kHall, kLab}) {
        EXPECT_TRUE(members.value(id).toObject().value("answered").toBool()) << id.toStdString();
        EXPECT_FALSE(members.value(id).toObject().contains("error")) << id.toStdString();
    }
    EXPECT_EQ(members.value(kAula).toObject().value("error").toString(),
              QStringLiteral("refused by the projector"));
    EXPECT_EQ(members.value(kGone).toObject().value("error").toString(), QStringLiteral("projector offline"));
    EXPECT_TRUE(received(hall, "C00") && received(lab, "C00") && received(aula, "C00"));

    const QJsonObject typed = groupCommand(QStringLiteral("east"), "send X99");
    EXPECT_TRUE(typed.value("error").toString().contains(QLatin1String("named commands only"))) << logText();
    EXPECT_TRUE(typed.value("members").toObject().isEmpty());
    EXPECT_FALSE(received(hall, "X99"));

    const CmdRun run = velnoCmdGroup(broker, QStringLiteral("east"), {QStringLiteral("power-on")});
    EXPECT_EQ(run.status, 5) << "some followed, some did not: " << run.err.toStdString();
    EXPECT_EQ(run.lines, (QStringList{QStringLiteral("aula: refused by the projector"),
                                      QStringLiteral("gone: not run: projector offline"),
                                      QStringLiteral("hall: answered"), QStringLiteral("lab: answered")}));
    const CmdRun allDone =
        velnoCmdGroup(broker, QStringLiteral("all"), {QStringLiteral("--json"), QStringLiteral("status")});
    EXPECT_EQ(allDone.status, 5);
    ASSERT_EQ(allDone.lines.size(), 1) << "one reply, one JSON line";
    EXPECT_EQ(QJsonDocument::fromJson(allDone.lines[0].toUtf8()).object().value("members").toObject().size(),
              4);
    const CmdRun unknown = velnoCmdGroup(broker, QStringLiteral("west"), {QStringLiteral("power-on")});
    EXPECT_EQ(unknown.status, 1) << "nothing run";
    EXPECT_TRUE(unknown.err.contains(QLatin1String("no bridge has the group west")))
        << unknown.err.toStdString();

    const QString api = QStringLiteral("http://127.0.0.1:%1/api/groups").arg(webPort);
    const HttpAnswer list = httpRequest(api, "GET");
    ASSERT_EQ(list.status, 200);
    const QJsonObject east = list.json.array().at(1).toObject();
    EXPECT_EQ(list.json.array().at(0).toObject().value("id").toString(), QStringLiteral("all"));
    EXPECT_EQ(east.value("members").toArray().size(), 4);
    EXPECT_EQ(east.value("summary").toObject().value("offline").toInt(), 1);
    const HttpAnswer posted =
        httpRequest(api + QStringLiteral("/east/command"), "POST", R"({"command": "power-off", "id": 7})");
    EXPECT_EQ(posted.status, 207) << "some followed";
    EXPECT_EQ(posted.json.object().value("id").toInt(), 7);
    EXPECT_EQ(
        posted.json.object().value("members").toObject().value(kAula).toObject().value("error").toString(),
        QStringLiteral("refused by the projector"));
    EXPECT_EQ(httpRequest(api + QStringLiteral("/east/command"), "POST", "send X99").status, 400);
    EXPECT_EQ(httpRequest(api + QStringLiteral("/west/command"), "POST", "power-on").status, 404);
    EXPECT_EQ(bridge->terminate(), 0);
}

// A campus: two bridges under one prefix, each answering for its own
// members of the same group; the later one leaves a projector ID claimed
// by the other alone; one killed leaves the other's projectors available.
TEST_F(BridgeGroupsProgramTest, NamedBridgesUnderOnePrefixEachAnswerForTheirOwn)
{
    const QString north = writeConfig(QStringLiteral("north.conf"),
                                      QStringLiteral("bridge-name = north\n") + sectionOf(kHall, hall) +
                                          QStringLiteral("[group floor]\nprojectors = hall\n"));
    bridge = std::make_unique<BridgeProcess>(QStringList{QStringLiteral("--config"), north});
    waitOnline({kHall});
    ASSERT_TRUE(waitUntil([&] { return watch->seen(topic(kHall, "claim")).contains("north"); }, kEventMs));
    // The south's hall is another projector under the same ID: a mistake it is told about.
    const QString south =
        writeConfig(QStringLiteral("south.conf"),
                    QStringLiteral("bridge-name = south\n") + sectionOf(kLab, lab) + sectionOf(kHall, aula) +
                        QStringLiteral("[group floor]\nprojectors = lab, hall\n"));
    BridgeProcess second(QStringList{QStringLiteral("--config"), south});
    waitOnline({kLab});
    ASSERT_TRUE(
        waitUntil([&] { return !second.logLines().filter(QStringLiteral("claimed")).isEmpty(); }, kEventMs));
    const QStringList claimed = second.logLines().filter(QStringLiteral("claimed"));
    EXPECT_EQ(claimed.size(), 1);
    EXPECT_TRUE(claimed[0].contains(QLatin1String("velno/hall/claim")) &&
                claimed[0].contains(QLatin1String("'north'")))
        << claimed[0].toStdString();

    const CmdRun run = velnoCmdGroup(broker, QStringLiteral("floor"), {QStringLiteral("power-on")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.lines, (QStringList{QStringLiteral("hall: answered"), QStringLiteral("lab: answered")}));
    EXPECT_FALSE(received(aula, "C00")) << "the south's hall is not served";
    QStringList repliedBy;
    while (const auto reply = watch->take(groupTopic(QStringLiteral("floor"), "reply"), 1000))
        repliedBy << QJsonDocument::fromJson(*reply).object().value("bridge").toString();
    repliedBy.sort();
    EXPECT_EQ(repliedBy, (QStringList{QStringLiteral("north"), QStringLiteral("south")}));

    const qsizetype labSaid = watch->seen(topic(kLab, "availability")).size();
    ::kill(pid_t(bridge->pid()), SIGKILL);
    EXPECT_TRUE(waitUntil(
        [&] {
            return watch->seen(kPrefix + QStringLiteral("/bridge/north/availability")).contains("offline");
        },
        kEventMs));
    EXPECT_TRUE(watch->seen(kPrefix + QStringLiteral("/bridge/south/availability")).contains("online"));
    EXPECT_FALSE(watch->seen(topic(kLab, "availability")).mid(labSaid).contains("offline"));
    const CmdRun afterwards = velnoCmdGroup(broker, QStringLiteral("floor"), {QStringLiteral("power-off")});
    EXPECT_EQ(afterwards.lines, QStringList{QStringLiteral("lab: answered")});
    EXPECT_TRUE(afterwards.err.contains(QLatin1String("north"))) << "the offline bridge is named";
    EXPECT_EQ(second.terminate(), 0);
}

// A reload that changes the groups leaves every line as it was.
TEST_F(BridgeGroupsProgramTest, AReloadThatChangesAGroupKeepsTheLinesOpen)
{
    sim::PtyServer socketHall, socketLab;
    ASSERT_TRUE(socketHall.listen("127.0.0.1", 0));
    ASSERT_TRUE(socketLab.listen("127.0.0.1", 0));
    const QString projectors = sectionOf(kHall, socketHall) + sectionOf(kLab, socketLab);
    const QString config = writeConfig(QStringLiteral("bridge.conf"),
                                       projectors + QStringLiteral("[group east]\nprojectors = hall\n"));
    MessageCollector ha(broker, QStringLiteral("ha"), {QStringLiteral("homeassistant/button/#")});
    ASSERT_TRUE(ha.waitReady());
    bridge = std::make_unique<BridgeProcess>(QStringList{QStringLiteral("--config"), config});
    waitOnline({kHall, kLab});
    ASSERT_TRUE(watch->take(groupTopic(QStringLiteral("east"), "members/bridge"), kEventMs));

    writeConfig(QStringLiteral("bridge.conf"),
                projectors +
                    QStringLiteral("[group east]\nprojectors = hall, lab\n[group west]\nprojectors = lab\n"));
    ::kill(pid_t(bridge->pid()), SIGHUP);
    const auto east = watch->take(groupTopic(QStringLiteral("east"), "members/bridge"), kEventMs);
    EXPECT_EQ(east, QByteArray(R"(["hall","lab"])")) << logText();
    EXPECT_EQ(groupCommand(QStringLiteral("west"), "status").value("members").toObject().keys(),
              QStringList{kLab});
    writeConfig(QStringLiteral("bridge.conf"), projectors);
    ::kill(pid_t(bridge->pid()), SIGHUP);
    EXPECT_TRUE(waitUntil(
        [&] {
            const QList<QByteArray> west = watch->seen(groupTopic(QStringLiteral("west"), "members/bridge"));
            return !west.isEmpty() && west.back().isEmpty();
        },
        kEventMs))
        << "a group gone is cleared";
    // Home Assistant: the group west was a device with two buttons on its topic, and is no more.
    const QString westOff = QStringLiteral("homeassistant/button/velno-group_velno__west/power_off/config");
    EXPECT_TRUE(waitUntil([&] { return ha.seen(westOff).size() == 2; }, kEventMs));
    const QList<QByteArray> westSaid = ha.seen(westOff);
    EXPECT_EQ(QJsonDocument::fromJson(westSaid.value(0)).object().value("command_topic").toString(),
              groupTopic(QStringLiteral("west"), "command"));
    EXPECT_TRUE(westSaid.value(1).isEmpty());
    EXPECT_EQ(socketHall.connectionsAccepted(), 1);
    EXPECT_EQ(socketLab.connectionsAccepted(), 1);
    EXPECT_EQ(bridge->terminate(), 0);
}

} // namespace
