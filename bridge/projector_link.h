#pragma once
// One projector of the bridge: its port held open (and reopened with
// backoff when lost), the commands that arrive for it run one at a time in
// arrival order, and its status queries asked on a schedule and after every
// command, reporting each answer that differs from the last. Every exchange
// ends as soon as its reply is complete.

#include "session/command_exchange.h"
#include "session/port_address.h"
#include "session/port_connection.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <deque>

class ProjectorLink : public QObject {
    Q_OBJECT
public:
    // pollMs 0: the status is asked only after commands.
    ProjectorLink(const QString &id, const PortAddress &port, int pollMs, QObject *parent = nullptr);

    QString id() const { return id_; }
    QString portName() const { return port_.toString(); }
    bool isOnline() const { return line_.isOpen(); }

    // Opens the port; a failure is retried with backoff.
    void start();
    // The end: the port closes and nothing more is asked.
    void stop();
    // A command by name, or "send TEXT". Unknown names and offline
    // projectors are answered at once with an error reply.
    void command(const QString &request);

    // The last decoded answer of each status query, by query name.
    QHash<QString, QString> statuses() const { return statuses_; }

signals:
    void availabilityChanged(bool online);
    // One object per command, with the fields velno-cmd --json prints (and
    // an "error" field when it could not be sent).
    void replied(const QJsonObject &reply);
    void statusChanged(const QString &query, const QString &text);
    void log(const QString &line);

private:
    struct Job {
        const Command *command = nullptr; // null: typed text
        QString text;
        bool poll = false;
    };

    void tryOpen();
    void opened();
    void openFailed(const SerialError &error);
    void retryLater();
    void lost(const QString &description);
    void pollAll();
    void runNext();
    void finished(const ExchangeResult &result);
    void refuse(const QString &request, const QString &why);

    QString id_;
    PortAddress port_;
    PortConnection line_;
    CommandExchange exchange_;
    std::deque<Job> queue_;
    bool runningPoll_ = false;
    const Command *runningCommand_ = nullptr;
    QTimer pollTimer_;
    QTimer retryTimer_;
    int retryDelayMs_;
    bool lossLogged_ = false;
    bool stopped_ = false;
    QHash<QString, QString> statuses_;
};
