// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face on HTTP, for the building's technicians and its
// monitoring: the page at "/", the JSON API under "/api/projectors", its
// live updates at "/api/events" and Prometheus' metrics at "/metrics", on
// the one address [web] listen names.
// With a token set, every request must bring it (a bearer header, or the
// cookie that "?token=" sets once for a browser). Commands go through each
// projector's one queue, and are answered when the projector has answered,
// without holding anything else up.

#include "bridge/bridge_face.h"

#include "faces/web/web_metrics.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QObject>
#include <map>
#include <vector>

class ClientListener;
class EventStreams;
class HttpConnection;
class LimitCounters;
class SessionTimer;
class LogThrottles;
class ProjectorLink;
class ProjectorService;
struct HttpRequest;
struct HttpResponse;

class WebFace : public BridgeFace {
    Q_OBJECT
public:
    // How long a browser keeps the token it was given once by "?token=".
    static constexpr int kTokenCookieMaxAgeS = 30 * 24 * 60 * 60;

    explicit WebFace(const FaceContext &context);
    ~WebFace() override;

    // Listens where the settings say; nothing when they name no address.
    // False, with why, when the address cannot be listened on.
    bool start(QString *error) override;
    // Takes no more connections and ends the event streams; commands on
    // their way are still answered.
    void stopTaking() override;
    void stop() override;

private:
    void take();
    void handle(HttpConnection &connection, const HttpRequest &request);
    bool authorised(const HttpRequest &request, bool *tokenInQuery) const;
    HttpResponse projectorList(const HttpRequest &request) const;
    QJsonArray reports() const;
    void sendCommand(ProjectorLink &projector, const HttpRequest &request, HttpConnection &connection);
    void connectionGone(HttpConnection *connection);
    // The oldest connection that holds a place without using it goes.
    bool makeRoom();

    void follow(ProjectorLink *projector);

    BridgeOptions options_;
    ProjectorService &projectors_;
    LimitCounters &limits_;
    SessionClock clock_;
    std::map<QString, ExchangeHistogram> histograms_; // by projector ID
    ClientListener *listener_ = nullptr;
    EventStreams *events_;
    LogThrottles *refusals_;
    std::vector<HttpConnection *> connections_; // oldest first
    SessionTimer *trim_;                        // what a burst of connections took, given back soon after
    QElapsedTimer uptime_;
    QDateTime started_;
};
