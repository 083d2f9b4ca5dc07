// SPDX-License-Identifier: GPL-3.0-or-later
// Every program says its version and refuses a bad command line the same way.

#include "program_messages.h"
#include "velno_version.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct Program {
    const char *name;
    const char *path;
};

const Program kPrograms[] = {
    {"velno-control", VELNO_CONTROL_EXE},
    {"velno-cmd", VELNO_CMD_EXE},
#ifdef VELNO_BRIDGE_EXE
    {"velno-bridge", VELNO_BRIDGE_EXE},
#endif
};

struct Answer {
    int status = -1;
    QString out, err;
};

Answer run(const Program &program, const QStringList &arguments)
{
    QProcess process;
    process.start(QString::fromLatin1(program.path), arguments);
    Answer r;
    if (process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit)
        r.status = process.exitCode();
    r.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(process.readAllStandardError());
    return r;
}

TEST(ProgramMessages, VersionAndUsageErrorsAreSaidOneWay)
{
    for (const Program &program : kPrograms) {
        SCOPED_TRACE(program.name);
        const QString name = QString::fromLatin1(program.name);
        const Answer version = run(program, {QStringLiteral("--version")});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, name + QStringLiteral(" " VELNO_VERSION "\n"));

        const Answer help = run(program, {QStringLiteral("--help")});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: "))) << help.out.toStdString();

        const Answer bad = run(program, {QStringLiteral("--bogus")});
        EXPECT_EQ(bad.status, 2);
        EXPECT_TRUE(bad.out.isEmpty()) << bad.out.toStdString();
        // The program's name and the problem, then how to call it.
        const QStringList lines = bad.err.split(QLatin1Char('\n'));
        ASSERT_GE(lines.size(), 3) << bad.err.toStdString();
        EXPECT_EQ(lines[0], name + QStringLiteral(": Unknown option 'bogus'."));
        EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Usage: "))) << bad.err.toStdString();
        // Not the whole help: the problem must stay among a journal's last ten lines.
        EXPECT_LE(lines.size(), 8) << bad.err.toStdString();
        EXPECT_TRUE(bad.err.endsWith(QLatin1Char('\n')));
    }
}

// Whatever a device, a broker or a settings file says stays on its one log
// line, and cannot drive the terminal that shows it.
TEST(ProgramMessages, LogLinesSpellOutControlCharacters)
{
    const struct {
        QString in;
        const char *out;
    } rows[] = {
        {QStringLiteral("plain words, \u00e9t\u00e9 \u65e5\u672c"),
         "plain words, \u00e9t\u00e9 \u65e5\u672c"},
        {QStringLiteral("reply 00\r"), "reply 00\\r"},
        {QStringLiteral("two\nlines"), "two\\nlines"},
        {QStringLiteral("tab\tbell\a esc\x1b[2J nul") + QChar(0) + QStringLiteral("end"),
         "tab\\x09bell\\x07 esc\\x1b[2J nul\\x00end"},
        {QStringLiteral("del\x7f csi\u009b nel\u0085 nbsp\u00a0"), "del\\x7f csi\\x9b nel\\x85 nbsp\u00a0"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(escapedControls(row.in), QString::fromUtf8(row.out));
}

} // namespace
