// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One way the bridge serves its projectors (the broker, the shared lines,
// PJLink, the page): a plug-in over the projector service. A face follows
// the projectors the service adds, changes and removes on its own; the
// bridge starts the faces in order and stops them in two steps, so that
// every command in flight is answered before any client is let go.

#include "bridge/bridge_options.h"
#include "session/session_clock.h"

#include <QObject>
#include <QString>

class LimitCounters;
class ProjectorService;

// What every face is made with.
struct FaceContext {
    const BridgeOptions &options;
    ProjectorService &projectors;
    SessionClock clock;    // the real one, but in tests
    LimitCounters &limits; // every listener counts its limits' bites here
};

class BridgeFace : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts serving (listening, connecting). False, with why, only for
    // settings it cannot take at all.
    virtual bool start(QString *error) = 0;
    // Takes nothing new from now on. What it already took is still answered:
    // the projectors answer what waits for them ("bridge stopping") next.
    virtual void stopTaking() {}
    // After every command was answered: the last words, and the end.
    virtual void stop() = 0;

signals:
    void log(const QString &line);
};
