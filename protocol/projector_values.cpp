// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/projector_values.h"

QString powerWord(PowerState state)
{
    switch (state) {
    case PowerState::On: return QStringLiteral("on");
    case PowerState::Off: return QStringLiteral("off");
    case PowerState::Warming: return QStringLiteral("warming");
    case PowerState::Cooling: return QStringLiteral("cooling");
    case PowerState::Error: return QStringLiteral("error");
    case PowerState::Unknown: break;
    }
    return QStringLiteral("unknown");
}

PowerState powerStateOf(OperatingState state)
{
    // Every state the query names, so a new one cannot be forgotten here.
    switch (state) {
    case OperatingState::PowerOn:
    case OperatingState::TemperatureWarning: // the lamp is lit, with a warning
    case OperatingState::NoKeyInput: return PowerState::On;
    case OperatingState::StandBy:
    case OperatingState::LampOffByPowerManagement:
    case OperatingState::TemperatureWarningRecovered: return PowerState::Off;
    case OperatingState::CountDown: return PowerState::Warming;
    case OperatingState::CoolingDown:
    case OperatingState::TemperatureWarningCoolingDown:
    case OperatingState::CoolingDownPowerManagement: return PowerState::Cooling;
    case OperatingState::PowerFail:
    case OperatingState::CoolingDownAllLampsFailed:
    case OperatingState::CoolingDownStandByAllLampsFailed: return PowerState::Error;
    }
    return PowerState::Unknown;
}

bool isSwitchedOn(PowerState state)
{
    return state == PowerState::On || state == PowerState::Warming;
}

QString inputName(SelectedInput input)
{
    switch (input) {
    case SelectedInput::Computer1: return QStringLiteral("pc1");
    case SelectedInput::Computer2: return QStringLiteral("pc2");
    case SelectedInput::Video: return QStringLiteral("video");
    case SelectedInput::InputMode4: break;
    }
    return QStringLiteral("input-4");
}

std::optional<QString> muteWord(MuteAndSignal state)
{
    switch (state) {
    case MuteAndSignal::NoMute: return QStringLiteral("off");
    case MuteAndSignal::VideoMute: return QStringLiteral("picture");
    case MuteAndSignal::AudioMute: return QStringLiteral("sound");
    case MuteAndSignal::VideoAndAudioMute: return QStringLiteral("both");
    case MuteAndSignal::NoSignal:
    case MuteAndSignal::StandBy: break;
    }
    return std::nullopt;
}

std::optional<bool> hasSignal(MuteAndSignal state)
{
    switch (state) {
    case MuteAndSignal::StandBy: return std::nullopt;
    case MuteAndSignal::NoSignal: return false;
    default: return true;
    }
}
