// SPDX-License-Identifier: GPL-3.0-or-later
// Status decoding on any reply to any last command: it never throws, a
// decoded text is one the query can show, and decoding the received text or
// its rendering gives the same.
//
// Input: one selector byte, then the received bytes (Latin-1). A selector
// below the number of status queries picks that query's line; any other
// takes the bytes up to the first NUL as the last command, the rest as the
// reply.

#include "fuzz_check.h"

#include "protocol/command_line.h"
#include "protocol/commands.h"
#include "protocol/status_decoding.h"
#include "protocol/traffic_rendering.h"

#include <QRegularExpression>
#include <QSet>
#include <map>
#include <vector>

namespace {

std::vector<QString> statusQueryLines()
{
    std::vector<QString> lines;
    for (const Command &command : commandTable())
        if (command.statusQuery)
            lines.push_back(commandLine(QString::fromLatin1(command.code)));
    return lines;
}

QSet<QString> texts(std::initializer_list<const char *> list)
{
    QSet<QString> set;
    for (const char *text : list)
        set.insert(QString::fromLatin1(text));
    return set;
}

// What each state query can show, as the operator reads it.
const std::map<QString, QSet<QString>> &stateTexts()
{
    static const std::map<QString, QSet<QString>> table{
        {QStringLiteral("CR0"),
         texts({" Power ON", " Stand by", " Count down", " Cooling down", " Power Fail",
                " Temperature Warning", " NO Key input ", " Lamp OFF by PWR Management",
                " Temperature Warning & cooling down", "Cooling down  PWR Management",
                " Temperature Warning and recoverd", " Cooling down (All Lamp FAIL)",
                " Cooling down & sutandby (All Lamp FAIL)"})},
        {QStringLiteral("CR1"), texts({" Computer 1", " Computer 2", " Video", " Input mode 4"})},
        {QStringLiteral("CR4"), texts({" Normally", " Top/Bottom reversal", " Left/Right reversal",
                                       " Top/Bottom , Left/Right reversal"})},
        {QStringLiteral("CRA"), texts({" Video & Audio mute OFF", " Video mute ON", " Audio mute ON",
                                       " Video & Audio mute ON", " No signal", " Stand by"})},
        {QStringLiteral("CR7"),
         texts({" All OFF : 2 Lamp mode", " No1 ON  : 2 Lamp mode", " No2 ON  : 2 Lamp mode",
                " No1,2 ON  : 2 Lamp mode", " All OFF : 1 Lamp mode(No1 USE)",
                " No1 ON  : 1 Lamp mode(No1 USE)", " All OFF : 1 Lamp mode(No2 USE)",
                " No2 ON  : 1 Lamp mode(No2 USE)"})},
    };
    return table;
}

// The form of what a query's decoded text must take.
void checkDecodedForm(const QString &code, const QString &received, const QString &decoded)
{
    static const QRegularExpression kPressure(QStringLiteral("^-?\\d+ hPa$"));
    const auto &states = stateTexts();
    if (const auto row = states.find(code); row != states.end())
        FUZZ_CHECK(row->second.contains(decoded));
    else if (code == QLatin1String("CR3"))
        FUZZ_CHECK(decoded.startsWith(QLatin1Char(' ')) && decoded.endsWith(QLatin1String(" Hour Use")));
    else if (code == QLatin1String("CR6"))
        FUZZ_CHECK(decoded.startsWith(QLatin1String("  S1=")) && decoded.endsWith(QLatin1String(" C")));
    else if (code == QLatin1String("CR9"))
        FUZZ_CHECK(decoded == trafficRendering(received));
    else if (code == QLatin1String("CR PRESSURE"))
        FUZZ_CHECK(kPressure.match(decoded).hasMatch());
    else
        FUZZ_CHECK(!"a query that decodes nothing decoded something");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::vector<QString> queries = statusQueryLines();
    FUZZ_CHECK(queries.size() == 9);
    if (size == 0)
        return 0;
    const QByteArray rest = fuzz::bytes(data + 1, size - 1);
    QString lastCommand;
    QString received;
    if (data[0] < queries.size()) {
        lastCommand = queries[data[0]];
        received = QString::fromLatin1(rest);
    } else {
        const qsizetype nul = rest.indexOf('\0');
        lastCommand = QString::fromLatin1(nul < 0 ? rest : rest.left(nul));
        received = nul < 0 ? QString() : QString::fromLatin1(rest.mid(nul + 1));
    }

    std::optional<QString> decoded;
    std::optional<QString> fromRendering;
    try {
        decoded = decodeStatusReply(lastCommand, received);
        fromRendering = decodeStatusRendering(lastCommand, trafficRendering(received));
    } catch (...) {
        FUZZ_CHECK(!"status decoding threw");
    }
    FUZZ_CHECK(decoded == fromRendering);
    if (!isStatusQueryLine(lastCommand)) {
        FUZZ_CHECK(!decoded);
        return 0;
    }
    const QString code = lastCommand.chopped(1);
    // The queries that show their reply as text show something whatever came back.
    if (code == QLatin1String("CR3") || code == QLatin1String("CR6") || code == QLatin1String("CR9"))
        FUZZ_CHECK(decoded.has_value());
    if (decoded)
        checkDecodedForm(code, received, *decoded);
    return 0;
}
