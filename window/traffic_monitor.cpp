// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/traffic_monitor.h"

#include "protocol/traffic_rendering.h"
#include "session/projector_session.h"
#include "window/monitor_label.h"

TrafficMonitor::TrafficMonitor(ProjectorSession &session, const MonitorLines &lines, QObject *parent)
    : QObject(parent)
{
    MonitorLabel *sent = lines.sent;
    MonitorLabel *received = lines.received;
    MonitorLabel *status = lines.status;
    connect(&session, &ProjectorSession::lineSent, sent,
            [sent](const QString &, const QString &rendering) { sent->setText(rendering); });
    connect(&session, &ProjectorSession::received, received, &MonitorLabel::showRenderingOf);
    connect(&session, &ProjectorSession::statusDecoded, status, &MonitorLabel::setText);
    connect(&session, &ProjectorSession::noReply, received,
            [received] { received->setText(kNoReplyRendering); });
    connect(&session, &ProjectorSession::trafficCleared, this, [sent, received] {
        sent->clear();
        received->clear();
    });
    connect(&session, &ProjectorSession::monitorCleared, this, [sent, received, status] {
        sent->clear();
        received->clear();
        status->clear();
    });
}
