// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_check.h"

#include <QCoreApplication>

namespace fuzz {

QStringList arguments(const char *program, const std::uint8_t *data, std::size_t size)
{
    QStringList list{QString::fromUtf8(program)};
    if (size == 0)
        return list;
    for (const QByteArray &piece : bytes(data, size).split('\0'))
        list.append(QString::fromUtf8(piece));
    return list;
}

void startCoreApplication(const char *program)
{
    static int argc = 1;
    static char name[64];
    std::snprintf(name, sizeof name, "%s", program);
    static char *argv[] = {name, nullptr};
    // Kept to the end of the process, never destroyed: the fuzzer exits from
    // inside a run, when tearing Qt down is neither needed nor safe.
    static QCoreApplication *application = new QCoreApplication(argc, argv);
    Q_UNUSED(application);
    QCoreApplication::setApplicationName(QString::fromUtf8(program));
}

} // namespace fuzz
