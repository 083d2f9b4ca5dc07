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
    for (const char c : socket().readAll()) {
        // CR LF is one end of line, as a terminal sends it.
        const bool lfAfterCr = afterCr_ && c == '\n';
        afterCr_ = c == '\r';
        if (lfAfterCr)
            continue;
        if (c == '\r') {
            lineEnded();
            continue;
        }
        // A stray LF cannot go on the wire inside a line: it would end the
        // line there, and what follows would become a command of its own.
        if (c == '\n' || overlong_)
            continue;
        if (partial_.size() == listener_limits::kLongestLine) {
            overlong_ = true;
            partial_.clear();
            emit lineTooLong(peerName());
            continue;
        }
        partial_ += c;
    }
    if (beyondShare_ == 0)
        return;
    // Counted as lines, said once for the read.
    tally().bite(QStringLiteral("share"),
                 QStringLiteral("client %1 sent %2 lines with %3 of its commands waiting already; dropped")
                     .arg(peerName())
                     .arg(beyondShare_)
                     .arg(listener_limits::kMostCommandsPerLineClient),
                 quint64(beyondShare_));
    beyondShare_ = 0;
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
    if (commandsPending_ >= listener_limits::kMostCommandsPerLineClient) {
        ++beyondShare_;
        return;
    }
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
    });
}
