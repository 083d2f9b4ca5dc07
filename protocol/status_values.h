// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the nine status queries report, as values: what automations, the
// shared line's clients and the building's page compare, graph and act on.
// The words the panel shows for them are the status table's business
// (status_decoding.h).

#include <QString>
#include <array>
#include <variant>

// The operating-state query ("CR0").
enum class OperatingState {
    PowerOn,
    StandBy,
    CountDown,
    CoolingDown,
    PowerFail,
    TemperatureWarning,
    NoKeyInput,
    LampOffByPowerManagement,
    TemperatureWarningCoolingDown,
    CoolingDownPowerManagement,
    TemperatureWarningRecovered,
    CoolingDownAllLampsFailed,
    CoolingDownStandByAllLampsFailed,
};

// The input query ("CR1").
enum class SelectedInput { Computer1, Computer2, Video, InputMode4 };

// The image reversal query ("CR4").
enum class ImageReversal { None, TopBottom, LeftRight, TopBottomAndLeftRight };

// The mute and signal query ("CRA"): a projector in stand-by or without a
// signal says so instead of its mutes.
enum class MuteAndSignal { NoMute, VideoMute, AudioMute, VideoAndAudioMute, NoSignal, StandBy };

// The lamp mode query ("CR7"): how many lamps the projector uses, and which
// are lit.
struct LampMode {
    int lampsInUse = 2; // 1 or 2
    int usedLamp = 0;   // with one lamp in use: 1 or 2
    bool lamp1On = false;
    bool lamp2On = false;
    friend bool operator==(const LampMode &a, const LampMode &b)
    {
        return a.lampsInUse == b.lampsInUse && a.usedLamp == b.usedLamp && a.lamp1On == b.lamp1On &&
               a.lamp2On == b.lamp2On;
    }
};

struct LampHours {
    qint64 hours = 0;
    friend bool operator==(const LampHours &a, const LampHours &b) { return a.hours == b.hours; }
};

// The three sensors, in degrees Celsius.
struct Temperatures {
    std::array<double, 3> celsius{};
    friend bool operator==(const Temperatures &a, const Temperatures &b) { return a.celsius == b.celsius; }
};

// The info query ("CR9"): the models the projector names, as it names them.
struct ModelInfo {
    QString text;
    friend bool operator==(const ModelInfo &a, const ModelInfo &b) { return a.text == b.text; }
};

// The pressure query ("CR PRESSURE"), worked out as the panel shows it.
struct AirPressure {
    qint32 hectopascals = 0;
    friend bool operator==(const AirPressure &a, const AirPressure &b)
    {
        return a.hectopascals == b.hectopascals;
    }
};

using StatusValue = std::variant<OperatingState, SelectedInput, ImageReversal, MuteAndSignal, LampMode,
                                 LampHours, Temperatures, ModelInfo, AirPressure>;
