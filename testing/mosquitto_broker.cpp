// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/mosquitto_broker.h"

#include "testing/loopback_port.h"
#include "testing/wait.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kLaunchTries = 20;

bool acceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool up = socket.waitForConnected(500);
    socket.abort();
    return up;
}

QString tlsFile(const QString &name)
{
    return QStringLiteral(VELNO_BRIDGE_TLS_DIR "/") + name;
}

} // namespace

QString MosquittoBroker::tlsCaFile()
{
    return tlsFile(QStringLiteral("ca.pem"));
}

QString MosquittoBroker::unrelatedCaFile()
{
    return tlsFile(QStringLiteral("other-ca.pem"));
}

MosquittoBroker::~MosquittoBroker()
{
    if (process_) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void MosquittoBroker::requireLogin(const QString &username, const QString &password)
{
    passwordFile_ = dir_.filePath(QStringLiteral("passwords"));
    const int status =
        QProcess::execute(QStringLiteral(VELNO_MOSQUITTO_PASSWD),
                          {QStringLiteral("-c"), QStringLiteral("-b"), passwordFile_, username, password});
    if (status != 0)
        log_ += QStringLiteral("mosquitto_passwd exited with %1\n").arg(status);
    // The broker may drop root for its own user before reading the file.
    QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFileDevice::ExeOther);
    QFile::setPermissions(passwordFile_, QFile::permissions(passwordFile_) | QFileDevice::ReadOther);
}

bool MosquittoBroker::start()
{
    const bool portChosenHere = port_ == 0;
    for (int attempt = 0; attempt < kLaunchTries; ++attempt) {
        if (portChosenHere && (port_ == 0 || attempt > 0))
            port_ = unusedLoopbackPort();
        switch (launch()) {
        case Launch::Up: return true;
        case Launch::Failed: return false;
        case Launch::PortTaken:
            // Another program took a port we picked: pick again. Our own port
            // can be held briefly after a stop: wait for it.
            if (!portChosenHere)
                QThread::msleep(250);
            break;
        }
    }
    return false;
}

MosquittoBroker::Launch MosquittoBroker::launch()
{
    const QString configPath = dir_.filePath(QStringLiteral("mosquitto.conf"));
    QFile config(configPath);
    if (!dir_.isValid() || !config.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        log_ += QStringLiteral("cannot write %1\n").arg(configPath);
        return Launch::Failed;
    }
    QString text = QStringLiteral("listener %1 127.0.0.1\n"
                                  "allow_anonymous true\n"
                                  "persistence false\n"
                                  "log_dest stderr\n"
                                  "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n")
                       .arg(port_);
    if (!passwordFile_.isEmpty())
        text.replace(QLatin1String("allow_anonymous true"),
                     QStringLiteral("allow_anonymous false\npassword_file %1").arg(passwordFile_));
    if (tcpNoDelay_)
        text += QStringLiteral("set_tcp_nodelay true\n");
    if (tls_) {
        text += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                    .arg(tlsCaFile(), tlsFile(QStringLiteral("broker.pem")),
                         tlsFile(QStringLiteral("broker.key")));
    }
    config.write(text.toUtf8());
    config.close();

    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QStringLiteral(VELNO_MOSQUITTO_BROKER), {QStringLiteral("-c"), configPath});
    if (!process_->waitForStarted(kStartTimeoutMs)) {
        log_ += QStringLiteral("cannot run %1: %2\n")
                    .arg(QStringLiteral(VELNO_MOSQUITTO_BROKER), process_->errorString());
        process_.reset();
        return Launch::Failed;
    }
    // Up means: this broker, in this launch, says it listens (so it holds the
    // port: another test's broker may have taken it while ours was stopped),
    // and the port answers.
    const QString listening = QStringLiteral("listen socket on port %1").arg(port_);
    const qsizetype launchLog = log_.size();
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        process_->waitForReadyRead(50);
        collectOutput();
        const QStringView said = QStringView(log_).mid(launchLog);
        if (process_->state() != QProcess::Running) {
            const bool taken = said.contains(QLatin1String("Address already in use"));
            process_.reset();
            return taken ? Launch::PortTaken : Launch::Failed;
        }
        if (said.contains(listening) && acceptsConnections(port_))
            return Launch::Up;
    }
    log_ += QStringLiteral("broker not up within %1 ms\n").arg(kStartTimeoutMs);
    stop();
    return Launch::Failed;
}

void MosquittoBroker::collectOutput()
{
    if (process_)
        log_ += QString::fromLocal8Bit(process_->readAll());
}

void MosquittoBroker::stop()
{
    if (!process_)
        return;
    // A SIGTERM that lands while the broker is still starting can be lost: repeat it.
    QDeadlineTimer deadline(5000);
    do {
        process_->terminate();
    } while (!process_->waitForFinished(100) && !deadline.hasExpired());
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
    collectOutput();
    process_.reset();
}

MqttLinkSettings MosquittoBroker::clientSettings(const QString &clientId) const
{
    MqttLinkSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port_;
    settings.clientId = clientId;
    settings.keepAliveSeconds = 10;
    if (tls_)
        settings.caFile = tlsCaFile();
    return settings;
}

MessageCollector::MessageCollector(const MosquittoBroker &broker, const QString &clientId,
                                   const QStringList &filters)
    : link_(broker.clientSettings(clientId)), probeTopic_(QStringLiteral("collector/%1/probe").arg(clientId))
{
    QObject::connect(&link_, &MqttLink::messageReceived, &link_,
                     [this](const QString &topic, const QByteArray &payload) {
                         messages_.push_back({topic, payload});
                     });
    for (const QString &filter : filters)
        link_.subscribe(filter);
    // Last: the broker takes subscriptions in order, so once this one works all do.
    link_.subscribe(probeTopic_);
    link_.start();
}

bool MessageCollector::waitReady(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (!waitUntil([this] { return link_.isConnected(); }, timeoutMs))
        return false;
    return link_.publish(probeTopic_, QByteArrayLiteral("probe"), false, 1) &&
           take(probeTopic_, int(deadline.remainingTime())).has_value();
}

std::optional<QByteArray> MessageCollector::take(const QString &topic, int timeoutMs)
{
    const auto untaken = [&] {
        return std::find_if(messages_.begin(), messages_.end(),
                            [&](const Received &m) { return !m.taken && m.topic == topic; });
    };
    if (!waitUntil([&] { return untaken() != messages_.end(); }, timeoutMs))
        return std::nullopt;
    auto message = untaken();
    message->taken = true;
    return message->payload;
}

QList<QByteArray> MessageCollector::seen(const QString &topic) const
{
    QList<QByteArray> payloads;
    for (const Received &message : messages_) {
        if (message.topic == topic)
            payloads << message.payload;
    }
    return payloads;
}
