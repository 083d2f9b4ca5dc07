#pragma once
#include <QString>

// One command line on the wire: prefix, code, one carriage return.
inline QString commandLine(const QString &prefix, const QString &code)
{
    return prefix + code + QLatin1Char('\r');
}
