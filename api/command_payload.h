// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decides whether a payload from a projector's command topic may reach the
// serial line. Anyone allowed to publish on the broker can write there, so
// only one clean line of Latin-1 text gets through. A payload is a command
// name ("power-on", "send C1E"), or a JSON object {"command": "power-on",
// "id": "any text"} whose id comes back in the reply.

#include "protocol/command_request.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

struct PayloadVerdict {
    std::optional<CommandRequest> request;             // when accepted
    QString refusal;                                   // when refused: why, without echoing unsafe bytes
    QJsonValue id = QJsonValue(QJsonValue::Undefined); // the JSON form's id, refused or not
    bool accepted() const { return request.has_value(); }
};

inline constexpr int kLongestCommandPayload = 256; // bytes

PayloadVerdict checkCommandPayload(const QByteArray &payload);
// The payload checkCommandPayload reads back as this request and id (text
// or a number): the request as spelled, or the JSON form when there is an id.
QByteArray commandPayload(const CommandRequest &request,
                          const QJsonValue &id = QJsonValue(QJsonValue::Undefined));
