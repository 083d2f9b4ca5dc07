// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One connection to an MQTT broker, driven by the Qt event loop of the thread
// that owns it: no thread of the library's own, so every signal arrives on
// the owner's thread and no locking is needed around the projectors.
//
// Shaped like Qt's own MQTT client: a state with stateChanged(), an
// errorOccurred() for what went wrong (the program decides what to log, so
// its journal has one format), and subscriptions that hand each message to
// whoever subscribed its filter. It reconnects by itself with backoff.
//
// It speaks MQTT 5 and tells the broker the largest packet it takes, so an
// oversized message is dropped by the broker and never reaches this
// process's memory; a broker that refuses version 5 is spoken to in 3.1.1.

#include "mqtt/mqtt_topics.h"
#include "session/reconnect_backoff.h"
#include "session/session_timer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retained = false;
};

struct MqttLinkSettings {
    QString host;
    quint16 port = mqtt_defaults::kPort;
    QString clientId;          // empty: the library makes one up
    int keepAliveSeconds = 30; // at least 5
    QString username;          // empty: anonymous
    QByteArray password;       // as the file holds it, byte for byte; never logged
    QString caFile;            // non-empty: TLS, the broker verified against it
    bool hasWill = false;
    MqttMessage will; // sent by the broker, at QoS 1, when the connection dies
    // The largest packet the broker may send us (MQTT 5); bigger ones it drops.
    int maximumPacketBytes = 64 * 1024;
};

// The messages of one topic filter. Owned by its link.
class MqttSubscription : public QObject {
    Q_OBJECT
public:
    MqttSubscription(const QString &filter, int qos, QObject *parent)
        : QObject(parent), filter_(filter), qos_(qos)
    {
    }
    const QString &filter() const { return filter_; }
    int qos() const { return qos_; }

signals:
    void messageReceived(const MqttMessage &message);

private:
    QString filter_;
    int qos_;
};

class MqttLink : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Connected };
    Q_ENUM(State)
    enum class Error {
        CannotConnect,       // an attempt failed; another follows after retryDelayMs()
        ConnectionLost,      // a connection that was up went away; likewise
        Refused,             // the broker said no (a login or client id it will not take); likewise
        SubscriptionRefused, // a filter the broker will not give us (an ACL, most often)
        PublishFailed,
    };
    Q_ENUM(Error)

    // A broker that accepts the TCP connection but never answers is given up on after this.
    static constexpr int kHandshakeTimeoutMs = 10000;

    explicit MqttLink(MqttLinkSettings settings, QObject *parent = nullptr,
                      const SessionTimerFactory &makeTimer = {});
    // Without shutdown() first, the connection is dropped as by a crash: the
    // broker publishes the will.
    ~MqttLink() override;

    MqttLink(const MqttLink &) = delete;
    MqttLink &operator=(const MqttLink &) = delete;

    // Applies the settings and makes the first attempt. A broker that cannot
    // be reached is retried with backoff; false (see lastError()) only for
    // settings the library refuses, such as an unreadable CA file.
    bool start();
    QString lastError() const { return lastError_; }

    State state() const;
    bool isConnected() const { return phase_ == Phase::Connected; }
    // HOST:PORT, for messages.
    QString brokerName() const;
    // The delay before the attempt that follows a failure just reported.
    int retryDelayMs() const { return retryDelayMs_; }
    // 5 or 4 (3.1.1): what the broker took.
    int protocolVersion() const { return protocolVersion_; }

    // Not queued while disconnected (false): publish the current state again
    // on connected().
    bool publish(const QString &topic, const QByteArray &payload, bool retained = false, int qos = 0);
    // Remembered: sent now if connected, and again after every reconnect.
    // The same filter twice gives the same subscription.
    MqttSubscription *subscribe(const QString &topicFilter, int qos = 1);
    // Forgotten: no longer sent after a reconnect; its subscription object goes.
    void unsubscribe(const QString &topicFilter);

    // Publishes the messages at QoS 1 (retained as each says), waits for the broker to
    // acknowledge them, then disconnects cleanly (the will is not sent).
    // Bounded by timeoutMs; when the messages are not all acknowledged in
    // time the connection is left to drop, so the broker sends the will
    // instead. No reconnect after this. True when everything was acknowledged.
    bool shutdown(const std::vector<MqttMessage> &finalMessages, int timeoutMs = 2000);

signals:
    void stateChanged(MqttLink::State state);
    void connected();
    // Only after connected(): a connection that was up has been lost.
    void disconnected(const QString &reason);
    void errorOccurred(MqttLink::Error error, const QString &description);
    // Every message, whichever subscription it came for. retained: the
    // broker kept it from before (delivered on subscribing), not published
    // just now.
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    enum class Phase { Idle, Connecting, Connected, WaitingToRetry, Stopped };

    struct Event {
        enum class Kind { Accepted, Refused, Lost, Message, SubscriptionRefused } kind;
        QString text; // reason, or topic
        QByteArray payload;
        bool retained = false;
        int mid = 0;
        int code = 0;
    };

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *grantedQos);

    bool applySettings();
    bool speakVersion(int version);
    void setPhase(Phase phase);
    void attemptConnection();
    void scheduleRetry();
    void watchSocket();
    void dropSocketWatch();
    void readReady();
    void writeReady();
    void housekeeping();
    // After every library call: follow the socket and hand out what the callbacks collected.
    void afterLibraryCall(int rc);
    void sendSubscription(const QString &filter, int qos);
    void dispatchEvents();
    void handleEvent(const Event &event);
    void deliver(const Event &event);
    void connectionLost(Error error, const QString &reason);
    template <class Done> bool pumpUntil(Done done, const QDeadlineTimer &deadline);

    MqttLinkSettings settings_;
    mosquitto *client_ = nullptr;
    Phase phase_ = Phase::Idle;
    int protocolVersion_ = 5;
    int retryDelayMs_ = ReconnectBackoff::kFirstDelayMs;
    QString lastError_;
    std::vector<MqttSubscription *> subscriptions_;
    std::map<int, QString> pendingSubscriptions_; // by message id, until the broker answers
    std::deque<Event> pendingEvents_;
    bool dispatching_ = false;
    std::set<int> unacknowledged_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    ReconnectBackoff *backoff_;
    SessionTimer *retryTimer_;
    SessionTimer *handshakeTimer_;
    SessionTimer *housekeepingTimer_;
};
