// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/status_decoding.h"

#include "protocol/command_line.h"
#include "protocol/traffic_rendering.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>

namespace {

// ---- State tables: the leading characters of the rendering name a state ----

struct TextRow {
    const char *key;
    const char *text;
};

// A row of a table whose states other parts of the system bind to.
template <class State> struct StateRow {
    const char *key;
    State state;
    const char *text;
};

// One row a line, as the states are listed.
// clang-format off
constexpr StateRow<OperatingState> kOperatingStates[] = {
    {" 0 0", OperatingState::PowerOn, " Power ON"},
    {" 8 0", OperatingState::StandBy, " Stand by"},
    {" 4 0", OperatingState::CountDown, " Count down"},
    {" 2 0", OperatingState::CoolingDown, " Cooling down"},
    {" 1 0", OperatingState::PowerFail, " Power Fail"},
    {" 0 8", OperatingState::TemperatureWarning, " Temperature Warning"},
    {" 0 2", OperatingState::NoKeyInput, " NO Key input "},
    {" 0 4", OperatingState::LampOffByPowerManagement, " Lamp OFF by PWR Management"},
    {" 2 8", OperatingState::TemperatureWarningCoolingDown, " Temperature Warning & cooling down"},
    {" 2 4", OperatingState::CoolingDownPowerManagement, "Cooling down  PWR Management"},
    {" 8 8", OperatingState::TemperatureWarningRecovered, " Temperature Warning and recoverd"},
    {" 2 1", OperatingState::CoolingDownAllLampsFailed, " Cooling down (All Lamp FAIL)"},
    {" 8 1", OperatingState::CoolingDownStandByAllLampsFailed, " Cooling down & sutandby (All Lamp FAIL)"},
};

constexpr StateRow<SelectedInput> kInputs[] = {
    {" 1", SelectedInput::Computer1, " Computer 1"},
    {" 2", SelectedInput::Computer2, " Computer 2"},
    {" 3", SelectedInput::Video, " Video"},
    {" 4", SelectedInput::InputMode4, " Input mode 4"},
};

constexpr TextRow kImageReversals[] = {
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
};

constexpr TextRow kMuteAndSignal[] = {
    {" 0 0", " Video & Audio mute OFF"},
    {" 0 1", " Video mute ON"},
    {" 0 2", " Audio mute ON"},
    {" 0 3", " Video & Audio mute ON"},
    {" 8 0", " No signal"},
    {" F F", " Stand by"},
};

constexpr TextRow kLampModes[] = {
    {" 0 0", " All OFF : 2 Lamp mode"},
    {" 0 1", " No1 ON  : 2 Lamp mode"},
    {" 0 2", " No2 ON  : 2 Lamp mode"},
    {" 0 3", " No1,2 ON  : 2 Lamp mode"},
    {" 1 0", " All OFF : 1 Lamp mode(No1 USE)"},
    {" 1 1", " No1 ON  : 1 Lamp mode(No1 USE)"},
    {" 2 0", " All OFF : 1 Lamp mode(No2 USE)"},
    {" 2 2", " No2 ON  : 1 Lamp mode(No2 USE)"},
};
// clang-format on

// The key is the rendering's first keyLength characters.
template <int keyLength, class Row, std::size_t N>
std::optional<QString> decodeWithTable(const Row (&rows)[N], const QString &rendering)
{
    const QString key = rendering.left(keyLength);
    for (const Row &row : rows) {
        if (key == QLatin1String(row.key))
            return QString::fromLatin1(row.text);
    }
    return {};
}

template <class State, std::size_t N> QString textOf(const StateRow<State> (&rows)[N], State state)
{
    for (const StateRow<State> &row : rows)
        if (row.state == state)
            return QString::fromLatin1(row.text);
    return {};
}

template <class State, std::size_t N>
std::optional<State> stateOf(const StateRow<State> (&rows)[N], QStringView text)
{
    for (const StateRow<State> &row : rows)
        if (text == QLatin1String(row.text))
            return row.state;
    return {};
}

std::optional<QString> operatingState(const QString &rendering)
{
    return decodeWithTable<4>(kOperatingStates, rendering);
}

std::optional<QString> selectedInput(const QString &rendering)
{
    return decodeWithTable<2>(kInputs, rendering);
}

std::optional<QString> imageReversal(const QString &rendering)
{
    return decodeWithTable<4>(kImageReversals, rendering);
}

std::optional<QString> muteAndSignal(const QString &rendering)
{
    return decodeWithTable<4>(kMuteAndSignal, rendering);
}

std::optional<QString> lampMode(const QString &rendering)
{
    return decodeWithTable<4>(kLampModes, rendering);
}

// ---- Readings: text built from the rendering ----

std::optional<QString> lampHours(const QString &rendering)
{
    return rendering.left(38) + QLatin1String(" Hour Use");
}

std::optional<QString> temperatures(const QString &rendering)
{
    QString text = QLatin1String("  S1=") + rendering.mid(0, 10);
    text += QLatin1String(" C  ,   S2= ") + rendering.mid(14, 8);
    text += QLatin1String(" C , S3=") + rendering.mid(24, 10);
    text += QLatin1String(" C");
    return text;
}

std::optional<QString> copied(const QString &rendering)
{
    return rendering;
}

std::optional<QString> pressure(const QString &rendering)
{
    // Wide arithmetic: in 16 bits a reading past +-6553 overflowed and ended the program.
    // Halves round to even: the default rounding mode, which nothing changes.
    const double reading = std::nearbyint(numericReading(rendering));
    // Exact in a double, five times it fits in 64 bits, and it is already far
    // past what the int32 below can show. (INT64_MAX / 5 rounds up as a double,
    // so a reading equal to it overflowed the product.)
    constexpr double kLargestReading = 1e15;
    if (!(std::abs(reading) <= kLargestReading))
        return {}; // not finite, or far beyond any pressure the label can hold
    const qint64 scaled = 5 * qint64(reading);
    const double hectopascals = std::nearbyint((double(scaled) / 1024 - 0.204) / 0.00459 + 150);
    if (hectopascals < std::numeric_limits<qint32>::min() ||
        hectopascals > std::numeric_limits<qint32>::max())
        return {};
    return QString::number(qint32(hectopascals)) + QLatin1String(" hPa");
}

// ---- The nine queries, in the order they are tested ----

struct StatusQuery {
    const char *code;
    // A state from a table, or a reading built from the rendering.
    std::optional<QString> (*decode)(const QString &rendering);
};

const StatusQuery kStatusQueries[] = {
    {"CR0", operatingState}, {"CR1", selectedInput},    {"CR4", imageReversal},
    {"CR3", lampHours},      {"CR6", temperatures},     {"CRA", muteAndSignal},
    {"CR9", copied},         {"CR PRESSURE", pressure}, {"CR7", lampMode},
};

// ---- Numeric reading ----

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isExponentMark(QChar c)
{
    const char16_t u = c.unicode();
    return u == 'E' || u == 'D';
}

bool isSign(QChar c)
{
    return c == QLatin1Char('+') || c == QLatin1Char('-');
}

// Beyond this a decimal exponent gives infinity or zero whatever the digits.
constexpr long long kExponentCap = 1000000;

const StatusQuery *queryFor(const QString &lastCommand)
{
    // The query lines all differ, so the first match is the only one.
    for (const StatusQuery &query : kStatusQueries)
        if (lastCommand == commandLine(QLatin1String(query.code)))
            return &query;
    return nullptr;
}

} // namespace

bool isStatusQueryLine(const QString &line)
{
    return queryFor(line) != nullptr;
}

std::optional<QString> decodeStatusRendering(const QString &lastCommand, const QString &rendering)
{
    const StatusQuery *query = queryFor(lastCommand);
    if (!query)
        return std::nullopt;
    return query->decode(rendering);
}

std::optional<QString> decodeStatusReply(const QString &lastCommand, const QString &received)
{
    if (!isStatusQueryLine(lastCommand))
        return std::nullopt;
    return decodeStatusRendering(lastCommand, trafficRendering(received));
}

QString operatingStateText(OperatingState state)
{
    return textOf(kOperatingStates, state);
}

std::optional<OperatingState> operatingStateOf(QStringView text)
{
    return stateOf(kOperatingStates, text);
}

QString selectedInputText(SelectedInput input)
{
    return textOf(kInputs, input);
}

std::optional<SelectedInput> selectedInputOf(QStringView text)
{
    return stateOf(kInputs, text);
}

double numericReading(QStringView text)
{
    enum class Stage { Sign, Mantissa, ExponentSign, ExponentDigits };
    Stage stage = Stage::Sign;
    bool negative = false;
    bool seenPoint = false;
    bool exponentNegative = false;
    std::string digits; // mantissa digits, decimal point left out
    long long fractionDigits = 0;
    long long exponent = 0;

    for (QChar c : text) {
        if (isBlank(c))
            continue;
        if (stage == Stage::Sign) {
            stage = Stage::Mantissa;
            if (isSign(c)) {
                negative = c == QLatin1Char('-');
                continue;
            }
        }
        if (stage == Stage::Mantissa) {
            if (isDigit(c)) {
                digits += char(c.unicode());
                fractionDigits += seenPoint ? 1 : 0;
                continue;
            }
            if (c == QLatin1Char('.') && !seenPoint) {
                seenPoint = true;
                continue;
            }
            if (!isExponentMark(c))
                break;
            stage = Stage::ExponentSign;
            continue;
        }
        if (stage == Stage::ExponentSign) {
            stage = Stage::ExponentDigits;
            if (isSign(c)) {
                exponentNegative = c == QLatin1Char('-');
                continue;
            }
        }
        if (!isDigit(c))
            break;
        exponent = std::min(exponent * 10 + (c.unicode() - '0'), kExponentCap);
    }

    if (digits.empty())
        return 0;
    // Without a decimal point the conversion does not depend on the locale.
    const long long scale = (exponentNegative ? -exponent : exponent) - fractionDigits;
    const std::string number = digits + 'e' + std::to_string(scale);
    const double magnitude = std::strtod(number.c_str(), nullptr);
    return negative ? -magnitude : magnitude;
}
