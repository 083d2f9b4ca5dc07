// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge_rig.h"

#include "protocol/commands.h"
#include "testing/process_gauge.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

std::vector<std::string> queryCodes()
{
    std::vector<std::string> codes;
    for (const Command &c : commandTable())
        if (c.statusQuery)
            codes.push_back(c.code);
    return codes;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

double millisBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

LineLog::LineLog(sim::PtyServer &projector)
{
    projector.setLineHandler([this](const std::string &text) {
        const Line line{Clock::now(), text};
        Hook hook;
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            index = lines_.size();
            lines_.push_back(line);
            hook = hook_;
        }
        if (hook)
            hook(index, line);
    });
}

std::size_t LineLog::size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
}

LineLog::Line LineLog::at(std::size_t index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.at(index);
}

void LineLog::setHook(Hook hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

bool LineLog::waitSettled(std::size_t from, std::size_t count, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto remainingMs = [&] { return int(std::max(0.0, millisBetween(Clock::now(), deadline))); };
    if (!runUntil([&] { return size() >= from + count; }, remainingMs()))
        return false;
    return runUntil(
        [&] {
            std::lock_guard<std::mutex> lock(mutex_);
            double longestGap = 0;
            for (std::size_t i = from + 1; i < lines_.size(); ++i)
                longestGap = std::max(longestGap, millisBetween(lines_[i - 1].at, lines_[i].at));
            return millisBetween(lines_.back().at, Clock::now()) >= std::max(50.0, 1.5 * longestGap);
        },
        remainingMs());
}

MessageLog::MessageLog(MqttLink &link)
{
    QObject::connect(&link, &MqttLink::messageReceived, &link,
                     [this](const QString &topic, const QByteArray &payload) {
                         messages_.push_back({Clock::now(), topic, payload});
                     });
}

std::vector<std::size_t> MessageLog::on(const QString &topic, std::size_t from) const
{
    std::vector<std::size_t> indices;
    for (std::size_t i = from; i < messages_.size(); ++i)
        if (messages_[i].topic == topic)
            indices.push_back(i);
    return indices;
}

bool MessageLog::waitFor(const QString &topic, const QByteArray &payload, std::size_t from,
                         int timeoutMs) const
{
    return runUntil(
        [&] {
            for (std::size_t i : on(topic, from))
                if (messages_[i].payload == payload)
                    return true;
            return false;
        },
        timeoutMs);
}

int sendAtOnceOnConnectionsTo(quint16 brokerPort)
{
    int set = 0;
    for (const QString &entry : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        bool isNumber = false;
        const int fd = entry.toInt(&isNumber);
        int type = 0;
        socklen_t typeLength = sizeof type;
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        if (!isNumber || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 ||
            type != SOCK_STREAM || ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != brokerPort)
            continue;
        const int on = 1;
        set += ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 1 : 0;
    }
    return set;
}

namespace {

QStringList bridgeArguments(quint16 brokerPort, int pollSeconds, const QStringList &projectors)
{
    QStringList arguments{QStringLiteral("--broker"), QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort),
                          QStringLiteral("--poll"), QString::number(pollSeconds)};
    for (const QString &projector : projectors)
        arguments << QStringLiteral("--projector") << projector;
    return arguments;
}

} // namespace

BridgeRun::BridgeRun(const QString &program, quint16 brokerPort, int pollSeconds,
                     const QStringList &projectors)
    : BridgeRun(program, bridgeArguments(brokerPort, pollSeconds, projectors))
{
}

BridgeRun::BridgeRun(const QString &program, const QStringList &arguments)
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program, arguments);
}

BridgeRun::~BridgeRun()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

BridgeRun::Ending BridgeRun::stop(int timeoutMs)
{
    Ending ending;
    const qint64 pid = process_.processId();
    const Clock::time_point from = Clock::now();
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        ending.exited = process_.waitForFinished(timeoutMs);
        if (!ending.exited) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    } else {
        ending.exited = true; // it had ended before: the status says how
    }
    ending.ms = millisBetween(from, Clock::now());
    if (ending.exited && process_.exitStatus() == QProcess::NormalExit)
        ending.status = process_.exitCode();
    ending.gone = pid <= 0 || !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
    return ending;
}

QString BridgeRun::logTail()
{
    log_ += QString::fromLocal8Bit(process_.readAll());
    if (process_.state() == QProcess::NotRunning && process_.error() == QProcess::FailedToStart)
        log_ += process_.errorString() + QLatin1Char('\n');
    return log_.split(QLatin1Char('\n'))
        .mid(std::max<qsizetype>(0, log_.count(QLatin1Char('\n')) - 20))
        .join(QLatin1Char('\n'));
}

bool connectPjlink(QTcpSocket &client, quint16 port)
{
    for (int i = 0; i < 100 && client.state() != QAbstractSocket::ConnectedState; ++i) {
        client.connectToHost(QHostAddress::LocalHost, port);
        if (!client.waitForConnected(1000))
            QThread::msleep(100);
    }
    return client.waitForReadyRead(5000) && client.readAll() == "PJLINK 0\r";
}

void printEnding(const BridgeRun::Ending &ending)
{
    std::printf("velno-bridge on SIGTERM: %s after %.0f ms, %s\n",
                ending.exited ? qPrintable(QStringLiteral("ended with status %1").arg(ending.status))
                              : "still running, killed",
                ending.ms, ending.gone ? "no process left" : "its process still there");
}

int judgeRun(Gate &gate, const BridgeRun::Ending &ending, const QString &logTail)
{
    gate.check(QStringLiteral("the bridge ended on SIGTERM with status 0, no process left"),
               ending.exited && ending.status == 0 && ending.gone);
    std::printf("finished %s, nproc %d, load average %s\n",
                qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)),
                QThread::idealThreadCount(), qPrintable(loadAverages()));
    const int status = gate.finish();
    if (status != 0 && !logTail.isEmpty())
        std::printf("the bridge's last log lines:\n%s\n", qPrintable(logTail));
    return status;
}
