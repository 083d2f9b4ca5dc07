// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The traffic monitor's three lines (sent, received, status) show what the
// session reports.

#include "window/window_controls.h"

#include <QObject>

class PanelSession;

class TrafficMonitor : public QObject {
    Q_OBJECT
public:
    TrafficMonitor(PanelSession &session, const MonitorLines &lines, QObject *parent);
};
