// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One projector's state as the status queries last reported it: the values
// for automations that graph and compare (the power state as a word, the
// input, the mutes and the signal, the lamp hours, the three temperatures
// and the pressure as numbers), the decoded texts the status topics carry, and when each was
// last read. Only a reply that carries a value for its query is a reading:
// one without (the decoder found no fitting value in it) and a query left
// unanswered change nothing, read times included.

#include "protocol/projector_values.h"
#include "protocol/status_decoding.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct ExchangeResult;

class ProjectorState {
public:
    ProjectorState();

    // What take() made of an exchange.
    enum class Taken {
        NotAnswered, // nothing came: the reading keeps its value and its read time
        Rejected,    // an answer with no value for the query: counted, else ignored
        Same,        // read again: only its read time moved
        Changed,
    };

    // What the last answer of a kind reported; nothing before one did.
    template <class Value> std::optional<Value> value() const
    {
        const Reading *r = readingOf<Value>();
        return r ? std::optional<Value>(std::get<Value>(*r->value)) : std::nullopt;
    }
    // When the reading behind a field of the state was last read, on the
    // link's clock; -1: never.
    qint64 readAtMs(const StateField &field) const;
    PowerState power() const;
    // The decoded text of each query answered so far, by query name.
    const QMap<QString, QString> &texts() const { return texts_; }

    // Where "now" is, for the read times: on the link's clock and on the
    // wall's (milliseconds since the epoch), and after how long unread a
    // reading is stale (0: never, when nothing polls).
    struct Clocks {
        qint64 nowMs = 0;
        qint64 wallNowMs = 0;
        qint64 staleAfterMs = 0;
        // The link's exchanges so far, this one included: what came before
        // what, where the clock shows the same millisecond.
        quint64 exchange = 0;
    };
    // What the last answer of a kind reported, only when it was read after
    // this time on the link's clock and by a later exchange.
    template <class Value> std::optional<Value> valueReadAfter(const Clocks &after) const;
    // The fields read too long ago, by key, in the order of the readings.
    QStringList staleKeys(const Clocks &clocks) const;
    // Takes in the exchange of a status query that ended now.
    Taken take(const StatusQuery &query, const ExchangeResult &result, const Clocks &now);
    // {"power", "input", "mute", "signal", "lamp_hours", "temperatures_c",
    // "pressure_hpa", "texts", "read_at": {key: ISO 8601 UTC}, "stale": [key...]}; what is
    // not known yet is null, and has no read time.
    QJsonObject toJson(const Clocks &clocks) const;

private:
    struct Reading {
        std::optional<StatusValue> value;
        qint64 readAtMs = -1;
        qint64 readAtWallMs = 0; // kept as read: the same on every face
        quint64 exchange = 0;
    };
    template <class Value> const Reading *readingOf() const
    {
        for (const Reading &r : readings_)
            if (r.value && std::holds_alternative<Value>(*r.value))
                return &r;
        return nullptr;
    }

    const Reading *readingFor(const StateField &field) const;

    std::vector<Reading> readings_; // by the query's place in the table
    QMap<QString, QString> texts_;
};

template <class Value> std::optional<Value> ProjectorState::valueReadAfter(const Clocks &after) const
{
    const Reading *r = readingOf<Value>();
    if (!r || r->readAtMs <= after.nowMs || r->exchange <= after.exchange)
        return std::nullopt;
    return std::get<Value>(*r->value);
}
