// SPDX-License-Identifier: GPL-3.0-or-later
// A PJLink client from npm, as a building's control system would run it,
// against velno-bridge with a simulated projector behind it.

#include "bridge_program_fixture.h"
#include "testing/loopback_port.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

TEST_F(BridgeProgramTest, PjlinkClientPowersSwitchesMutesAndReads)
{
    QTemporaryDir dir;
    const quint16 port = unusedLoopbackPort();
    ASSERT_TRUE(dir.isValid() && port);
    const QString passwordFile = dir.filePath(QStringLiteral("pjlink-password"));
    ASSERT_TRUE(writeFile(passwordFile, "secret\n"));
    QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner);
    const QString config = dir.filePath(QStringLiteral("bridge.conf"));
    ASSERT_TRUE(writeFile(config, QStringLiteral("[projector hall]\nport = %1\nname = Hall A\n"
                                                 "pjlink = 127.0.0.1:%2\npjlink-password-file = %3\n")
                                      .arg(QString::fromStdString(hall.devicePath()))
                                      .arg(port)
                                      .arg(passwordFile)
                                      .toUtf8()));
    QStringList arguments = bridgeArguments({}, 10);
    arguments[1] = config;
    bridge = std::make_unique<BridgeProcess>(arguments);
    ASSERT_TRUE(
        waitUntil([&] { return logText().find("PJLink on 127.0.0.1") != std::string::npos; }, kEventMs))
        << logText();
    waitFirstRound(kHall);

    QProcess client;
    client.setWorkingDirectory(QStringLiteral(VELNO_PJLINK_CLIENT_DIR));
    client.start(QStringLiteral("node"),
                 {QStringLiteral("client.js"), QStringLiteral("127.0.0.1"), QString::number(port),
                  QStringLiteral("secret"), QStringLiteral("wrong")});
    ASSERT_TRUE(client.waitForFinished(kEventMs)) << client.readAllStandardError().toStdString();
    ASSERT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();

    std::map<QString, QJsonObject> seen;
    for (const QByteArray &line : client.readAllStandardOutput().split('\n'))
        if (!line.isEmpty()) {
            const QJsonObject step = QJsonDocument::fromJson(line).object();
            seen[step.value(QStringLiteral("step")).toString()] = step;
        }
    // Each step: the error the client reported (null: none) and the value it read.
    const QJsonValue none(QJsonValue::Null);
    const QJsonArray lamps{QJsonObject{{"hours", 1234}, {"on", true}}};
    const struct {
        const char *step;
        QJsonValue error;
        QJsonValue value;
    } expected[] = {
        {"class", none, QStringLiteral("1")},
        {"name", none, QJsonArray{QStringLiteral("Hall"), QStringLiteral("A")}},
        {"power before", none, 0},
        {"power on", none, none},
        {"power on while warming", QStringLiteral("Unavailable time"), none},
        {"power after warm-up", none, 1},
        {"input pc2", none, none},
        {"input", none, QJsonObject{{"source", 1}, {"channel", 2}, {"code", "12"}, {"name", "RGB - 2"}}},
        {"mute both", none, none},
        {"mute", none, QJsonObject{{"audio", true}, {"video", true}}},
        {"lamps", none, lamps},
        {"errors", none, none},
        {"manufacturer", none, QStringLiteral("VELNO")},
        {"model", none, QStringLiteral("KT70 PV70 PV75")},
        {"wrong password", QStringLiteral("Authorization failed"), none},
    };
    for (const auto &e : expected) {
        SCOPED_TRACE(e.step);
        ASSERT_TRUE(seen.count(QString::fromLatin1(e.step)));
        const QJsonObject &step = seen[QString::fromLatin1(e.step)];
        EXPECT_EQ(step.value(QStringLiteral("error")), e.error);
        EXPECT_EQ(step.value(QStringLiteral("value")), e.value);
    }
    EXPECT_EQ(seen[QStringLiteral("inputs")].value(QStringLiteral("value")).toArray().size(), 3);
    EXPECT_TRUE(received(hall, "C06"));
    EXPECT_TRUE(received(hall, "C0D") && received(hall, "C0B"));
    // The refusal is logged, the password never.
    EXPECT_TRUE(waitUntil([&] {
        return logText().find("closed for a wrong or missing password") != std::string::npos;
    })) << logText();
    EXPECT_EQ(logText().find("secret"), std::string::npos);
}
