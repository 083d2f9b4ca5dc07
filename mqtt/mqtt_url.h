// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a broker is, as velno-bridge's settings and velno-cmd's --port name
// it: mqtt://HOST[:PORT] for the bridge, mqtt://[USER@]HOST[:PORT]/ID for a
// projector behind it. One parser for both. The text is never repeated in a
// problem: it might hold a password.

#include <QString>
#include <optional>

struct MqttUrl {
    QString host;
    quint16 port = 0;
    QString username;    // with a projector only
    QString projectorId; // with a projector only
    QString groupId;     // with a group instead: mqtt://[USER@]HOST[:PORT]/group/ID
};

struct MqttUrlParse {
    std::optional<MqttUrl> url;
    QString problem; // when there is none: what is wrong, for a usage error
};

// The broker alone: mqtt://HOST[:PORT].
MqttUrlParse parseBrokerUrl(const QString &text);
// A projector behind a bridge: mqtt://[USER@]HOST[:PORT]/ID, or a group of
// the bridges under the prefix: mqtt://[USER@]HOST[:PORT]/group/ID.
MqttUrlParse parseProjectorUrl(const QString &text);
// Whether the text is meant as one of these (the scheme, any case).
bool isMqttUrl(const QString &text);
