// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/command_payload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringDecoder>
#include <QStringList>

namespace {

const QString kSendName = QStringLiteral("send");

PayloadVerdict refuse(const QString &why)
{
    PayloadVerdict verdict;
    verdict.refusal = why;
    return verdict;
}

PayloadVerdict accept(const CommandRequest &request)
{
    PayloadVerdict verdict;
    verdict.request = request;
    return verdict;
}

QString codePoint(char32_t c)
{
    return QLatin1String("U+") + QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// Why the text cannot go on the line, or nothing.
std::optional<QString> unsafeCharacter(const QString &text)
{
    qsizetype position = 0;
    for (const char32_t c : text.toUcs4()) {
        ++position;
        if (c == U'\r' || c == U'\n')
            return QStringLiteral("line break at character %1: one command per message").arg(position);
        // Other control characters would reach the projector unseen in any log.
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f))
            return QStringLiteral("control character %1 at character %2").arg(codePoint(c)).arg(position);
        if (c > 0xff)
            return QStringLiteral("character %1 at character %2 is outside Latin-1")
                .arg(codePoint(c))
                .arg(position);
    }
    return std::nullopt;
}

// The command itself, as text.
PayloadVerdict checkCommandText(const QString &text)
{
    if (text.isEmpty())
        return refuse(QStringLiteral("empty command"));
    if (const auto problem = unsafeCharacter(text))
        return refuse(*problem);
    const QString sendLead = kSendName + QLatin1Char(' ');
    if (text.startsWith(sendLead)) {
        const QString line = text.mid(sendLead.size());
        if (line.isEmpty())
            return refuse(QStringLiteral("'send' needs a text after it"));
        return accept(CommandRequest::fromLine(line));
    }
    if (text == kSendName)
        return refuse(QStringLiteral("'send' needs a text after it"));
    const Command *command = findCommand(text);
    if (!command)
        return refuse(QStringLiteral("unknown command '%1'").arg(text));
    return accept(CommandRequest::named(*command));
}

// A key the object holds twice: the parser would keep the last, so that a
// payload could say one command to one reader and another to the next.
std::optional<QString> repeatedKey(const QByteArray &json)
{
    QStringList keys;
    int depth = 0;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{' || c == '[')
            ++depth;
        else if (c == '}' || c == ']')
            --depth;
        if (c != '"')
            continue;
        const qsizetype start = i;
        for (++i; i < json.size() && json[i] != '"'; ++i)
            if (json[i] == '\\')
                ++i;
        qsizetype after = i + 1;
        while (after < json.size() &&
               (json[after] == ' ' || json[after] == '\t' || json[after] == '\n' || json[after] == '\r'))
            ++after;
        if (depth != 1 || after >= json.size() || json[after] != ':')
            continue;
        // The key as the parser reads it, escapes and all.
        const QJsonDocument wrapped = QJsonDocument::fromJson('[' + json.mid(start, i + 1 - start) + ']');
        const QString key = wrapped.array().at(0).toString();
        if (keys.contains(key))
            return key;
        keys << key;
    }
    return std::nullopt;
}

PayloadVerdict checkJsonPayload(const QByteArray &payload)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refuse(QStringLiteral("not a JSON object: %1").arg(error.errorString()));
    if (const std::optional<QString> key = repeatedKey(payload))
        return refuse(QStringLiteral("\"%1\" given twice").arg(key->left(40)));
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    if (!id.isUndefined() && !id.isString() && !id.isDouble())
        return refuse(QStringLiteral("\"id\" must be text or a number"));
    const QJsonValue command = object.value(QLatin1String("command"));
    PayloadVerdict verdict = command.isString()
                                 ? checkCommandText(command.toString())
                                 : refuse(QStringLiteral("\"command\" must be a command name as text"));
    verdict.id = id;
    return verdict;
}

} // namespace

PayloadVerdict checkCommandPayload(const QByteArray &payload)
{
    if (payload.isEmpty())
        return refuse(QStringLiteral("empty payload"));
    // Checked before decoding, so a huge payload costs nothing.
    if (payload.size() > kLongestCommandPayload)
        return refuse(QStringLiteral("payload of %1 bytes, at most %2 allowed")
                          .arg(payload.size())
                          .arg(kLongestCommandPayload));
    if (payload.startsWith('{'))
        return checkJsonPayload(payload);

    // A byte order mark is kept, and so refused below: it has no place in a command.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(payload);
    if (decoder.hasError())
        return refuse(QStringLiteral("payload is not valid UTF-8"));
    return checkCommandText(text);
}

QByteArray commandPayload(const CommandRequest &request, const QJsonValue &id)
{
    if (id.isUndefined())
        return request.spelled().toUtf8();
    const QJsonObject object{{QStringLiteral("command"), request.spelled()}, {QStringLiteral("id"), id}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
