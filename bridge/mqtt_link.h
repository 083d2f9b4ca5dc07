// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One connection to an MQTT broker, driven by the Qt event loop of the thread
// that owns it: no thread of the library's own, so every signal arrives on
// the owner's thread and no locking is needed around the projectors.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

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
    quint16 port = 1883;
    QString clientId;          // empty: the library makes one up
    int keepAliveSeconds = 30; // at least 5
    QString username;          // empty: anonymous
    QByteArray password;       // as the file holds it, byte for byte; never logged
    QString caFile;            // non-empty: TLS, the broker verified against it
    bool hasWill = false;
    MqttMessage will; // sent by the broker, at QoS 1, when the connection dies
};

class MqttLink : public QObject {
    Q_OBJECT
public:
    // Delays between connection attempts: the first, and the cap it doubles up to.
    static constexpr int kFirstRetryDelayMs = 1000;
    static constexpr int kLongestRetryDelayMs = 60000;
    // A broker that accepts the TCP connection but never answers is given up on after this.
    static constexpr int kHandshakeTimeoutMs = 10000;

    explicit MqttLink(MqttLinkSettings settings, QObject *parent = nullptr);

    // Why the library would refuse a topic name, a topic filter or a client
    // id; empty when it will take it. Checked before anything is opened, so
    // that a bad setting is a usage error rather than a failure at run time.
    static QString topicNameProblem(const QString &topic);
    static QString topicFilterProblem(const QString &filter);
    static QString clientIdProblem(const QString &clientId);
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

    bool isConnected() const { return state_ == State::Connected; }
    // Delay before the next attempt after a failure (doubles per failure).
    int nextRetryDelayMs() const { return retryDelayMs_; }

    // Not queued while disconnected (false): publish the current state again
    // on connected().
    bool publish(const QString &topic, const QByteArray &payload, bool retained = false, int qos = 0);
    // Remembered: sent now if connected, and again after every reconnect.
    void subscribe(const QString &topicFilter, int qos = 1);

    // Publishes the messages at QoS 1 (retained as each says), waits for the broker to
    // acknowledge them, then disconnects cleanly (the will is not sent).
    // Bounded by timeoutMs; when the messages are not all acknowledged in
    // time the connection is left to drop, so the broker sends the will
    // instead. No reconnect after this. True when everything was acknowledged.
    bool shutdown(const std::vector<MqttMessage> &finalMessages, int timeoutMs = 2000);

signals:
    void connected();
    // Only after connected(): a connection that was up has been lost.
    void disconnected(const QString &reason);
    // retained: the broker kept it from before (delivered on subscribing),
    // not published just now.
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    enum class State { Idle, Connecting, Connected, WaitingToRetry, Stopped };

    struct Event {
        enum class Kind { Accepted, Refused, Lost, Message, SubscriptionRefused } kind;
        QString text; // reason, or topic
        QByteArray payload;
        bool retained = false;
        int mid = 0;
    };

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *grantedQos);

    bool applySettings();
    void attemptConnection();
    void failAttempt(const QString &reason);
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
    void connectionLost(const QString &reason);
    template <class Done> bool pumpUntil(Done done, const QDeadlineTimer &deadline);
    QString brokerName() const;

    MqttLinkSettings settings_;
    mosquitto *client_ = nullptr;
    State state_ = State::Idle;
    int retryDelayMs_ = kFirstRetryDelayMs;
    bool outageLogged_ = false; // the current outage has had its line
    QString lastError_;
    std::vector<std::pair<QString, int>> subscriptions_;
    std::map<int, QString> pendingSubscriptions_; // by message id, until the broker answers
    std::deque<Event> pendingEvents_;
    bool dispatching_ = false;
    std::set<int> unacknowledged_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer retryTimer_;
    QTimer handshakeTimer_;
    QTimer housekeepingTimer_;
};
