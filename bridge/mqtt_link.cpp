// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/mqtt_link.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

Q_LOGGING_CATEGORY(lcMqtt, "velno.bridge.mqtt")

namespace {

void initialiseLibraryOnce()
{
    // Never cleaned up: links may outlive main() as statics, and the process ends anyway.
    static const bool initialised = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)initialised;
}

// The library's sentences go in the middle of a log line.
QString withoutFullStop(QString text)
{
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// errnoValue: errno as it was when the library failed (it is overwritten quickly).
QString describeError(int rc, int errnoValue)
{
    return withoutFullStop(rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errnoValue))
                                                : QString::fromUtf8(mosquitto_strerror(rc)));
}

void logSubscribeFailure(const QString &filter, const QString &reason)
{
    qCWarning(lcMqtt).noquote() << QStringLiteral("cannot subscribe to %1: %2").arg(filter, reason);
}

constexpr int kHousekeepingIntervalMs = 1000;
constexpr int kFinalQos = 1;

} // namespace

namespace {

// Text MQTT can carry: valid UTF-8 of at most 65535 bytes, without NUL or
// control characters.
QString textProblem(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("it is empty");
    if (bytes.size() > 65535)
        return QStringLiteral("it is longer than MQTT allows (65535 bytes)");
    if (mosquitto_validate_utf8(bytes.constData(), int(bytes.size())) != MOSQ_ERR_SUCCESS)
        return QStringLiteral("it holds a control character or a NUL");
    return {};
}

QString topicProblem(const QString &topic, bool filter)
{
    const QByteArray bytes = topic.toUtf8();
    if (const QString problem = textProblem(bytes); !problem.isEmpty())
        return problem;
    const int rc = filter ? mosquitto_sub_topic_check2(bytes.constData(), std::size_t(bytes.size()))
                          : mosquitto_pub_topic_check2(bytes.constData(), std::size_t(bytes.size()));
    if (rc == MOSQ_ERR_SUCCESS)
        return {};
    return filter ? QStringLiteral("it is not a valid topic filter")
                  : QStringLiteral("'+' and '#' are wildcards, not allowed in topic names");
}

} // namespace

QString MqttLink::topicNameProblem(const QString &topic)
{
    initialiseLibraryOnce();
    return topicProblem(topic, false);
}

QString MqttLink::topicFilterProblem(const QString &filter)
{
    initialiseLibraryOnce();
    return topicProblem(filter, true);
}

QString MqttLink::clientIdProblem(const QString &clientId)
{
    initialiseLibraryOnce();
    return textProblem(clientId.toUtf8());
}

MqttLink::MqttLink(MqttLinkSettings settings, QObject *parent)
    : QObject(parent), settings_(std::move(settings))
{
    initialiseLibraryOnce();
    const QByteArray id = settings_.clientId.toUtf8();
    client_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (client_) {
        mosquitto_connect_callback_set(client_, &MqttLink::onConnect);
        mosquitto_disconnect_callback_set(client_, &MqttLink::onDisconnect);
        mosquitto_publish_callback_set(client_, &MqttLink::onPublish);
        mosquitto_message_callback_set(client_, &MqttLink::onMessage);
        mosquitto_subscribe_callback_set(client_, &MqttLink::onSubscribe);
    }
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &MqttLink::attemptConnection);
    handshakeTimer_.setSingleShot(true);
    connect(&handshakeTimer_, &QTimer::timeout, this, [this] {
        connectionLost(tr("no answer from the broker within %1 s").arg(kHandshakeTimeoutMs / 1000));
    });
    housekeepingTimer_.setInterval(kHousekeepingIntervalMs);
    connect(&housekeepingTimer_, &QTimer::timeout, this, &MqttLink::housekeeping);
}

MqttLink::~MqttLink()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    // Closes the socket without a DISCONNECT packet, so the broker sends the will.
    if (client_)
        mosquitto_destroy(client_);
}

bool MqttLink::start()
{
    if (state_ != State::Idle) {
        lastError_ = tr("already started");
        return false;
    }
    if (!applySettings())
        return false;
    housekeepingTimer_.start();
    attemptConnection();
    return true;
}

bool MqttLink::applySettings()
{
    if (!client_) {
        lastError_ = tr("cannot create an MQTT client (out of memory, or a client id without clean session)");
        return false;
    }
    if (settings_.host.isEmpty() || settings_.port == 0) {
        lastError_ = tr("no broker host or port");
        return false;
    }
    if (settings_.keepAliveSeconds < 5) {
        lastError_ = tr("keep-alive must be at least 5 s");
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A reply follows the acknowledgement of its command at once; with
    // Nagle's algorithm it would wait for the broker's delayed ACK (~40 ms).
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    if (!settings_.username.isEmpty()) {
        const QByteArray user = settings_.username.toUtf8();
        // The library takes a C string: a NUL would cut the password short.
        if (settings_.password.contains('\0')) {
            lastError_ = tr("the password holds a NUL byte, which cannot be sent");
            return false;
        }
        const QByteArray &password = settings_.password;
        const int rc = mosquitto_username_pw_set(client_, user.constData(),
                                                 password.isEmpty() ? nullptr : password.constData());
        if (rc != MOSQ_ERR_SUCCESS) {
            lastError_ = tr("username refused: %1").arg(describeError(rc, errno));
            return false;
        }
    }
    settings_.password.clear(); // the library holds its own copy
    if (!settings_.caFile.isEmpty()) {
        const QByteArray caFile = settings_.caFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(client_, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            lastError_ = tr("CA file %1 refused: %2").arg(settings_.caFile, describeError(rc, errno));
            return false;
        }
    }
    if (settings_.hasWill) {
        const QByteArray topic = settings_.will.topic.toUtf8();
        const QByteArray &payload = settings_.will.payload;
        const int rc = mosquitto_will_set(client_, topic.constData(), int(payload.size()),
                                          payload.constData(), kFinalQos, settings_.will.retained);
        if (rc != MOSQ_ERR_SUCCESS) {
            lastError_ =
                tr("last will on %1 refused: %2").arg(settings_.will.topic, describeError(rc, errno));
            return false;
        }
    }
    return true;
}

QString MqttLink::brokerName() const
{
    const bool ipv6 = settings_.host.contains(QLatin1Char(':'));
    const QString host = ipv6 ? QLatin1Char('[') + settings_.host + QLatin1Char(']') : settings_.host;
    return host + QLatin1Char(':') + QString::number(settings_.port);
}

// ---- Connecting and retrying ----

void MqttLink::attemptConnection()
{
    if (state_ == State::Stopped)
        return;
    state_ = State::Connecting;
    const QByteArray host = settings_.host.toUtf8();
    const int rc =
        mosquitto_connect_async(client_, host.constData(), settings_.port, settings_.keepAliveSeconds);
    const int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        connectionLost(describeError(rc, savedErrno));
        return;
    }
    watchSocket();
    handshakeTimer_.start(kHandshakeTimeoutMs);
    afterLibraryCall(rc);
}

void MqttLink::connectionLost(const QString &reason)
{
    const bool wasConnected = state_ == State::Connected;
    if (!wasConnected && state_ != State::Connecting)
        return;
    dropSocketWatch();
    handshakeTimer_.stop();
    const int delayMs = retryDelayMs_;
    scheduleRetry();
    // One line per outage: the attempts that fail after it are not news,
    // and a broker away for hours would otherwise fill the journal.
    if (wasConnected) {
        qCWarning(lcMqtt).noquote() << QStringLiteral("connection to %1 lost: %2; reconnecting in %3 s")
                                           .arg(brokerName(), reason)
                                           .arg(delayMs / 1000);
    } else if (!outageLogged_) {
        qCWarning(lcMqtt).noquote() << QStringLiteral("cannot connect to %1: %2; retrying in %3 s")
                                           .arg(brokerName(), reason)
                                           .arg(delayMs / 1000);
    }
    outageLogged_ = true;
    if (wasConnected)
        emit disconnected(reason);
}

void MqttLink::scheduleRetry()
{
    state_ = State::WaitingToRetry;
    retryTimer_.start(retryDelayMs_);
    retryDelayMs_ = std::min(retryDelayMs_ * 2, kLongestRetryDelayMs);
}

// ---- The socket in the event loop ----

void MqttLink::watchSocket()
{
    dropSocketWatch();
    const int fd = mosquitto_socket(client_);
    if (fd < 0)
        return;
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &MqttLink::readReady);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &MqttLink::writeReady);
}

void MqttLink::dropSocketWatch()
{
    // Possibly called from the notifier's own signal: never delete it there.
    for (auto *notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
}

void MqttLink::readReady()
{
    afterLibraryCall(mosquitto_loop_read(client_, 1));
}

void MqttLink::writeReady()
{
    afterLibraryCall(mosquitto_loop_write(client_, 1));
}

void MqttLink::housekeeping()
{
    // Keep-alive pings, and noticing a broker that stopped answering them.
    if (state_ == State::Connecting || state_ == State::Connected)
        afterLibraryCall(mosquitto_loop_misc(client_));
}

void MqttLink::afterLibraryCall(int rc)
{
    const int savedErrno = errno;
    if (writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
    dispatchEvents();
    // A socket the library closed without telling us why (no callback) is a lost connection too.
    if ((state_ == State::Connecting || state_ == State::Connected) && mosquitto_socket(client_) < 0)
        connectionLost(describeError(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc, savedErrno));
}

// ---- Callbacks: they only collect; signals go out once the library call has returned ----

void MqttLink::onConnect(mosquitto *, void *self, int rc)
{
    auto *link = static_cast<MqttLink *>(self);
    if (rc == 0)
        link->pendingEvents_.push_back({Event::Kind::Accepted, {}, {}});
    else
        link->pendingEvents_.push_back(
            {Event::Kind::Refused, withoutFullStop(QString::fromUtf8(mosquitto_connack_string(rc))), {}});
}

void MqttLink::onDisconnect(mosquitto *, void *self, int rc)
{
    const int savedErrno = errno;
    auto *link = static_cast<MqttLink *>(self);
    link->pendingEvents_.push_back({Event::Kind::Lost, describeError(rc, savedErrno), {}});
}

void MqttLink::onPublish(mosquitto *, void *self, int mid)
{
    static_cast<MqttLink *>(self)->unacknowledged_.erase(mid);
}

void MqttLink::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *link = static_cast<MqttLink *>(self);
    link->pendingEvents_.push_back(
        {Event::Kind::Message, QString::fromUtf8(message->topic),
         QByteArray(static_cast<const char *>(message->payload), message->payloadlen), message->retain,
         message->mid});
}

void MqttLink::onSubscribe(mosquitto *, void *self, int mid, int count, const int *grantedQos)
{
    // 0x80 in a SUBACK: the broker refused the filter (an ACL, most often).
    constexpr int kRefused = 0x80;
    auto *link = static_cast<MqttLink *>(self);
    for (int i = 0; i < count; ++i)
        if (grantedQos[i] == kRefused)
            link->pendingEvents_.push_back({Event::Kind::SubscriptionRefused, {}, {}, false, mid});
}

void MqttLink::dispatchEvents()
{
    if (dispatching_)
        return; // the outer dispatch goes on with what was added
    dispatching_ = true;
    QPointer<MqttLink> alive(this);
    while (!pendingEvents_.empty()) {
        const Event event = std::move(pendingEvents_.front());
        pendingEvents_.pop_front();
        handleEvent(event);
        if (!alive)
            return; // a slot deleted us
    }
    dispatching_ = false;
}

void MqttLink::handleEvent(const Event &event)
{
    switch (event.kind) {
    case Event::Kind::Accepted:
        if (state_ != State::Connecting)
            return;
        state_ = State::Connected;
        handshakeTimer_.stop();
        retryDelayMs_ = kFirstRetryDelayMs;
        outageLogged_ = false;
        qCInfo(lcMqtt).noquote() << QStringLiteral("connected to %1").arg(brokerName());
        pendingSubscriptions_.clear();
        for (const auto &[filter, qos] : subscriptions_)
            sendSubscription(filter, qos);
        afterLibraryCall(MOSQ_ERR_SUCCESS);
        if (state_ == State::Connected)
            emit connected();
        return;
    case Event::Kind::Refused: connectionLost(tr("refused by the broker: %1").arg(event.text)); return;
    case Event::Kind::Lost: connectionLost(event.text); return;
    case Event::Kind::Message:
        if (state_ == State::Connected)
            emit messageReceived(event.text, event.payload, event.retained);
        return;
    case Event::Kind::SubscriptionRefused: {
        const auto refused = pendingSubscriptions_.find(event.mid);
        logSubscribeFailure(refused == pendingSubscriptions_.end() ? tr("a topic") : refused->second,
                            tr("refused by the broker (not authorised?)"));
        return;
    }
    }
}

// ---- Publishing and subscribing ----

bool MqttLink::publish(const QString &topic, const QByteArray &payload, bool retained, int qos)
{
    if (state_ != State::Connected)
        return false;
    const QByteArray topicBytes = topic.toUtf8();
    const int rc = mosquitto_publish(client_, nullptr, topicBytes.constData(), int(payload.size()),
                                     payload.constData(), qos, retained);
    const int savedErrno = errno;
    afterLibraryCall(rc);
    if (rc != MOSQ_ERR_SUCCESS) {
        qCWarning(lcMqtt).noquote()
            << QStringLiteral("cannot publish to %1: %2").arg(topic, describeError(rc, savedErrno));
        return false;
    }
    return true;
}

void MqttLink::subscribe(const QString &topicFilter, int qos)
{
    auto known = std::find_if(subscriptions_.begin(), subscriptions_.end(),
                              [&](const auto &entry) { return entry.first == topicFilter; });
    if (known != subscriptions_.end())
        known->second = qos;
    else
        subscriptions_.emplace_back(topicFilter, qos);
    if (state_ != State::Connected)
        return; // sent on connecting
    sendSubscription(topicFilter, qos);
    afterLibraryCall(MOSQ_ERR_SUCCESS);
}

void MqttLink::sendSubscription(const QString &filter, int qos)
{
    const QByteArray topic = filter.toUtf8();
    int mid = 0;
    const int rc = mosquitto_subscribe(client_, &mid, topic.constData(), qos);
    if (rc != MOSQ_ERR_SUCCESS)
        logSubscribeFailure(filter, describeError(rc, errno));
    else
        pendingSubscriptions_[mid] = filter;
}

// ---- Shutting down ----

// Drives the socket directly, outside the event loop, so that nothing else
// runs while the program is on its way out.
template <class Done> bool MqttLink::pumpUntil(Done done, const QDeadlineTimer &deadline)
{
    while (!done()) {
        const int fd = mosquitto_socket(client_);
        if (fd < 0 || deadline.hasExpired())
            return done();
        pollfd watched{fd, short(POLLIN | (mosquitto_want_write(client_) ? POLLOUT : 0)), 0};
        const int waitMs = int(std::clamp<qint64>(deadline.remainingTime(), 0, 100));
        if (::poll(&watched, 1, waitMs) < 0 && errno != EINTR)
            return done();
        if (watched.revents & (POLLIN | POLLHUP | POLLERR))
            mosquitto_loop_read(client_, 1);
        if (mosquitto_socket(client_) >= 0 && mosquitto_want_write(client_))
            mosquitto_loop_write(client_, 1);
    }
    return true;
}

bool MqttLink::shutdown(const std::vector<MqttMessage> &finalMessages, int timeoutMs)
{
    const bool wasConnected = state_ == State::Connected;
    state_ = State::Stopped;
    retryTimer_.stop();
    handshakeTimer_.stop();
    housekeepingTimer_.stop();
    dropSocketWatch();
    if (!wasConnected) {
        qCWarning(lcMqtt).noquote()
            << QStringLiteral("not connected to %1 at shutdown; the final messages are left to the will")
                   .arg(brokerName());
        return false;
    }

    const QDeadlineTimer deadline(timeoutMs);
    unacknowledged_.clear();
    bool allQueued = true;
    for (const MqttMessage &message : finalMessages) {
        const QByteArray topic = message.topic.toUtf8();
        int mid = 0;
        const int rc = mosquitto_publish(client_, &mid, topic.constData(), int(message.payload.size()),
                                         message.payload.constData(), kFinalQos, message.retained);
        if (rc == MOSQ_ERR_SUCCESS)
            unacknowledged_.insert(mid);
        else
            allQueued = false;
    }
    const bool acknowledged = pumpUntil([this] { return unacknowledged_.empty(); }, deadline) && allQueued;
    pendingEvents_.clear();
    if (!acknowledged) {
        qCWarning(lcMqtt).noquote()
            << QStringLiteral("final messages not acknowledged by %1 within %2 ms; dropping the connection "
                              "so that the broker sends the will")
                   .arg(brokerName())
                   .arg(timeoutMs);
        const int fd = mosquitto_socket(client_);
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        return false;
    }
    mosquitto_disconnect(client_);
    pumpUntil([this] { return mosquitto_socket(client_) < 0; }, deadline);
    pendingEvents_.clear();
    qCInfo(lcMqtt).noquote() << QStringLiteral("disconnected from %1").arg(brokerName());
    return true;
}
