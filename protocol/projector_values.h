// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A projector's values as every face of the bridge names them: the power
// state as automations see it and its words, the inputs by the names of the
// commands that select them, and the state's fields with their units. The
// MQTT state, discovery, the JSON API, the metrics and the page all take
// their names from here.

#include "protocol/status_values.h"

#include <QString>
#include <array>
#include <optional>

// The power state as automations see it.
enum class PowerState { On, Off, Warming, Cooling, Error, Unknown };
inline constexpr std::array<PowerState, 6> kPowerStates{PowerState::On,      PowerState::Off,
                                                        PowerState::Warming, PowerState::Cooling,
                                                        PowerState::Error,   PowerState::Unknown};
QString powerWord(PowerState state); // "on", "warming"...
PowerState powerStateOf(OperatingState state);
// Whether a power switch shows ON: the lamp is lit, or warming up to it.
bool isSwitchedOn(PowerState state);

// The input's name, as the command that selects it is named ("pc1").
QString inputName(SelectedInput input);

// What is muted: "off", "picture", "sound" or "both"; nothing while the
// projector is in stand-by or has no signal, as it then does not say.
std::optional<QString> muteWord(MuteAndSignal state);
// Whether a signal comes in; nothing in stand-by, where it does not say.
std::optional<bool> hasSignal(MuteAndSignal state);

// One reading of a projector's typed state: its key in the JSON state (MQTT,
// the API, the page), its unit where it has one, and what people call it.
struct StateField {
    const char *key;   // "lamp_hours"
    const char *unit;  // "h", "°C", "hPa"; "" for none
    const char *label; // "Lamp"
    QString keyText() const { return QString::fromLatin1(key); }
    QString unitText() const { return QString::fromUtf8(unit); }
};
namespace state_field {
inline constexpr StateField kPower{"power", "", "Power"};
inline constexpr StateField kInput{"input", "", "Input"};
// Both from the mute and signal query.
inline constexpr StateField kMute{"mute", "", "Mute"};
inline constexpr StateField kSignal{"signal", "", "Signal"};
inline constexpr StateField kLampHours{"lamp_hours", "h", "Lamp"};
inline constexpr StateField kTemperatures{"temperatures_c", "°C", "Temperatures"}; // three sensors
inline constexpr StateField kPressure{"pressure_hpa", "hPa", "Air pressure"};
// The readings, in the order people read them.
inline constexpr std::array<StateField, 7> kReadings{kPower,     kInput,        kMute,    kSignal,
                                                     kLampHours, kTemperatures, kPressure};
// The decoded words of each status query, by its name (MQTT's state only).
inline constexpr char kTextsKey[] = "texts";
// When each reading was last read (ISO 8601, UTC), by its key; null: never.
inline constexpr char kReadAtKey[] = "read_at";
// The keys of the readings not read again for two poll periods.
inline constexpr char kStaleKey[] = "stale";
} // namespace state_field
