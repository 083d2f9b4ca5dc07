// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The nine status queries, in one table: each one's code and name, how it
// times the monitor, the words the panel shows for a reply and the value a
// machine reads from it. Pure: no window, no port. The words are read from
// the reply the way the monitor shows it (its traffic rendering), which is
// where the key of each state comes from.

#include "protocol/command_timing.h"
#include "protocol/status_values.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

struct StatusQuery {
    const char *name;        // "status", as commands and topics name it
    const char *code;        // "CR0"
    const char *description; // as `velno-cmd --list` says it
    CommandTiming timing;
    // The words for a reply's rendering; nothing when the status line is to
    // stay as it is (a reply that names no state).
    std::optional<QString> (*words)(const QString &rendering);
    // The value a reply (as received, up to its carriage return) reports;
    // nothing when the reply does not have this query's shape: "?", an ACK,
    // another query's reply ("80" to the lamp hours, "FF" to the model), a
    // number out of range. The words stay as they are: the panel shows what
    // arrived.
    std::optional<StatusValue> (*value)(const QString &reply, const QString &rendering);
};

// The nine, in the order a poll round asks them.
const std::vector<StatusQuery> &statusQueries();
// The query this line (code and carriage return) asks, or the one of this
// name; null for none.
const StatusQuery *statusQueryForLine(QStringView line);
const StatusQuery *findStatusQuery(QStringView name);

struct StatusReading {
    std::optional<QString> words;
    // Every query reads a value from every reply that fits it, so none on a
    // reply means the reply is rejected: it changes no reading.
    std::optional<StatusValue> value;
};
// A whole reply to the query, read both ways.
StatusReading readStatusReply(const StatusQuery &query, const QString &reply);

// The words for a state, exactly as the status line shows them.
QString operatingStateText(OperatingState state);
QString selectedInputText(SelectedInput input);

// Whether line (code and carriage return) is one of the nine status queries.
bool isStatusQueryLine(const QString &line);

// The words for what has been received since the buffer was last emptied,
// when lastCommand is a status query; nothing when the status line is to stay
// as it is (no query, or a reply that names no state).
std::optional<QString> decodeStatusReply(const QString &lastCommand, const QString &received);

// The same from the rendering of the received text, for callers that keep
// that rendering anyway.
std::optional<QString> decodeStatusRendering(const QString &lastCommand, const QString &rendering);

// The number at the start of a text: blanks, tabs and line feeds skipped
// anywhere, optional sign, digits with one decimal point, optional exponent
// ("E" or "D", upper case only); reading stops at the first character that
// cannot continue. No digit read gives 0; a number too large for a double
// gives infinity.
double numericReading(QStringView text);
