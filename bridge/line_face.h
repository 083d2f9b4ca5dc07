// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face for clients of the projectors' own protocol: a shared
// line for each projector whose settings name one, opened and closed as
// projectors come and go with the settings.

#include "session/session_timer.h"

#include <QObject>
#include <map>

class LineListener;
class ProjectorLink;
class ProjectorService;
struct ProjectorEndpoint;

class LineFace : public QObject {
    Q_OBJECT
public:
    LineFace(ProjectorService &projectors, QObject *parent = nullptr,
             const SessionTimerFactory &makeTimer = {});
    ~LineFace() override;

    // Listens on every shared line: false, with the reason, when one cannot.
    bool start(QString *error);
    // Closes every shared line and its clients.
    void stop();

signals:
    void log(const QString &line);

private:
    void addProjector(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    void removeProjector(ProjectorLink *projector);

    ProjectorService &projectors_;
    SessionTimerFactory makeTimer_;
    std::map<ProjectorLink *, LineListener *> listeners_;
    bool started_ = false;
};
