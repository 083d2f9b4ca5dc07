// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's PJLink face: each projector with `pjlink = HOST:PORT` is a
// PJLink Class 1 device on its own listener, following the projectors a
// reload adds and removes. A few sessions at a time per projector; more are
// closed at once, and every refusal is logged, throttled.

#include "bridge/bridge_options.h"
#include "session/session_timer.h"

#include <QObject>
#include <map>

class ProjectorLink;
class ProjectorService;

class PjlinkFace : public QObject {
    Q_OBJECT
public:
    PjlinkFace(const BridgeOptions &options, ProjectorService &projectors, QObject *parent = nullptr,
               const SessionTimerFactory &makeTimer = {});
    ~PjlinkFace() override;

    // Listens for every projector that has an address; false, with the
    // reason, when one cannot.
    bool start(QString *error);
    // Closes the listeners and every session.
    void stop();

signals:
    void log(const QString &line);

private:
    class Listener;

    void add(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    void remove(ProjectorLink *projector);

    SessionTimerFactory makeTimer_;
    std::map<ProjectorLink *, Listener *> listeners_; // children of this face
    bool started_ = false;
};
