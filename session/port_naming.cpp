// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/port_naming.h"

#include <QtGlobal>

QString portDeviceName(int portNumber, const EnvironmentLookup &environment)
{
#ifdef Q_OS_WIN
    Q_UNUSED(environment);
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QString chosen = environment(QStringLiteral("VELNO_COM%1").arg(portNumber));
    if (!chosen.isEmpty())
        return chosen;
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

EnvironmentLookup processEnvironment()
{
    return [](const QString &name) { return qEnvironmentVariable(name.toLatin1().constData()); };
}
