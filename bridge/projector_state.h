// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One projector's state as typed values read from its replies, for
// automations that graph and compare: the power state as a word, the input,
// the lamp hours, the three temperatures and the pressure as numbers, next
// to the decoded texts the status topics carry. The panel's own decoding
// is left as it is; only the bridge reads numbers out of the replies.

#include "protocol/status_decoding.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <array>
#include <optional>

struct ExchangeResult;

// The power state as automations see it.
enum class PowerState { On, Off, Warming, Cooling, Error, Unknown };
QString powerWord(PowerState state);
PowerState powerStateOf(OperatingState state);
// Whether a power switch shows ON: the lamp is lit, or warming up to it.
bool isSwitchedOn(PowerState state);

// The input's name, as the command that selects it is named ("pc1").
QString inputName(SelectedInput input);

class ProjectorState {
public:
    // Takes in the answer of a status query (by its command name); true
    // when anything of the state changed.
    bool take(const QString &query, const ExchangeResult &result);

    PowerState power() const;
    // The decoded text of each query answered so far, by query name.
    const QMap<QString, QString> &texts() const { return texts_; }
    // {"power", "input", "lamp_hours", "temperatures_c", "pressure_hpa",
    // "texts"}; what is not known yet is null.
    QJsonObject toJson() const;

private:
    std::optional<OperatingState> operating_;
    std::optional<SelectedInput> input_;
    std::optional<qint64> lampHours_;
    std::optional<std::array<double, 3>> temperatures_;
    std::optional<qint64> pressure_;
    QMap<QString, QString> texts_;
};
