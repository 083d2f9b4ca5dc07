// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/web_face.h"

#include "api/command_payload.h"
#include "bridge/client_listener.h"
#include "bridge/limit_counters.h"
#include "bridge/listener_limits.h"
#include "bridge/log_throttle.h"
#include "bridge/outcome_reply.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/web/command_status.h"
#include "faces/web/event_streams.h"
#include "faces/web/group_api.h"
#include "faces/web/http_connection.h"
#include "faces/web/projector_report.h"
#include "faces/web/request_guard.h"
#include "session/precise_timer.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace listener_limits;

namespace {

const QByteArray kCookieName = "velno_token";
const QByteArray kJson = "application/json";
const QString kWeb = QStringLiteral("web");
// Whatever the reason, a flood of refused requests says one thing.
const QString kRequestsRefused = QStringLiteral("requests refused");

HttpResponse json(const QJsonDocument &document, int status = 200)
{
    return {status, kJson, document.toJson(QJsonDocument::Compact), {}};
}

HttpResponse methodNotAllowed(const QByteArray &allowed)
{
    return plainResponse(405, "method not allowed", {{"Allow", allowed}});
}

// A browser that lost its cookie (or never had it) is told how to get it.
HttpResponse tokenPage()
{
    return {401,
            "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<title>Projectors: token needed</title></head><body>\n"
            "<h1>Projectors: token needed</h1>\n"
            "<p>This page asks for its token. Open it once as <code>/?token=TOKEN</code>, with the token "
            "from the bridge's token file; this browser keeps it for 30 days.</p>\n</body></html>\n",
            {{"WWW-Authenticate", "Bearer"}}};
}

// Compared by their digests, so the time taken says nothing of the token.
bool sameSecret(const QByteArray &given, const QByteArray &secret)
{
    const auto digest = [](const QByteArray &b) {
        return QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    };
    const QByteArray a = digest(given), b = digest(secret);
    unsigned char differ = 0;
    for (int i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

QByteArray cookie(const HttpRequest &request, const QByteArray &name)
{
    for (QByteArray part : request.header("cookie").split(';')) {
        part = part.trimmed();
        if (part.startsWith(name + '='))
            return part.mid(name.size() + 1);
    }
    return {};
}

HttpResponse resource(const QString &name, const QByteArray &contentType)
{
    QFile file(QStringLiteral(":/velno/web/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return plainResponse(404, "not found");
    return {200, contentType, file.readAll(), {}};
}

// The allocator keeps what a burst of connections took unless told.
constexpr int kTrimDelayMs = 250;

void returnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

WebFace::WebFace(const FaceContext &context)
    : options_(context.options), projectors_(context.projectors), limits_(context.limits),
      clock_(context.clock), events_(new EventStreams(
                                 projectors_, [this] { return reports(); }, this, context.clock)),
      refusals_(new LogThrottles(QStringLiteral("web "), this, context.clock.makeTimer)),
      trim_((context.clock.makeTimer ? context.clock.makeTimer
                                     : makeCoarseTimer)(QStringLiteral("memory trim"), kTrimDelayMs, this))
{
    connect(trim_, &SessionTimer::tick, this, [this] {
        trim_->setEnabled(false);
        returnFreedMemory();
    });
    connect(refusals_, &LogThrottles::log, this, &WebFace::log);
    for (ProjectorLink *projector : projectors_.projectors())
        follow(projector);
    connect(&projectors_, &ProjectorService::projectorAdded, this, &WebFace::follow);
    connect(&projectors_, &ProjectorService::projectorRemoved, this,
            [this](ProjectorLink *projector) { histograms_.erase(projector->id()); });
    uptime_.start();
    started_ = QDateTime::currentDateTimeUtc();
}

WebFace::~WebFace() = default;

void WebFace::follow(ProjectorLink *projector)
{
    connect(projector, &ProjectorLink::exchanged, this,
            [this, id = projector->id()](const ExchangeResult &result) {
                histograms_[id].add(result.elapsedMs);
            });
}

bool WebFace::start(QString *error)
{
    if (!options_.webListen)
        return true;
    listener_ = new ClientListener(QStringLiteral("web page, API and metrics"), *options_.webListen,
                                   kMostWebConnections, this);
    listener_->setScheme(QStringLiteral("http"));
    listener_->setRefuse([](QTcpSocket &socket) {
        socket.write(httpAnswerBytes(plainResponse(503, "too many connections"), true, true));
    });
    connect(listener_, &ClientListener::log, this, &WebFace::log);
    listener_->setMakeRoom([this] { return makeRoom(); });
    listener_->setLimits(limits_, kWeb);
    connect(listener_, &QTcpServer::newConnection, this, &WebFace::take);
    if (!listener_->listen(error)) {
        delete listener_;
        listener_ = nullptr;
        return false;
    }
    if (options_.webToken.isEmpty())
        emit log(QStringLiteral("web page: no token asked"));
    return true;
}

void WebFace::take()
{
    while (QTcpSocket *socket = listener_->nextPendingConnection()) {
        auto *connection = new HttpConnection(socket, listener_->tally(), this, clock_.makeTimer);
        connections_.push_back(connection);
        connect(connection, &HttpConnection::requestArrived, this,
                [this, connection](const HttpRequest &request) { handle(*connection, request); });
        connect(connection, &FaceClient::gone, this, [this, connection] {
            connection->deleteLater();
            connectionGone(connection);
        });
    }
}

void WebFace::connectionGone(HttpConnection *connection)
{
    connections_.erase(std::find(connections_.begin(), connections_.end(), connection));
    // Once this one and those that go with it are deleted; during a burst,
    // at most once in that time, so the burst costs only what is alive.
    if (!trim_->enabled())
        trim_->setEnabled(true);
}

// Holding a place without a request is what an attacker's connections do,
// and all a browser's kept-alive one loses is its place.
bool WebFace::makeRoom()
{
    const auto waiting = std::find_if(connections_.begin(), connections_.end(),
                                      [](HttpConnection *c) { return c->waiting(); });
    if (waiting == connections_.end())
        return false;
    limits_.bite(kWeb, QStringLiteral("connections"),
                 QStringLiteral("web: let %1 go for a newer connection: %2 connections already")
                     .arg((*waiting)->peerName())
                     .arg(kMostWebConnections));
    (*waiting)->makeRoom();
    return true;
}

void WebFace::stopTaking()
{
    if (listener_)
        listener_->close();
    events_->closeAll();
}

void WebFace::stop()
{
    for (HttpConnection *connection : connections_)
        connection->close();
}

bool WebFace::authorised(const HttpRequest &request, bool *tokenInQuery) const
{
    *tokenInQuery = false;
    const QByteArray &token = options_.webToken;
    if (token.isEmpty())
        return true;
    const QByteArray bearer = request.header("authorization");
    if (bearer.left(7).compare("bearer ", Qt::CaseInsensitive) == 0 &&
        sameSecret(bearer.mid(7).trimmed(), token))
        return true;
    if (sameSecret(cookie(request, kCookieName), token))
        return true;
    const QUrlQuery query(QString::fromLatin1(request.query()));
    if (query.hasQueryItem(QStringLiteral("token")) &&
        sameSecret(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(), token)) {
        *tokenInQuery = true;
        return true;
    }
    return false;
}

QJsonArray WebFace::reports() const
{
    QJsonArray all;
    for (const ProjectorLink *projector : projectors_.projectors())
        all.append(projectorReport(*projector));
    return all;
}

// Tagged, so that a poller that has the list already gets a 304 and no body.
HttpResponse WebFace::projectorList(const HttpRequest &request) const
{
    HttpResponse list = json(QJsonDocument(reports()));
    const QByteArray tag =
        '"' + QCryptographicHash::hash(list.body, QCryptographicHash::Sha1).toHex().left(20) + '"';
    list.headers = {{"ETag", tag}, {"Cache-Control", "no-cache"}};
    for (const QByteArray &wanted : request.header("if-none-match").split(','))
        if (const QByteArray t = wanted.trimmed(); t == tag || t == "W/" + tag || t == "*")
            return {304, {}, {}, list.headers};
    return list;
}

void WebFace::handle(HttpConnection &connection, const HttpRequest &request)
{
    const QString path = request.path();
    const bool read = request.method == "GET" || request.method == "HEAD";
    const auto refuse = [&](const HttpResponse &reply) {
        refusals_->report(kRequestsRefused, QStringLiteral("web: refused %1 %2 from %3: %4")
                                                .arg(QString::fromLatin1(request.method.left(16)),
                                                     path.left(80), connection.peerName())
                                                .arg(reply.status));
        connection.answer(reply);
    };

    if (options_.webToken.isEmpty() &&
        !hostServed(request.header("host"), *options_.webListen, options_.webHosts))
        return refuse(plainResponse(421, "this bridge does not serve that host name; add it to [web] hosts"));
    bool tokenInQuery = false;
    if (!authorised(request, &tokenInQuery)) {
        if (read && path == QStringLiteral("/"))
            return refuse(tokenPage());
        return refuse(plainResponse(401, "token required", {{"WWW-Authenticate", "Bearer"}}));
    }
    if (request.method == "POST")
        if (const CrossSiteVerdict verdict = crossSiteCheck(request); verdict.status)
            return refuse(plainResponse(verdict.status, verdict.text));
    const auto answer = [&](HttpResponse reply) {
        if (reply.status >= 400)
            return refuse(reply);
        if (tokenInQuery)
            reply.headers.append({"Set-Cookie", kCookieName + '=' + options_.webToken + "; Max-Age=" +
                                                    QByteArray::number(WebFace::kTokenCookieMaxAgeS) +
                                                    "; Path=/; HttpOnly; SameSite=Strict"});
        connection.answer(reply);
    };
    const auto readOnly = [&](const auto &serve) {
        return read ? answer(serve()) : answer(methodNotAllowed("GET, HEAD"));
    };

    static const QString kApi = QStringLiteral("/api/projectors");
    if (path == QStringLiteral("/"))
        return readOnly([] { return resource(QStringLiteral("index.html"), "text/html; charset=utf-8"); });
    if (path == QStringLiteral("/page.css"))
        return readOnly([] { return resource(QStringLiteral("page.css"), "text/css; charset=utf-8"); });
    if (path == QStringLiteral("/page.js"))
        return readOnly([] { return resource(QStringLiteral("page.js"), "text/javascript; charset=utf-8"); });
    if (path == QStringLiteral("/groups.js"))
        return readOnly(
            [] { return resource(QStringLiteral("groups.js"), "text/javascript; charset=utf-8"); });
    if (path == QStringLiteral("/favicon.svg") || path == QStringLiteral("/favicon-attention.svg"))
        return readOnly([&] { return resource(path.mid(1), "image/svg+xml"); });
    if (path == QStringLiteral("/metrics"))
        return readOnly([this] {
            const ProcessFigures process{double(uptime_.elapsed()) / 1000,
                                         double(started_.toMSecsSinceEpoch()) / 1000, residentMemoryBytes()};
            return HttpResponse{200,
                                "text/plain; version=0.0.4; charset=utf-8",
                                prometheusMetrics(
                                    projectors_.projectors(),
                                    [this](const QString &id) {
                                        const auto found = histograms_.find(id);
                                        return found == histograms_.end() ? nullptr : &found->second;
                                    },
                                    process) +
                                    limitMetrics(limits_),
                                {}};
        });
    if (path == QStringLiteral("/api/fields"))
        return readOnly([this] { return json(QJsonDocument(pageFields(options_))); });
    if (path == kApi)
        return readOnly([&] { return projectorList(request); });
    if (path == QStringLiteral("/api/events")) {
        if (request.method != "GET")
            return answer(methodNotAllowed("GET"));
        if (events_->count() >= kMostEventStreams) {
            limits_.bite(kWeb, QStringLiteral("event streams"),
                         QStringLiteral("web: refused an event stream to %1: %2 open already")
                             .arg(connection.peerName())
                             .arg(kMostEventStreams));
            return answer(plainResponse(503, "too many event streams"));
        }
        return events_->open(connection);
    }
    static const QString kGroupsApi = QStringLiteral("/api/groups");
    if (path == kGroupsApi || path.startsWith(kGroupsApi + QLatin1Char('/')))
        return groupApiRequest(projectors_, options_.bridgeName,
                               {QString::fromLatin1(request.method == "HEAD" ? "GET" : request.method),
                                path.mid(kGroupsApi.size() + 1), request.body},
                               [client = QPointer<HttpConnection>(&connection)](const GroupApiAnswer &a) {
                                   if (client)
                                       client->answer(a.allow.isEmpty() ? json(a.json, a.status)
                                                                        : methodNotAllowed(a.allow));
                               });
    if (!path.startsWith(kApi + QLatin1Char('/')))
        return answer(plainResponse(404, "not found"));
    const QStringList rest = path.mid(kApi.size() + 1).split(QLatin1Char('/'));
    ProjectorLink *projector = projectors_.projector(rest.first());
    if (!projector || rest.size() > 2 || (rest.size() == 2 && rest[1] != QStringLiteral("command")))
        return answer(plainResponse(404, "not found"));
    if (rest.size() == 1)
        return readOnly([projector] { return json(QJsonDocument(projectorReport(*projector))); });
    if (request.method != "POST")
        return answer(methodNotAllowed("POST"));
    sendCommand(*projector, request, connection);
}

// Answered when the projector has answered, or the command was refused;
// the connection may be gone by then.
void WebFace::sendCommand(ProjectorLink &projector, const HttpRequest &request, HttpConnection &connection)
{
    const PayloadVerdict verdict = checkCommandPayload(request.body);
    const auto done = [client = QPointer<HttpConnection>(&connection),
                       id = verdict.id](const CommandOutcome &outcome) {
        if (!client)
            return;
        client->answer(json(QJsonDocument(outcomeReply(outcome, id)), commandStatus(outcome)));
    };
    if (!verdict.accepted()) {
        refusals_->report(
            kRequestsRefused,
            QStringLiteral("web: refused a command for %1: %2").arg(projector.id(), verdict.refusal));
        return done({std::nullopt, std::nullopt, Refusal{RefusalKind::Invalid, verdict.refusal}});
    }
    projector.command(*verdict.request, done);
}
