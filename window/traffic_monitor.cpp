// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/traffic_monitor.h"

#include "protocol/traffic_rendering.h"
#include "session/panel_session.h"
#include "window/monitor_label.h"

TrafficMonitor::TrafficMonitor(PanelSession &session, const MonitorLines &lines, QObject *parent)
    : QObject(parent)
{
    MonitorLabel *sent = lines.sent;
    MonitorLabel *received = lines.received;
    MonitorLabel *status = lines.status;
    connect(&session, &PanelSession::lineSent, sent,
            [sent](const QString &, const QString &rendering) { sent->setText(rendering); });
    connect(&session, &PanelSession::received, received, &MonitorLabel::showRenderingOf);
    connect(&session, &PanelSession::statusDecoded, status, &MonitorLabel::setText);
    connect(&session, &PanelSession::noReply, received, [received] { received->setText(kNoReplyRendering); });
    connect(&session, &PanelSession::trafficCleared, this, [sent, received] {
        sent->clear();
        received->clear();
    });
    connect(&session, &PanelSession::monitorCleared, this, [sent, received, status] {
        sent->clear();
        received->clear();
        status->clear();
    });
}
