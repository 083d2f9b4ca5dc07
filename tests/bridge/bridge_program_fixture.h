// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// velno-bridge as its own process between a real broker and simulated
// projectors, watched from the broker as an automation system would watch it.

#include "testing/mosquitto_broker.h"

#include "sim/pty_server.h"
#include "testing/wait.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

// A poll round waits out nine reply windows; generous bounds around it.
inline constexpr int kRoundMs = 60000;
inline constexpr int kEventMs = 30000;
inline const QString kPrefix = QStringLiteral("velno");
inline const QString kHall = QStringLiteral("hall");
inline const QString kLab = QStringLiteral("lab");

inline QString topic(const QString &id, const QString &leaf)
{
    return kPrefix + QLatin1Char('/') + id + QLatin1Char('/') + leaf;
}

inline QString endpoint(const QString &id, const sim::PtyServer &server)
{
    return id + QLatin1Char('=') + QString::fromStdString(server.devicePath());
}

inline bool received(const sim::PtyServer &server, const std::string &line)
{
    const std::vector<std::string> lines = server.receivedLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The program under test; its stderr is kept for assertions and failure messages.
class BridgeProcess {
public:
    explicit BridgeProcess(const QStringList &arguments,
                           const QString &program = QStringLiteral(VELNO_BRIDGE_EXE))
    {
        process_.start(program, arguments);
    }
    qint64 pid() const { return process_.processId(); }
    bool isRunning() const { return process_.state() == QProcess::Running; }
    ~BridgeProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QStringList logLines()
    {
        log_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return log_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // SIGTERM; the exit status, or -1 when the program did not end by itself in time.
    int terminate()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000) || process_.exitStatus() != QProcess::NormalExit)
            return -1;
        return process_.exitCode();
    }

private:
    QProcess process_;
    QString log_;
};

class BridgeProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(broker.start()) << broker.log().toStdString();
        std::string error;
        ASSERT_TRUE(hall.start(&error)) << error;
        watch =
            std::make_unique<MessageCollector>(broker, QStringLiteral("watch"), QStringList{kPrefix + "/#"});
        ASSERT_TRUE(watch->waitReady());
    }

    QStringList bridgeArguments(const QStringList &projectors, int pollSeconds) const
    {
        // An empty configuration: whatever this machine has in /etc stays out of the test.
        QStringList arguments{
            QStringLiteral("--config"), QStringLiteral("/dev/null"),
            QStringLiteral("--broker"), QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
            QStringLiteral("--poll"),   QString::number(pollSeconds)};
        for (const QString &projector : projectors)
            arguments << QStringLiteral("--projector") << projector;
        return arguments;
    }

    // Runs the bridge and waits until every projector is announced online.
    void runBridge(const QStringList &projectors, int pollSeconds, const QStringList &more = {})
    {
        bridge = std::make_unique<BridgeProcess>(bridgeArguments(projectors, pollSeconds) + more);
        for (const QString &projector : projectors) {
            const QString id = projector.section(QLatin1Char('='), 0, 0);
            // A device server may connect after the broker did: "offline" comes first then.
            std::optional<QByteArray> state;
            do
                state = watch->take(topic(id, "availability"), kEventMs);
            while (state == QByteArray("offline"));
            ASSERT_EQ(state, QByteArray("online")) << logText();
        }
    }

    // The first poll round is through once its last query has an answer.
    void waitFirstRound(const QString &id)
    {
        ASSERT_TRUE(watch->take(topic(id, "status/lamp-mode"), kRoundMs)) << logText();
    }

    QJsonObject command(const QString &id, const QByteArray &payload, MessageCollector *via = nullptr)
    {
        MessageCollector &client = via ? *via : *watch;
        client.link().publish(topic(id, "command"), payload, false, 1);
        const auto reply = client.take(topic(id, "reply"), kEventMs);
        return reply ? QJsonDocument::fromJson(*reply).object() : QJsonObject();
    }

    std::string logText() { return bridge ? bridge->logLines().join(QLatin1Char('\n')).toStdString() : ""; }

    MosquittoBroker broker;
    // Short power timings: the count-down is over within a poll round.
    sim::PtyServer hall{sim::PowerTimings{1000, 1000}};
    std::unique_ptr<MessageCollector> watch;
    std::unique_ptr<BridgeProcess> bridge;
};
