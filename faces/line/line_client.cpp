// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_client.h"

#include "bridge/listener_limits.h"
#include "bridge/projector_link.h"

#include <QPointer>
#include <QTcpSocket>

LineClient::LineClient(QTcpSocket *socket, ProjectorLink &projector, const ListenerTally &tally,
                       QObject *parent, const SessionTimerFactory &makeTimer)
    : FaceClient(socket, listener_limits::kLineIdleMs, tally, parent, makeTimer), projector_(projector)
{
    setIdleLimit(listener_limits::kLineIdleMs, QStringLiteral("idle time"), QStringLiteral("a line"));
    socket->setReadBufferSize(kReadChunk);
    connect(socket, &QTcpSocket::readyRead, this, &LineClient::readArrived);
}

void LineClient::readArrived()
{
    const auto roomLeft = [this] { return commandsPending_ < listener_limits::kMostCommandsPerLineClient; };
    char c = 0;
    while (roomLeft() && socket().getChar(&c))
        take(c);
    const bool heldBack = !roomLeft() && socket().bytesAvailable() > 0;
    if (heldBack && !heldBack_)
        tally().bite(QStringLiteral("share"),
                     QStringLiteral("client %1 has %2 commands waiting; its next lines wait unread")
                         .arg(peerName())
                         .arg(listener_limits::kMostCommandsPerLineClient));
    heldBack_ = heldBack;
}

void LineClient::take(char c)
{
    // CR LF is one end of line, as a terminal sends it.
    const bool lfAfterCr = afterCr_ && c == '\n';
    afterCr_ = c == '\r';
    if (lfAfterCr)
        return;
    if (c == '\r')
        return lineEnded();
    // A stray LF cannot go on the wire inside a line: it would end the
    // line there, and what follows would become a command of its own.
    if (c == '\n' || overlong_)
        return;
    if (partial_.size() == listener_limits::kLongestLine) {
        overlong_ = true;
        partial_.clear();
        emit lineTooLong(peerName());
        return;
    }
    partial_ += c;
}

void LineClient::lineEnded()
{
    const QByteArray line = partial_;
    partial_.clear();
    if (overlong_) {
        overlong_ = false;
        return;
    }
    if (line.isEmpty())
        return; // a keep-alive of no command keeps nothing
    restartIdle();
    submit(line);
}

void LineClient::submit(const QByteArray &line)
{
    ++commandsPending_;
    // The projector's protocol is bytes: one character per byte, as typed.
    const QString text = QString::fromLatin1(line);
    const CommandRequest request = CommandRequest::fromLine(text);
    // A refused command gets nothing back, as a cable to a projector that is
    // off gets nothing; the link logs the refusal.
    projector_.command(request, [client = QPointer<LineClient>(this)](const CommandOutcome &outcome) {
        if (!client)
            return;
        --client->commandsPending_;
        if (outcome.result && !outcome.result->reply.isEmpty())
            client->write(outcome.result->reply.toLatin1());
        // What waited for room is taken next, once this answer is out of
        // the way (a refusal may come while a line is still being read).
        QMetaObject::invokeMethod(client, &LineClient::readArrived, Qt::QueuedConnection);
    });
}
