// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The title of the program's message boxes: its application name.

#include <QCoreApplication>
#include <QString>

inline QString applicationTitle()
{
    return QCoreApplication::applicationName();
}
