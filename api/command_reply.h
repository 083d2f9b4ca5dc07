// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reply to one command, as velno-bridge publishes it and its clients
// read it: the fields of `velno-cmd --json`, the request's id when it came
// with one, and "error" when nothing was run.

#include "protocol/command_request.h"
#include "session/exchange_result.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

// A command that ran.
QJsonObject commandReply(const ExchangeResult &result, const QJsonValue &id);
// A command that was not run, and why. No request: what arrived was not fit
// to name one ("command" is null then).
QJsonObject refusalReply(const std::optional<CommandRequest> &request, const QJsonValue &id,
                         const QString &why);

struct ReadReply {
    ExchangeResult result;
    QJsonValue id; // undefined when the reply carries none
};
std::optional<ReadReply> readReply(const QByteArray &payload);
