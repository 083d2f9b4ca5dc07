// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_client.h"

#include "bridge/projector_link.h"
#include "session/precise_timer.h"

#include <QPointer>
#include <QTcpSocket>

LineClient::LineClient(QTcpSocket *socket, ProjectorLink &projector, QObject *parent,
                       const SessionTimerFactory &makeTimer)
    : QObject(parent), socket_(socket), projector_(projector)
{
    socket_->setParent(this);
    // Every exchange is one short line each way: waiting to fill a packet
    // would only add delay.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    peerName_ = QStringLiteral("%1:%2").arg(socket_->peerAddress().toString()).arg(socket_->peerPort());
    idle_ = (makeTimer ? makeTimer : makeCoarseTimer)(QStringLiteral("idle"), kIdleMs, this);
    idle_->setEnabled(true);
    connect(idle_, &SessionTimer::tick, this, [this] {
        idle_->setEnabled(false);
        emit idleClosed(peerName_);
        socket_->abort();
        emit gone();
    });
    connect(socket_, &QTcpSocket::readyRead, this, &LineClient::readArrived);
    connect(socket_, &QTcpSocket::disconnected, this, &LineClient::gone);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->state() != QAbstractSocket::ConnectedState)
            emit gone();
    });
}

void LineClient::readArrived()
{
    idle_->setEnabled(true);
    for (const char c : socket_->readAll()) {
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
        if (partial_.size() == kLongestLine) {
            overlong_ = true;
            partial_.clear();
            emit lineTooLong(peerName_);
            continue;
        }
        partial_ += c;
    }
}

void LineClient::lineEnded()
{
    const QByteArray line = partial_;
    partial_.clear();
    if (overlong_) {
        overlong_ = false;
        return;
    }
    if (!line.isEmpty())
        submit(line);
}

void LineClient::submit(const QByteArray &line)
{
    // The projector's protocol is bytes: one character per byte, as typed.
    const QString text = QString::fromLatin1(line);
    const CommandRequest request = CommandRequest::fromLine(text);
    // A refused command gets nothing back, as a cable to a projector that is
    // off gets nothing; the link logs the refusal.
    projector_.command(request, [client = QPointer<LineClient>(this)](const CommandOutcome &outcome) {
        if (!client || !outcome.result || outcome.result->reply.isEmpty())
            return;
        client->socket_->write(outcome.result->reply.toLatin1());
    });
}
