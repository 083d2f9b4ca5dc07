// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One projector as the building's page and its JSON API show it: the typed
// state of the retained state message, its ID and whether it is online,
// how long ago it last answered, and what a technician should look at.

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

class ProjectorLink;
class ProjectorState;

// Rated lamp life is commonly 2000 hours; a lamp this close to it is
// worth a spare on the shelf.
inline constexpr qint64 kLampHoursWarning = 1800;

// In words, most urgent first; empty when all is well.
QStringList projectorWarnings(const ProjectorState &state);

// The readings every report carries, as the page shows them: each one's
// "key", "unit" and "label".
QJsonArray readingFields();

// The state's fields, plus "id", "online", "last_answer_s" (seconds since
// the last answer, null before one) and "warnings".
QJsonObject projectorReport(const ProjectorLink &projector);
