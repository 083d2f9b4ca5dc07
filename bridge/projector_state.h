// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One projector's state as the status queries last reported it: the values
// for automations that graph and compare (the power state as a word, the
// input, the lamp hours, the three temperatures and the pressure as
// numbers) and the decoded texts the status topics carry.

#include "protocol/projector_values.h"
#include "protocol/status_decoding.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>
#include <vector>

struct ExchangeResult;

class ProjectorState {
public:
    ProjectorState();

    // Takes in the answer to a status query; true when anything of the
    // state changed.
    bool take(const StatusQuery &query, const ExchangeResult &result);

    // What the last answer of a kind reported; nothing before one did, or
    // when it named nothing.
    template <class Value> std::optional<Value> value() const
    {
        for (const std::optional<StatusValue> &v : values_)
            if (v && std::holds_alternative<Value>(*v))
                return std::get<Value>(*v);
        return std::nullopt;
    }
    PowerState power() const;
    // The decoded text of each query answered so far, by query name.
    const QMap<QString, QString> &texts() const { return texts_; }
    // {"power", "input", "lamp_hours", "temperatures_c", "pressure_hpa",
    // "texts"}; what is not known yet is null.
    QJsonObject toJson() const;

private:
    std::vector<std::optional<StatusValue>> values_; // by the query's place in the table
    QMap<QString, QString> texts_;
};
