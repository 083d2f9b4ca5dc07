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

struct StateRow {
    const char *key;
    const char *text;
};

struct StateTable {
    int keyLength;
    const StateRow *rows;
    std::size_t rowCount;
};

template <std::size_t N> constexpr StateTable stateTable(int keyLength, const StateRow (&rows)[N])
{
    return {keyLength, rows, N};
}

// One row a line, as the states are listed.
// clang-format off
constexpr StateRow kOperatingStates[] = {
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power Fail"},
    {" 0 8", " Temperature Warning"},
    {" 0 2", " NO Key input "},
    {" 0 4", " Lamp OFF by PWR Management"},
    {" 2 8", " Temperature Warning & cooling down"},
    {" 2 4", "Cooling down  PWR Management"},
    {" 8 8", " Temperature Warning and recoverd"},
    {" 2 1", " Cooling down (All Lamp FAIL)"},
    {" 8 1", " Cooling down & sutandby (All Lamp FAIL)"},
};

constexpr StateRow kInputs[] = {
    {" 1", " Computer 1"},
    {" 2", " Computer 2"},
    {" 3", " Video"},
    {" 4", " Input mode 4"},
};

constexpr StateRow kImageReversals[] = {
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
};

constexpr StateRow kMuteAndSignal[] = {
    {" 0 0", " Video & Audio mute OFF"},
    {" 0 1", " Video mute ON"},
    {" 0 2", " Audio mute ON"},
    {" 0 3", " Video & Audio mute ON"},
    {" 8 0", " No signal"},
    {" F F", " Stand by"},
};

constexpr StateRow kLampModes[] = {
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

constexpr StateTable kOperatingStateTable = stateTable(4, kOperatingStates);
constexpr StateTable kInputTable = stateTable(2, kInputs);
constexpr StateTable kImageReversalTable = stateTable(4, kImageReversals);
constexpr StateTable kMuteAndSignalTable = stateTable(4, kMuteAndSignal);
constexpr StateTable kLampModeTable = stateTable(4, kLampModes);

std::optional<QString> decodeWithTable(const StateTable &table, const QString &rendering)
{
    const QString key = rendering.left(table.keyLength);
    for (std::size_t i = 0; i < table.rowCount; ++i) {
        if (key == QLatin1String(table.rows[i].key))
            return QString::fromLatin1(table.rows[i].text);
    }
    return {};
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

double roundHalfEven(double x)
{
    const double below = std::floor(x);
    const double fraction = x - below;
    if (fraction != 0.5)
        return fraction < 0.5 ? below : below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

std::optional<QString> pressure(const QString &rendering)
{
    // Wide arithmetic: in 16 bits a reading past +-6553 overflowed and ended the program.
    const double reading = roundHalfEven(numericReading(rendering));
    // Exact in a double, five times it fits in 64 bits, and it is already far
    // past what the int32 below can show. (INT64_MAX / 5 rounds up as a double,
    // so a reading equal to it overflowed the product.)
    constexpr double kLargestReading = 1e15;
    if (!(std::abs(reading) <= kLargestReading))
        return {}; // not finite, or far beyond any pressure the label can hold
    const qint64 scaled = 5 * qint64(reading);
    const double hectopascals = roundHalfEven((double(scaled) / 1024 - 0.204) / 0.00459 + 150);
    if (hectopascals < std::numeric_limits<qint32>::min() ||
        hectopascals > std::numeric_limits<qint32>::max())
        return {};
    return QString::number(qint32(hectopascals)) + QLatin1String(" hPa");
}

// ---- The nine queries, in the order they are tested ----

using ReadingDecoder = std::optional<QString> (*)(const QString &rendering);

struct StatusQuery {
    const char *code;
    const StateTable *table; // a state table, or
    ReadingDecoder reading;  // a reading built from the rendering
};

const StatusQuery kStatusQueries[] = {
    {"CR0", &kOperatingStateTable, nullptr},
    {"CR1", &kInputTable, nullptr},
    {"CR4", &kImageReversalTable, nullptr},
    {"CR3", nullptr, lampHours},
    {"CR6", nullptr, temperatures},
    {"CRA", &kMuteAndSignalTable, nullptr},
    {"CR9", nullptr, copied},
    {"CR PRESSURE", nullptr, pressure},
    {"CR7", &kLampModeTable, nullptr},
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
    return query->table ? decodeWithTable(*query->table, rendering) : query->reading(rendering);
}

std::optional<QString> decodeStatusReply(const QString &lastCommand, const QString &received)
{
    if (!isStatusQueryLine(lastCommand))
        return std::nullopt;
    return decodeStatusRendering(lastCommand, trafficRendering(received));
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
