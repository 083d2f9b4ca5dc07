// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// velno-bridge's work: the projectors it holds, and the faces they are
// served through, in the order they were added. A reload brings the
// projectors in line with new settings while it runs.

#include "bridge/bridge_face.h"
#include "bridge/bridge_options.h"
#include "session/session_clock.h"

#include <QObject>
#include <memory>
#include <vector>

class LimitCounters;
class ProjectorService;

class BridgeService : public QObject {
    Q_OBJECT
public:
    explicit BridgeService(const BridgeOptions &options, QObject *parent = nullptr,
                           const SessionClock &clock = {});
    ~BridgeService() override;

    // What a face is made with: the settings, the projectors, the clock.
    FaceContext faceContext();
    // Serves the projectors one more way; started and stopped with the rest.
    void addFace(std::unique_ptr<BridgeFace> face);

    // Opens the projectors and starts every face (the broker and the ports
    // are retried in the background when they fail). False only for
    // settings that cannot be taken at all (the broker library's refusal, a
    // listener's address).
    bool start(QString *error);
    // No face takes anything new; every command still waiting is answered
    // "bridge stopping"; then the faces say their last words (the broker:
    // "offline" for the bridge and every projector) and the ports close.
    void stop();
    // Projectors added, removed or changed as the new settings say; those
    // left as they were keep their line, and stay online, throughout.
    // Broker settings take effect at the next start (said in the log).
    void reload(const BridgeOptions &options);

    ProjectorService &projectors() { return *projectors_; }

signals:
    void log(const QString &line);

private:
    BridgeOptions options_;
    SessionClock clock_;
    std::unique_ptr<ProjectorService> projectors_;
    LimitCounters *limits_;
    std::vector<std::unique_ptr<BridgeFace>> faces_;
};
