// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Values in failure messages as text rather than as bytes of an object.

#include "protocol/commands.h"
#include "protocol/monitor_timing.h"

#include <QString>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

inline void PrintTo(const MonitorTiming &t, std::ostream *os)
{
    *os << "{reply window " << t.replyWindowMs << " ms, clear delay " << t.clearDelayMs << " ms}";
}

inline void PrintTo(ArrowMode mode, std::ostream *os)
{
    *os << (mode == ArrowMode::Off ? "Off" : mode == ArrowMode::Menu ? "Menu" : "Fast");
}
