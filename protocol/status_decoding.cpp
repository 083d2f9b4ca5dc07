// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/status_decoding.h"

#include "protocol/command_line.h"
#include "protocol/traffic_rendering.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>

namespace {

// ---- State tables: the leading characters of the rendering name a state ----

// One row of a table: the key, what it reports, and the words shown for it.
template <class Value> struct StateRow {
    const char *key;
    Value value;
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

constexpr StateRow<ImageReversal> kImageReversals[] = {
    {" 1 1", ImageReversal::None, " Normally"},
    {" 1 0", ImageReversal::TopBottom, " Top/Bottom reversal"},
    {" 0 1", ImageReversal::LeftRight, " Left/Right reversal"},
    {" 0 0", ImageReversal::TopBottomAndLeftRight, " Top/Bottom , Left/Right reversal"},
};

constexpr StateRow<MuteAndSignal> kMuteAndSignal[] = {
    {" 0 0", MuteAndSignal::NoMute, " Video & Audio mute OFF"},
    {" 0 1", MuteAndSignal::VideoMute, " Video mute ON"},
    {" 0 2", MuteAndSignal::AudioMute, " Audio mute ON"},
    {" 0 3", MuteAndSignal::VideoAndAudioMute, " Video & Audio mute ON"},
    {" 8 0", MuteAndSignal::NoSignal, " No signal"},
    {" F F", MuteAndSignal::StandBy, " Stand by"},
};

// Lamps in use, the one used when only one is, and whether lamps 1 and 2 are lit.
constexpr StateRow<LampMode> kLampModes[] = {
    {" 0 0", {2, 0, false, false}, " All OFF : 2 Lamp mode"},
    {" 0 1", {2, 0, true, false}, " No1 ON  : 2 Lamp mode"},
    {" 0 2", {2, 0, false, true}, " No2 ON  : 2 Lamp mode"},
    {" 0 3", {2, 0, true, true}, " No1,2 ON  : 2 Lamp mode"},
    {" 1 0", {1, 1, false, false}, " All OFF : 1 Lamp mode(No1 USE)"},
    {" 1 1", {1, 1, true, false}, " No1 ON  : 1 Lamp mode(No1 USE)"},
    {" 2 0", {1, 2, false, false}, " All OFF : 1 Lamp mode(No2 USE)"},
    {" 2 2", {1, 2, false, true}, " No2 ON  : 1 Lamp mode(No2 USE)"},
};
// clang-format on

// The key is the rendering's first keyLength characters.
template <int keyLength, class Value, std::size_t N>
const StateRow<Value> *rowFor(const StateRow<Value> (&rows)[N], const QString &rendering)
{
    const QString key = rendering.left(keyLength);
    for (const StateRow<Value> &row : rows)
        if (key == QLatin1String(row.key))
            return &row;
    return nullptr;
}

template <int keyLength, const auto &rows> std::optional<QString> tableWords(const QString &rendering)
{
    const auto *row = rowFor<keyLength>(rows, rendering);
    return row ? std::optional<QString>(QString::fromLatin1(row->text)) : std::nullopt;
}

// ---- Readings: words built from the rendering, values from the reply ----

// The reply as the projector sent it, without its carriage return and blanks.
QString replyText(const QString &reply)
{
    return (reply.endsWith(QLatin1Char('\r')) ? reply.chopped(1) : reply).trimmed();
}

// The row a whole reply is, nothing more and nothing less: each character
// shows as two in the rendering. The words forgive what follows a key; a
// value does not, or "11" would be an input and "80xyz" stand-by.
template <int keyLength, class Value, std::size_t N>
const StateRow<Value> *wholeRowFor(const StateRow<Value> (&rows)[N], const QString &reply,
                                   const QString &rendering)
{
    return replyText(reply).size() * 2 == keyLength ? rowFor<keyLength>(rows, rendering) : nullptr;
}

template <int keyLength, const auto &rows>
std::optional<StatusValue> tableValue(const QString &reply, const QString &rendering)
{
    const auto *row = wholeRowFor<keyLength>(rows, reply, rendering);
    return row ? std::optional<StatusValue>(row->value) : std::nullopt;
}

template <class Value, std::size_t N> QString textOf(const StateRow<Value> (&rows)[N], Value value)
{
    for (const StateRow<Value> &row : rows)
        if (row.value == value)
            return QString::fromLatin1(row.text);
    return {};
}

bool isUnsignedNumber(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

std::optional<QString> lampHoursWords(const QString &rendering)
{
    return rendering.left(38) + QLatin1String(" Hour Use");
}

// More than a century of burning: not a lamp's hours.
constexpr qint64 kMostLampHours = 999999;

// An operating state's code ("80", "20") is taken for that query's late
// answer, not for lamp hours: the hours it would give are a new lamp's few,
// and the next hour's reply reads again.
std::optional<StatusValue> lampHoursValue(const QString &reply, const QString &rendering)
{
    const QString text = replyText(reply);
    if (!isUnsignedNumber(text) || text.size() > 6 || wholeRowFor<4>(kOperatingStates, reply, rendering))
        return std::nullopt;
    const qint64 hours = text.toLongLong();
    return hours <= kMostLampHours ? std::optional<StatusValue>(LampHours{hours}) : std::nullopt;
}

std::optional<QString> temperaturesWords(const QString &rendering)
{
    QString text = QLatin1String("  S1=") + rendering.mid(0, 10);
    text += QLatin1String(" C  ,   S2= ") + rendering.mid(14, 8);
    text += QLatin1String(" C , S3=") + rendering.mid(24, 10);
    text += QLatin1String(" C");
    return text;
}

// What a projector's sensors can read; beyond it a reply is not temperatures.
constexpr double kColdestCelsius = -50;
constexpr double kHottestCelsius = 150;

// "  35.5,  40.0,  41.5": three readings in degrees Celsius.
std::optional<StatusValue> temperaturesValue(const QString &reply, const QString &)
{
    const QStringList fields = replyText(reply).split(QLatin1Char(','));
    if (fields.size() != 3)
        return std::nullopt;
    Temperatures values;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double celsius = fields[i].trimmed().toDouble(&ok);
        if (!ok || !(celsius >= kColdestCelsius && celsius <= kHottestCelsius))
            return std::nullopt;
        values.celsius[std::size_t(i)] = celsius;
    }
    return values;
}

std::optional<QString> copiedWords(const QString &rendering)
{
    return rendering;
}

// Model names ("KT70 PV70 PV75") are printable and mix letters and digits;
// the other queries' replies ("FF", "11", "1", "80", "?", an ACK) do not.
std::optional<StatusValue> modelInfoValue(const QString &reply, const QString &)
{
    const QString text = replyText(reply);
    bool letter = false;
    bool digit = false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
            return std::nullopt;
        letter |= c.isLetter();
        digit |= c.isDigit();
    }
    return letter && digit ? std::optional<StatusValue>(ModelInfo{text}) : std::nullopt;
}

std::optional<qint32> hectopascals(const QString &rendering)
{
    // Wide arithmetic: in 16 bits a reading past +-6553 overflowed and ended the program.
    // Halves round to even: the default rounding mode, which nothing changes.
    const double reading = std::nearbyint(numericReading(rendering));
    // Exact in a double, five times it fits in 64 bits, and it is already far
    // past what the int32 below can show. (INT64_MAX / 5 rounds up as a double,
    // so a reading equal to it overflowed the product.)
    constexpr double kLargestReading = 1e15;
    if (!(std::abs(reading) <= kLargestReading))
        return std::nullopt; // not finite, or far beyond any pressure the label can hold
    const qint64 scaled = 5 * qint64(reading);
    const double result = std::nearbyint((double(scaled) / 1024 - 0.204) / 0.00459 + 150);
    if (result < std::numeric_limits<qint32>::min() || result > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(result);
}

std::optional<QString> pressureWords(const QString &rendering)
{
    const std::optional<qint32> figure = hectopascals(rendering);
    return figure ? std::optional<QString>(QString::number(*figure) + QLatin1String(" hPa")) : std::nullopt;
}

// The sensor's reading is a step of 5 V in 1024; a reply that is anything
// else ("?" reads as 0, 106 hPa) or a pressure no building has is no value.
constexpr int kLargestSensorReading = 1023;
constexpr qint32 kLowestHectopascals = 300; // above the highest summit
constexpr qint32 kHighestHectopascals = 1100;

std::optional<StatusValue> pressureValue(const QString &reply, const QString &rendering)
{
    const QString text = replyText(reply);
    if (!isUnsignedNumber(text) || text.size() > 4 || text.toInt() > kLargestSensorReading)
        return std::nullopt;
    const std::optional<qint32> figure = hectopascals(rendering);
    if (!figure || *figure < kLowestHectopascals || *figure > kHighestHectopascals)
        return std::nullopt;
    return AirPressure{*figure};
}

// ---- The nine queries ----

std::vector<StatusQuery> makeQueries()
{
    using T = CommandTiming;
    // clang-format off
    return {
        {"status", "CR0", "query: operating state", T::Plain,
         tableWords<4, kOperatingStates>, tableValue<4, kOperatingStates>},
        {"lamp-time", "CR3", "query: lamp hours", T::Plain, lampHoursWords, lampHoursValue},
        {"temp", "CR6", "query: temperatures", T::Plain, temperaturesWords, temperaturesValue},
        {"input", "CR1", "query: input", T::Plain, tableWords<2, kInputs>, tableValue<2, kInputs>},
        {"setting", "CR4", "query: image reversal", T::Plain,
         tableWords<4, kImageReversals>, tableValue<4, kImageReversals>},
        // No button sends these four: the panel's free-text box does.
        {"mute", "CRA", "query: mute and signal", T::Short,
         tableWords<4, kMuteAndSignal>, tableValue<4, kMuteAndSignal>},
        {"info", "CR9", "query: model information", T::Short, copiedWords, modelInfoValue},
        {"pressure", "CR PRESSURE", "query: air pressure", T::Short, pressureWords, pressureValue},
        {"lamp-mode", "CR7", "query: lamp mode", T::Short, tableWords<4, kLampModes>, tableValue<4, kLampModes>},
    };
    // clang-format on
}

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

} // namespace

const std::vector<StatusQuery> &statusQueries()
{
    static const std::vector<StatusQuery> queries = makeQueries();
    return queries;
}

const StatusQuery *statusQueryForLine(QStringView line)
{
    // The query lines all differ, so the first match is the only one.
    for (const StatusQuery &query : statusQueries())
        if (line == commandLine(QLatin1String(query.code)))
            return &query;
    return nullptr;
}

const StatusQuery *findStatusQuery(QStringView name)
{
    for (const StatusQuery &query : statusQueries())
        if (name == QLatin1String(query.name))
            return &query;
    return nullptr;
}

StatusReading readStatusReply(const StatusQuery &query, const QString &reply)
{
    const QString rendering = trafficRendering(reply);
    return {query.words(rendering), query.value(reply, rendering)};
}

bool isStatusQueryLine(const QString &line)
{
    return statusQueryForLine(line) != nullptr;
}

std::optional<QString> decodeStatusRendering(const QString &lastCommand, const QString &rendering)
{
    const StatusQuery *query = statusQueryForLine(lastCommand);
    return query ? query->words(rendering) : std::nullopt;
}

std::optional<QString> decodeStatusReply(const QString &lastCommand, const QString &received)
{
    const StatusQuery *query = statusQueryForLine(lastCommand);
    return query ? query->words(trafficRendering(received)) : std::nullopt;
}

QString operatingStateText(OperatingState state)
{
    return textOf(kOperatingStates, state);
}

QString selectedInputText(SelectedInput input)
{
    return textOf(kInputs, input);
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
