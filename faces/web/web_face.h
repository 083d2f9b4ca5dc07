// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face on HTTP, for the building's technicians and its
// monitoring: the page at "/", the JSON API under "/api/projectors" and
// Prometheus' metrics at "/metrics", on the one address [web] listen names.
// With a token set, every request must bring it (a bearer header, or the
// cookie that "?token=" sets once for a browser). Commands go through each
// projector's one queue, and are answered when the projector has answered,
// without holding anything else up.

#include "bridge/bridge_face.h"
#include "session/session_timer.h"

#include "faces/web/web_metrics.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <memory>

class LimitCounters;
class LogThrottles;
class ProjectorLink;
class ProjectorService;
class QHttpServerRequest;
class QHttpServerResponder;
class ClientListener;
class QTcpSocket;
class WebServer;

class WebFace : public BridgeFace {
    Q_OBJECT
public:
    // Requests with a larger body are refused before anything else is read
    // from them: a command is a few dozen bytes.
    static constexpr qint64 kLargestBodyBytes = 4096;

    explicit WebFace(const FaceContext &context);
    ~WebFace() override;

    // Listens where the settings say; nothing when they name no address.
    // False, with why, when the address cannot be listened on.
    bool start(QString *error) override;
    // Takes no more connections; commands on their way are still answered.
    void stopTaking() override;
    void stop() override {}

private:
    friend class WebServer;
    void handle(const QHttpServerRequest &request, QTcpSocket *socket);
    bool authorised(const QHttpServerRequest &request, bool *tokenInQuery) const;
    void sendCommand(ProjectorLink &projector, const QHttpServerRequest &request,
                     const std::shared_ptr<QHttpServerResponder> &responder, QTcpSocket *socket);

    void follow(ProjectorLink *projector);

    BridgeOptions options_;
    ProjectorService &projectors_;
    LimitCounters &limits_;
    std::map<QString, ExchangeHistogram> histograms_; // by projector ID
    std::unique_ptr<WebServer> server_;
    ClientListener *listener_ = nullptr;
    LogThrottles *refusals_;
    QElapsedTimer uptime_;
    QDateTime started_;
};
