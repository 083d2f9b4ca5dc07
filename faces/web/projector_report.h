// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One projector as the building's page and its JSON API show it: the typed
// state of the retained state message, its ID and whether it is online,
// when it last answered, and what a technician should look at.

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

struct BridgeOptions;
class ProjectorLink;
class ProjectorState;

// Rated lamp life is commonly 2000 hours; a lamp this close to it is
// worth a spare on the shelf.
inline constexpr qint64 kLampHoursWarning = 1800;

// In words, most urgent first; empty when all is well.
QStringList projectorWarnings(const ProjectorState &state);

// What the page builds itself from: the site's "title" ([web] title, may
// be empty) and the "readings" every report carries, each one's "key",
// "unit" and "label".
QJsonObject pageFields(const BridgeOptions &options);

// When the projector last answered anything, in a report.
inline constexpr char kLastAnswerAtKey[] = "last_answer_at";

// The state's fields but the decoded texts, plus "id", "online",
// "last_answer_at" (ISO 8601 UTC to the millisecond, null before any
// answer: the same on every request until the next answer) and "warnings".
QJsonObject projectorReport(const ProjectorLink &projector);
