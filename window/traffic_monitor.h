#pragma once
// The traffic monitor's three lines (sent, received, status) show what the
// session reports.

#include <QObject>

class Controls;
class MonitorLabel;
class ProjectorSession;

class TrafficMonitor : public QObject {
    Q_OBJECT
public:
    TrafficMonitor(ProjectorSession &session, const Controls &controls, QObject *parent);

private:
    MonitorLabel *sentLine_;
    MonitorLabel *receivedLine_;
    MonitorLabel *statusLine_;
};
