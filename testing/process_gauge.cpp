// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/process_gauge.h"

#include <QFile>
#include <QStringList>
#include <unistd.h>

namespace {

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    // /proc files report a size of 0: read until the end rather than by size.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<ProcessGauge> readGauge(const QString &procDir)
{
    const QByteArray status = readProcFile(procDir + QStringLiteral("/status"));
    const QByteArray stat = readProcFile(procDir + QStringLiteral("/stat"));
    // The command name in stat is in parentheses and may hold blanks: the
    // numbered fields start after the last closing one, at field 3 (state).
    const qsizetype nameEnd = stat.lastIndexOf(')');
    const qsizetype rssAt = status.indexOf("VmRSS:");
    if (nameEnd < 0 || rssAt < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    constexpr int kUtime = 14 - 3, kStime = 15 - 3;
    if (fields.size() <= kStime)
        return std::nullopt;
    const QByteArray rssLine = status.mid(rssAt + 6, status.indexOf('\n', rssAt) - rssAt - 6);
    const double ticksPerSecond = double(::sysconf(_SC_CLK_TCK));
    ProcessGauge gauge;
    gauge.residentMb = rssLine.simplified().split(' ').value(0).toDouble() / 1024.0; // kB
    gauge.cpuSeconds = (fields[kUtime].toDouble() + fields[kStime].toDouble()) / ticksPerSecond;
    return gauge;
}

} // namespace

std::optional<ProcessGauge> readProcessGauge(qint64 pid)
{
    if (pid <= 0)
        return std::nullopt;
    return readGauge(QStringLiteral("/proc/%1").arg(pid));
}

std::optional<ProcessGauge> readOwnGauge()
{
    return readGauge(QStringLiteral("/proc/self"));
}

QString loadAverages()
{
    const QList<QByteArray> fields = readProcFile(QStringLiteral("/proc/loadavg")).split(' ');
    return fields.size() >= 3 ? QString::fromLatin1(fields[0] + ", " + fields[1] + ", " + fields[2])
                              : QStringLiteral("unknown");
}
