// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/mqtt_link.h"

#include "mqtt/mqtt_topics.h"
#include "session/precise_timer.h"

#include <QPointer>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

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

constexpr int kHousekeepingIntervalMs = 1000;
constexpr int kFinalQos = 1;

} // namespace

MqttLink::MqttLink(MqttLinkSettings settings, QObject *parent, const SessionTimerFactory &makeTimer)
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
    const SessionTimerFactory make = makeTimer ? makeTimer : makeCoarseTimer;
    backoff_ = new ReconnectBackoff(this, make);
    retryTimer_ = make(QStringLiteral("brokerRetry"), ReconnectBackoff::kFirstDelayMs, this);
    connect(retryTimer_, &SessionTimer::tick, this, [this] {
        retryTimer_->setEnabled(false);
        attemptConnection();
    });
    handshakeTimer_ = make(QStringLiteral("brokerHandshake"), kHandshakeTimeoutMs, this);
    connect(handshakeTimer_, &SessionTimer::tick, this, [this] {
        handshakeTimer_->setEnabled(false);
        connectionLost(Error::CannotConnect,
                       tr("no answer from the broker within %1 s").arg(kHandshakeTimeoutMs / 1000));
    });
    housekeepingTimer_ = make(QStringLiteral("brokerHousekeeping"), kHousekeepingIntervalMs, this);
    connect(housekeepingTimer_, &SessionTimer::tick, this, &MqttLink::housekeeping);
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
    if (phase_ != Phase::Idle) {
        lastError_ = tr("already started");
        return false;
    }
    if (!applySettings())
        return false;
    housekeepingTimer_->setEnabled(true);
    attemptConnection();
    return true;
}

MqttLink::State MqttLink::state() const
{
    switch (phase_) {
    case Phase::Connecting: return State::Connecting;
    case Phase::Connected: return State::Connected;
    case Phase::Idle:
    case Phase::WaitingToRetry:
    case Phase::Stopped: break;
    }
    return State::Disconnected;
}

void MqttLink::setPhase(Phase phase)
{
    const State before = state();
    phase_ = phase;
    if (state() != before)
        emit stateChanged(state());
}

// The connection's properties, MQTT 5's maximum packet size among them,
// are kept by the library for every later attempt; 4 is 3.1.1, without them.
bool MqttLink::speakVersion(int version)
{
    protocolVersion_ = version;
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION,
                         version == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_property *properties = nullptr;
    if (version == 5 &&
        mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                     uint32_t(settings_.maximumPacketBytes)) != MOSQ_ERR_SUCCESS) {
        lastError_ = tr("cannot set the maximum packet size");
        return false;
    }
    // The library stores the CONNECT properties before it checks the port
    // (-1: no attempt is made), and sends them with every non-blocking
    // connection after: its only non-blocking way to send them.
    const QByteArray host = settings_.host.toUtf8();
    const int rc = mosquitto_connect_bind_v5(client_, host.constData(), -1, settings_.keepAliveSeconds,
                                             nullptr, properties);
    mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_INVAL) {
        lastError_ = tr("cannot set the connection's properties: %1").arg(describeError(rc, errno));
        return false;
    }
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
    if (!speakVersion(5))
        return false;
    if (settings_.hasWill) {
        const QByteArray topic = settings_.will.topic.toUtf8();
        const QByteArray &payload = settings_.will.payload;
        const int rc =
            mosquitto_will_set_v5(client_, topic.constData(), int(payload.size()), payload.constData(),
                                  kFinalQos, settings_.will.retained, nullptr);
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
    if (phase_ == Phase::Stopped)
        return;
    setPhase(Phase::Connecting);
    const QByteArray host = settings_.host.toUtf8();
    const int rc =
        mosquitto_connect_async(client_, host.constData(), settings_.port, settings_.keepAliveSeconds);
    const int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        connectionLost(Error::CannotConnect, describeError(rc, savedErrno));
        return;
    }
    watchSocket();
    handshakeTimer_->setEnabled(true);
    afterLibraryCall(rc);
}

void MqttLink::connectionLost(Error error, const QString &reason)
{
    const bool wasConnected = phase_ == Phase::Connected;
    if (!wasConnected && phase_ != Phase::Connecting)
        return;
    dropSocketWatch();
    handshakeTimer_->setEnabled(false);
    scheduleRetry();
    emit errorOccurred(wasConnected && error == Error::CannotConnect ? Error::ConnectionLost : error, reason);
    if (wasConnected)
        emit disconnected(reason);
}

void MqttLink::scheduleRetry()
{
    retryDelayMs_ = backoff_->nextDelayMs();
    retryTimer_->setInterval(retryDelayMs_);
    retryTimer_->setEnabled(true);
    setPhase(Phase::WaitingToRetry);
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
    if (phase_ == Phase::Connecting || phase_ == Phase::Connected)
        afterLibraryCall(mosquitto_loop_misc(client_));
}

void MqttLink::afterLibraryCall(int rc)
{
    const int savedErrno = errno;
    if (writeNotifier_)
        writeNotifier_->setEnabled(mosquitto_want_write(client_));
    dispatchEvents();
    // A socket the library closed without telling us why (no callback) is a lost connection too.
    if ((phase_ == Phase::Connecting || phase_ == Phase::Connected) && mosquitto_socket(client_) < 0)
        connectionLost(Error::CannotConnect,
                       describeError(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc, savedErrno));
}

// ---- Callbacks: they only collect; signals go out once the library call has returned ----

void MqttLink::onConnect(mosquitto *, void *self, int rc)
{
    auto *link = static_cast<MqttLink *>(self);
    if (rc == 0) {
        link->pendingEvents_.push_back({Event::Kind::Accepted, {}, {}});
        return;
    }
    const char *words =
        link->protocolVersion_ == 5 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc);
    link->pendingEvents_.push_back(
        {Event::Kind::Refused, withoutFullStop(QString::fromUtf8(words)), {}, false, 0, rc});
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
        if (grantedQos[i] >= kRefused)
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
        if (phase_ != Phase::Connecting)
            return;
        handshakeTimer_->setEnabled(false);
        backoff_->opened();
        pendingSubscriptions_.clear();
        for (const MqttSubscription *subscription : subscriptions_)
            sendSubscription(subscription->filter(), subscription->qos());
        setPhase(Phase::Connected);
        afterLibraryCall(MOSQ_ERR_SUCCESS);
        if (phase_ == Phase::Connected)
            emit connected();
        return;
    case Event::Kind::Refused:
        // A broker of 3.1.1 refuses version 5 ("unacceptable protocol
        // version"): ask again at once in its own.
        if (protocolVersion_ == 5 &&
            (event.code == CONNACK_REFUSED_PROTOCOL_VERSION ||
             event.code == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION) &&
            speakVersion(4)) {
            dropSocketWatch();
            handshakeTimer_->setEnabled(false);
            mosquitto_disconnect(client_);
            setPhase(Phase::WaitingToRetry);
            QMetaObject::invokeMethod(this, &MqttLink::attemptConnection, Qt::QueuedConnection);
            return;
        }
        connectionLost(Error::Refused, tr("refused by the broker: %1").arg(event.text));
        return;
    case Event::Kind::Lost: connectionLost(Error::CannotConnect, event.text); return;
    case Event::Kind::Message: deliver(event); return;
    case Event::Kind::SubscriptionRefused: {
        const auto refused = pendingSubscriptions_.find(event.mid);
        emit errorOccurred(
            Error::SubscriptionRefused,
            tr("cannot subscribe to %1: refused by the broker (not authorised?)")
                .arg(refused == pendingSubscriptions_.end() ? tr("a topic") : refused->second));
        return;
    }
    }
}

void MqttLink::deliver(const Event &event)
{
    if (phase_ != Phase::Connected)
        return;
    QPointer<MqttLink> alive(this);
    emit messageReceived(event.text, event.payload, event.retained);
    const QByteArray topic = event.text.toUtf8();
    const MqttMessage message{event.text, event.payload, event.retained};
    // A copy: a handler may subscribe to more.
    const std::vector<MqttSubscription *> subscriptions = subscriptions_;
    for (MqttSubscription *subscription : subscriptions) {
        if (!alive)
            return;
        bool matches = false;
        const QByteArray filter = subscription->filter().toUtf8();
        mosquitto_topic_matches_sub(filter.constData(), topic.constData(), &matches);
        if (matches)
            emit subscription->messageReceived(message);
    }
}

// ---- Publishing and subscribing ----

bool MqttLink::publish(const QString &topic, const QByteArray &payload, bool retained, int qos)
{
    if (phase_ != Phase::Connected)
        return false;
    const QByteArray topicBytes = topic.toUtf8();
    const int rc = mosquitto_publish(client_, nullptr, topicBytes.constData(), int(payload.size()),
                                     payload.constData(), qos, retained);
    const int savedErrno = errno;
    afterLibraryCall(rc);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A connection going away is reported as such, once, not per message.
        const bool connectionGoing =
            rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST ||
            (rc == MOSQ_ERR_ERRNO && (savedErrno == EPIPE || savedErrno == ECONNRESET));
        if (!connectionGoing)
            emit errorOccurred(Error::PublishFailed,
                               tr("cannot publish to %1: %2").arg(topic, describeError(rc, savedErrno)));
        return false;
    }
    return true;
}

MqttSubscription *MqttLink::subscribe(const QString &topicFilter, int qos)
{
    for (MqttSubscription *known : subscriptions_)
        if (known->filter() == topicFilter)
            return known;
    auto *subscription = new MqttSubscription(topicFilter, qos, this);
    subscriptions_.push_back(subscription);
    if (phase_ == Phase::Connected) {
        sendSubscription(topicFilter, qos);
        afterLibraryCall(MOSQ_ERR_SUCCESS);
    }
    return subscription;
}

void MqttLink::unsubscribe(const QString &topicFilter)
{
    const auto found = std::find_if(subscriptions_.begin(), subscriptions_.end(),
                                    [&](const MqttSubscription *s) { return s->filter() == topicFilter; });
    if (found == subscriptions_.end())
        return;
    (*found)->deleteLater();
    subscriptions_.erase(found);
    if (phase_ == Phase::Connected) {
        const QByteArray topic = topicFilter.toUtf8();
        mosquitto_unsubscribe(client_, nullptr, topic.constData());
        afterLibraryCall(MOSQ_ERR_SUCCESS);
    }
}

void MqttLink::sendSubscription(const QString &filter, int qos)
{
    const QByteArray topic = filter.toUtf8();
    int mid = 0;
    const int rc = mosquitto_subscribe(client_, &mid, topic.constData(), qos);
    if (rc != MOSQ_ERR_SUCCESS)
        emit errorOccurred(Error::SubscriptionRefused,
                           tr("cannot subscribe to %1: %2").arg(filter, describeError(rc, errno)));
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
    const bool wasConnected = phase_ == Phase::Connected;
    setPhase(Phase::Stopped);
    retryTimer_->setEnabled(false);
    handshakeTimer_->setEnabled(false);
    housekeepingTimer_->setEnabled(false);
    dropSocketWatch();
    if (!wasConnected)
        return false;

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
        // Dropped, so that the broker sends the will.
        const int fd = mosquitto_socket(client_);
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        return false;
    }
    mosquitto_disconnect(client_);
    pumpUntil([this] { return mosquitto_socket(client_) < 0; }, deadline);
    pendingEvents_.clear();
    return true;
}
