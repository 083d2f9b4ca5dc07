// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns the reply to a status query into plain words. Pure: no window, no
// port. The replies are read the way the monitor shows them (their traffic
// rendering), which is where the key of each state comes from.

#include <QString>
#include <QStringView>
#include <optional>

// What the operating-state query ("CR0") reports.
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

// The input the input query ("CR1") reports.
enum class SelectedInput { Computer1, Computer2, Video, InputMode4 };

// The decoded text of a state, exactly as the status line shows it, and the
// state a decoded text names (nothing for any other text). Whatever binds to
// the decoder's words (an automation's templates) takes them from here.
QString operatingStateText(OperatingState state);
std::optional<OperatingState> operatingStateOf(QStringView text);
QString selectedInputText(SelectedInput input);
std::optional<SelectedInput> selectedInputOf(QStringView text);

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
