// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command line on the wire: the code, then one carriage return. (The
// prefix that could stand before the code is empty for the whole run, so it
// is not kept at all.)

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

inline QString commandLine(const QString &code)
{
    return code + QLatin1Char('\r');
}

inline QString commandLine(QLatin1String code)
{
    return code + QLatin1Char('\r');
}

// The text up to its first carriage return or line feed: one typed or pasted
// entry never puts more than one line on the wire.
inline QString firstLineOf(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n'))
            return text.left(i);
    }
    return text;
}

// The bytes a line puts on the wire: one per character; a character one
// byte cannot hold goes out as one "?" (counting characters, so a surrogate
// pair is one character too).
inline QByteArray lineBytes(const QString &line)
{
    QByteArray bytes;
    bytes.reserve(line.size());
    for (char32_t c : line.toUcs4())
        bytes.append(c <= 0xFF ? char(c) : '?');
    return bytes;
}
