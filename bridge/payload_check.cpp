// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/payload_check.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringDecoder>

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
PayloadVerdict checkCommandText(const QString &text,
                                const std::function<bool(const QString &)> &isKnownCommand)
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
        return accept({kSendName, line});
    }
    if (text == kSendName)
        return refuse(QStringLiteral("'send' needs a text after it"));
    if (isKnownCommand && !isKnownCommand(text))
        return refuse(QStringLiteral("unknown command '%1'").arg(text));
    return accept({text, {}});
}

PayloadVerdict checkJsonPayload(const QByteArray &payload,
                                const std::function<bool(const QString &)> &isKnownCommand)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refuse(QStringLiteral("not a JSON object: %1").arg(error.errorString()));
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    if (!id.isUndefined() && !id.isString() && !id.isDouble())
        return refuse(QStringLiteral("\"id\" must be text or a number"));
    const QJsonValue command = object.value(QLatin1String("command"));
    PayloadVerdict verdict = command.isString()
                                 ? checkCommandText(command.toString(), isKnownCommand)
                                 : refuse(QStringLiteral("\"command\" must be a command name as text"));
    verdict.id = id;
    return verdict;
}

} // namespace

PayloadVerdict checkCommandPayload(const QByteArray &payload,
                                   const std::function<bool(const QString &)> &isKnownCommand)
{
    if (payload.isEmpty())
        return refuse(QStringLiteral("empty payload"));
    // Checked before decoding, so a huge payload costs nothing.
    if (payload.size() > kLongestCommandPayload)
        return refuse(QStringLiteral("payload of %1 bytes, at most %2 allowed")
                          .arg(payload.size())
                          .arg(kLongestCommandPayload));
    if (payload.startsWith('{'))
        return checkJsonPayload(payload, isKnownCommand);

    // A byte order mark is kept, and so refused below: it has no place in a command.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(payload);
    if (decoder.hasError())
        return refuse(QStringLiteral("payload is not valid UTF-8"));
    return checkCommandText(text, isKnownCommand);
}
