// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real mosquitto broker on a free loopback port, for the length of a test,
// and a client that collects what it is sent.

#include "mqtt/mqtt_link.h"

#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <vector>

class MosquittoBroker {
public:
    MosquittoBroker() = default;
    ~MosquittoBroker(); // kills the broker if it still runs
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Before start(): serve TLS only, with the test certificates (signed by tlsCaFile()).
    void useTls() { tls_ = true; }
    static QString tlsCaFile();
    // A CA that signed nothing the broker has.
    static QString unrelatedCaFile();

    // Before start(): send every packet at once. mosquitto's default (off)
    // holds a small packet while an earlier one is unacknowledged, so a reply
    // that follows a PUBACK closely waits for the client's delayed ACK (about
    // 40 ms): a deployment's default, but noise in a benchmark's timings.
    void useTcpNoDelay() { tcpNoDelay_ = true; }

    // Before start(): only this user, with this password, may connect.
    void requireLogin(const QString &username, const QString &password);

    // Starts on a free port the first time, on the same port after that.
    // True once the broker accepts connections; see log() otherwise.
    bool start();
    void stop();
    quint16 port() const { return port_; }
    // What the broker printed, for failure messages.
    QString log() const { return log_; }

    // Loopback, this broker's port, and its CA when it serves TLS.
    MqttLinkSettings clientSettings(const QString &clientId) const;

private:
    enum class Launch { Up, PortTaken, Failed };
    Launch launch();
    void collectOutput();

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    bool tls_ = false;
    bool tcpNoDelay_ = false;
    QString passwordFile_;
    QString log_;
};

// A client of its own that subscribes to filters and keeps every message.
class MessageCollector {
public:
    MessageCollector(const MosquittoBroker &broker, const QString &clientId, const QStringList &filters);

    // Connected, and every subscription in force (a probe of its own came back).
    bool waitReady(int timeoutMs = 10000);
    // The payload of the next message on the topic not yet taken, waiting for it if needed.
    std::optional<QByteArray> take(const QString &topic, int timeoutMs = 10000);
    // Every payload seen on the topic so far, taken or not.
    QList<QByteArray> seen(const QString &topic) const;
    MqttLink &link() { return link_; }

private:
    struct Received {
        QString topic;
        QByteArray payload;
        bool taken = false;
    };
    MqttLink link_;
    QString probeTopic_;
    std::vector<Received> messages_;
};
