// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Readable names for parameterised cases, so a failure names its case:
// "CR0_80_StandBy", not a byte dump or an index.

#include <QString>
#include <string>

namespace test_names {

// Letters and digits kept, every run of anything else one underscore, none
// at either end: "19200,N,8,1" -> "19200_N_8_1". "Empty" for nothing left.
inline std::string identifier(const QString &text)
{
    std::string out;
    bool gap = false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool kept = u < 0x80 && c.isLetterOrNumber();
        if (kept) {
            if (gap && !out.empty())
                out += '_';
            out += char(u);
        }
        gap = !kept;
    }
    return out.empty() ? std::string("Empty") : out;
}

// Words of a phrase, each capitalised, run together: " Stand by" -> "StandBy".
inline std::string camelCase(const QString &phrase)
{
    std::string out;
    bool wordStart = true;
    for (QChar c : phrase) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || !c.isLetterOrNumber()) {
            wordStart = true;
            continue;
        }
        out += char(wordStart ? QChar(u).toUpper().unicode() : u);
        wordStart = false;
    }
    return out.empty() ? std::string("Empty") : out;
}

// Every character told apart: letters and digits as they are, the others by
// name, one token each: " CR0\r" -> "Blank_CR0_CR", "C0\u20ac" -> "C0_U20AC".
inline std::string spelled(const QString &text)
{
    std::string out;
    auto token = [&out](const std::string &t) {
        if (!out.empty() && out.back() != '_')
            out += '_';
        out += t;
        out += '_';
    };
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 && c.isLetterOrNumber()) {
            out += char(u);
            continue;
        }
        switch (u) {
        case ' ': token("Blank"); break;
        case '\t': token("Tab"); break;
        case '\r': token("CR"); break;
        case '\n': token("LF"); break;
        case 6: token("ACK"); break;
        case 20: token("DC4"); break;
        case '-': token("Minus"); break;
        case '+': token("Plus"); break;
        case '.': token("Point"); break;
        case ',': token("Comma"); break;
        default: token((u < 0x80 ? "X" : "U") + QString::number(u, 16).toUpper().toStdString());
        }
    }
    while (!out.empty() && out.back() == '_')
        out.pop_back();
    return out.empty() ? std::string("Empty") : out;
}

// A reply named by its text: the usual final carriage return left unsaid,
// its absence said.
inline std::string replyName(const QString &reply)
{
    if (reply.endsWith(QLatin1Char('\r')))
        return spelled(reply.chopped(1));
    return spelled(reply) + "_NoCR";
}

} // namespace test_names
