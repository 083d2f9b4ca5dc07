// SPDX-License-Identifier: GPL-3.0-or-later
#include "program_messages.h"

#include "velno_version.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void write(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString named(const QString &line)
{
    return QCoreApplication::applicationName() + QStringLiteral(": ") + line + QLatin1Char('\n');
}

} // namespace

void identifyProgram(const QString &name)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral(VELNO_VERSION));
}

void printText(const QString &text)
{
    write(stdout, text);
}

void printVersion()
{
    write(stdout, QCoreApplication::applicationName() + QStringLiteral(" " VELNO_VERSION "\n"));
}

int reportUsageError(const QString &problem, const QString &usage)
{
    QString text = named(problem) + usage;
    // A usage line, or a whole help text that ends its own last line.
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    write(stderr, text);
    return kUsageErrorStatus;
}

QString escapedControls(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void logLine(const QString &line)
{
    // Words from a device, a broker, a client or a settings file reach the
    // log: none of them may end a line early or drive a terminal.
    write(stderr, named(escapedControls(line)));
}
