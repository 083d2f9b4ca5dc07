// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one command to a projector came to, as a script or a building's
// automation reads it.

#include "protocol/status_values.h"

#include <QJsonObject>
#include <QString>
#include <optional>

struct ExchangeResult {
    QString command;               // the command's name, or "send" for a typed line
    QString code;                  // what was sent, without the carriage return
    QString sent;                  // the whole line
    QString reply;                 // what arrived for it, one character per byte, up to its carriage return
    QString rendered;              // the reply as the monitor shows it (" X X X X" when nothing came)
    std::optional<QString> status; // the decoded words, for a status query that was answered
    // What such an answer reports; none on an answered status query means its
    // reply did not fit the query (rejected: it changes no reading).
    std::optional<StatusValue> value;
    bool answered = false;
    qint64 elapsedMs = 0;         // from the send to the reply's end, or to the window's end
    std::optional<QString> error; // the line failed: the write was refused, or the port went away
};

// The projector answered and said no ("?", or for a command that expects an
// ACK anything else): an answered exchange, the projector is there, but
// nothing was done.
bool refusedByProjector(const ExchangeResult &result);
// The words a client reads for it, as the "error" of its JSON.
QString projectorRefusalText();

// One object, as one line of JSON output; "error" only when there was one,
// or the projector refused the command.
QJsonObject toJson(const ExchangeResult &result);
// The result such an object describes (a bridge's reply); fields it lacks
// stay empty. A refusal stays one (refusedByProjector), not a failed line.
ExchangeResult fromJson(const QJsonObject &object);
