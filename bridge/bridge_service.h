// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// velno-bridge's work: the projectors it holds, and the faces they are
// served through (the broker, and the listeners the settings name). A
// reload brings the projectors in line with new settings while it runs.

#include "bridge/bridge_options.h"
#include "session/session_timer.h"

#include <QObject>
#include <memory>

class LineFace;
class MqttFace;
class PjlinkFace;
class ProjectorService;
class WebFace;

class BridgeService : public QObject {
    Q_OBJECT
public:
    explicit BridgeService(const BridgeOptions &options, QObject *parent = nullptr,
                           const SessionTimerFactory &makeTimer = {});
    ~BridgeService() override;

    // Opens the projectors and connects to the broker (both retried in the
    // background when they fail). False only for settings that cannot be
    // taken at all (the broker library's refusal, a listener's address).
    bool start(QString *error);
    // Answers the commands still waiting, publishes "offline" for the bridge
    // and every projector, disconnects cleanly and closes the ports.
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
    std::unique_ptr<ProjectorService> projectors_;
    std::unique_ptr<MqttFace> mqtt_;
    std::unique_ptr<LineFace> line_;
    std::unique_ptr<WebFace> web_;
    std::unique_ptr<PjlinkFace> pjlink_;
};
