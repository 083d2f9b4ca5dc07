#include "bridge/payload_check.h"

#include <QList>
#include <QStringDecoder>

namespace {

const QString kSendName = QStringLiteral("send");

PayloadVerdict refuse(const QString &why)
{
    return {std::nullopt, why};
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

    // A byte order mark is kept, and so refused below: it has no place in a command.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(payload);
    if (decoder.hasError())
        return refuse(QStringLiteral("payload is not valid UTF-8"));
    if (const auto problem = unsafeCharacter(text))
        return refuse(*problem);

    const QString sendLead = kSendName + QLatin1Char(' ');
    if (text.startsWith(sendLead)) {
        const QString line = text.mid(sendLead.size());
        if (line.isEmpty())
            return refuse(QStringLiteral("'send' needs a text after it"));
        return {CommandRequest{kSendName, line}, {}};
    }
    if (text == kSendName)
        return refuse(QStringLiteral("'send' needs a text after it"));
    if (isKnownCommand && !isKnownCommand(text))
        return refuse(QStringLiteral("unknown command '%1'").arg(text));
    return {CommandRequest{text, {}}, {}};
}
