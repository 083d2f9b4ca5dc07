#include "window/traffic_monitor.h"

#include "protocol/traffic_rendering.h"
#include "session/projector_session.h"
#include "window/monitor_label.h"
#include "window/window_builder.h"

TrafficMonitor::TrafficMonitor(ProjectorSession &session, const Controls &controls, QObject *parent)
    : QObject(parent), sentLine_(controls.get<MonitorLabel>("Label11")),
      receivedLine_(controls.get<MonitorLabel>("Label12")), statusLine_(controls.get<MonitorLabel>("Label22"))
{
    connect(&session, &ProjectorSession::lineSent, sentLine_,
            [this](const QString &, const QString &rendering) { sentLine_->setText(rendering); });
    connect(&session, &ProjectorSession::received, receivedLine_, &MonitorLabel::showRenderingOf);
    connect(&session, &ProjectorSession::statusDecoded, statusLine_, &MonitorLabel::setText);
    connect(&session, &ProjectorSession::noReply, receivedLine_,
            [this] { receivedLine_->setText(kNoReplyRendering); });
    connect(&session, &ProjectorSession::trafficCleared, this, [this] {
        sentLine_->clear();
        receivedLine_->clear();
    });
    connect(&session, &ProjectorSession::monitorCleared, this, [this] {
        sentLine_->clear();
        receivedLine_->clear();
        statusLine_->clear();
    });
}
