// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/web_face.h"

#include "api/command_payload.h"
#include "api/command_reply.h"
#include "bridge/client_listener.h"
#include "bridge/log_throttle.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/web/projector_report.h"
#include "faces/web/web_metrics.h"

#include <QAbstractHttpServer>
#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

using Status = QHttpServerResponder::StatusCode;

namespace {

const QByteArray kCookieName = "velno_token";
const QByteArray kJson = "application/json";
// Whatever the reason, a flood of refused requests says one thing.
const QString kRequestsRefused = QStringLiteral("requests refused");

struct Reply {
    Status status = Status::Ok;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

Reply plain(Status status, const QByteArray &text, QList<QPair<QByteArray, QByteArray>> headers = {})
{
    return {status, "text/plain; charset=utf-8", text + '\n', std::move(headers)};
}

Reply json(const QJsonDocument &document, Status status = Status::Ok)
{
    return {status, kJson, document.toJson(QJsonDocument::Compact), {}};
}

Reply methodNotAllowed(const QByteArray &allowed)
{
    return plain(Status::MethodNotAllowed, "method not allowed", {{"Allow", allowed}});
}

// The responder's one-line writes take a fixed header list; ours varies.
void write(QHttpServerResponder &responder, const Reply &reply, bool setCookie, const QByteArray &token)
{
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    for (const auto &header : reply.headers)
        responder.writeHeader(header.first, header.second);
    if (setCookie)
        responder.writeHeader("Set-Cookie",
                              kCookieName + '=' + token + "; Path=/; HttpOnly; SameSite=Strict");
    responder.writeBody(reply.body);
}

QByteArray header(const QHttpServerRequest &request, const QByteArray &name)
{
    for (const auto &h : request.headers())
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
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

QByteArray cookie(const QHttpServerRequest &request, const QByteArray &name)
{
    for (QByteArray part : header(request, "cookie").split(';')) {
        part = part.trimmed();
        if (part.startsWith(name + '='))
            return part.mid(name.size() + 1);
    }
    return {};
}

Reply resource(const QString &name, const QByteArray &contentType)
{
    QFile file(QStringLiteral(":/velno/web/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return plain(Status::NotFound, "not found");
    return {Status::Ok, contentType, file.readAll(), {}};
}

// A refused command: one that names none is the client's mistake; busy is
// worth trying again soon; the rest not until the projector is back.
Status refusalStatus(RefusalKind why)
{
    switch (why) {
    case RefusalKind::Invalid:
    case RefusalKind::Retained: return Status::BadRequest;
    case RefusalKind::Busy: return Status::Conflict;
    case RefusalKind::Offline:
    case RefusalKind::Stopping:
    case RefusalKind::Removed: break;
    }
    return Status::ServiceUnavailable;
}

QString methodName(const QHttpServerRequest &request)
{
    return QString::fromLatin1(
               QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(request.method())))
        .toUpper();
}

// Qt's server reads a whole request, body and all, before it hands it on:
// a connection that sends more than any request of ours needs, without a
// request coming of it, is cut before that fills the memory.
constexpr qint64 kLargestRequestBytes = 16 * 1024 + WebFace::kLargestBodyBytes;
constexpr const char *kUnread = "velnoBytesSinceRequest";

void boundRequests(QTcpSocket &socket)
{
    // Connected before the server's own reader, so it sees each chunk first.
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [socket = &socket] {
        const qint64 unread = socket->property(kUnread).toLongLong() + socket->bytesAvailable();
        socket->setProperty(kUnread, unread);
        if (unread > kLargestRequestBytes)
            socket->abort();
    });
}

void requestArrived(QTcpSocket *socket)
{
    socket->setProperty(kUnread, 0);
}

} // namespace

// Qt's server parses the requests; every one comes to WebFace::handle.
class WebServer : public QAbstractHttpServer {
public:
    explicit WebServer(WebFace &face) : face_(face) {}
    static QHttpServerResponder responderFor(const QHttpServerRequest &request, QTcpSocket *socket)
    {
        return makeResponder(request, socket);
    }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        face_.handle(request, socket);
        return true;
    }
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        face_.handle(request, socket);
    }

private:
    WebFace &face_;
};

WebFace::WebFace(const FaceContext &context)
    : options_(context.options), projectors_(context.projectors), limits_(context.limits),
      server_(std::make_unique<WebServer>(*this)),
      refusals_(new LogThrottles(QStringLiteral("web "), this, context.clock.makeTimer))
{
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
    listener_ = new ClientListener(QStringLiteral("web page, API and metrics"), *options_.webListen, 0, this);
    listener_->setScheme(QStringLiteral("http"));
    listener_->setAccepted(boundRequests);
    connect(listener_, &ClientListener::log, this, &WebFace::log);
    if (!listener_->listen(error)) {
        delete listener_;
        listener_ = nullptr;
        return false;
    }
    server_->bind(listener_);
    if (options_.webToken.isEmpty())
        emit log(QStringLiteral("web page: no token asked"));
    return true;
}

void WebFace::stopTaking()
{
    if (listener_)
        listener_->close();
}

bool WebFace::authorised(const QHttpServerRequest &request, bool *tokenInQuery) const
{
    *tokenInQuery = false;
    const QByteArray &token = options_.webToken;
    if (token.isEmpty())
        return true;
    const QByteArray bearer = header(request, "authorization");
    if (bearer.startsWith("Bearer ") && sameSecret(bearer.mid(7).trimmed(), token))
        return true;
    if (sameSecret(cookie(request, kCookieName), token))
        return true;
    const QUrlQuery query = request.query();
    if (query.hasQueryItem(QStringLiteral("token")) &&
        sameSecret(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(), token)) {
        *tokenInQuery = true;
        return true;
    }
    return false;
}

void WebFace::handle(const QHttpServerRequest &request, QTcpSocket *socket)
{
    requestArrived(socket);
    QHttpServerResponder responder = WebServer::responderFor(request, socket);
    const QString path = request.url().path(QUrl::FullyDecoded);
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const auto refuse = [&](const Reply &reply) {
        refusals_->report(kRequestsRefused,
                          QStringLiteral("web: refused %1 %2 from %3: %4")
                              .arg(methodName(request), path.left(80), request.remoteAddress().toString())
                              .arg(int(reply.status)));
        write(responder, reply, false, {});
    };

    if (header(request, "content-length").toLongLong() > kLargestBodyBytes ||
        request.body().size() > kLargestBodyBytes)
        return refuse(plain(Status::PayloadTooLarge, "request body too large"));
    bool tokenInQuery = false;
    if (!authorised(request, &tokenInQuery))
        return refuse(plain(Status::Unauthorized, "token required", {{"WWW-Authenticate", "Bearer"}}));
    const auto answer = [&](const Reply &reply) {
        if (reply.status != Status::Ok)
            return refuse(reply);
        write(responder, reply, tokenInQuery, options_.webToken);
    };

    static const QString kApi = QStringLiteral("/api/projectors");
    if (path == QStringLiteral("/") || path == QStringLiteral("/page.css") ||
        path == QStringLiteral("/page.js") || path.startsWith(QStringLiteral("/favicon"))) {
        if (!get)
            return answer(methodNotAllowed("GET"));
        if (path.endsWith(QStringLiteral(".css")))
            return answer(resource(QStringLiteral("page.css"), "text/css; charset=utf-8"));
        if (path.endsWith(QStringLiteral(".svg")))
            return answer(resource(path.mid(1), "image/svg+xml"));
        if (path.endsWith(QStringLiteral(".js")))
            return answer(resource(QStringLiteral("page.js"), "text/javascript; charset=utf-8"));
        return answer(resource(QStringLiteral("index.html"), "text/html; charset=utf-8"));
    }
    if (path == QStringLiteral("/metrics")) {
        if (!get)
            return answer(methodNotAllowed("GET"));
        const ProcessFigures process{double(uptime_.elapsed()) / 1000,
                                     double(started_.toMSecsSinceEpoch()) / 1000, residentMemoryBytes()};
        return answer({Status::Ok,
                       "text/plain; version=0.0.4; charset=utf-8",
                       prometheusMetrics(
                           projectors_.projectors(),
                           [this](const QString &id) {
                               const auto found = histograms_.find(id);
                               return found == histograms_.end() ? nullptr : &found->second;
                           },
                           process) +
                           limitMetrics(limits_),
                       {}});
    }
    if (path == QStringLiteral("/api/fields")) {
        if (!get)
            return answer(methodNotAllowed("GET"));
        return answer(json(QJsonDocument(pageFields(options_))));
    }
    if (path == kApi) {
        if (!get)
            return answer(methodNotAllowed("GET"));
        QJsonArray all;
        for (const ProjectorLink *projector : projectors_.projectors())
            all.append(projectorReport(*projector));
        return answer(json(QJsonDocument(all)));
    }
    if (!path.startsWith(kApi + QLatin1Char('/')))
        return answer(plain(Status::NotFound, "not found"));
    const QStringList rest = path.mid(kApi.size() + 1).split(QLatin1Char('/'));
    ProjectorLink *projector = projectors_.projector(rest.first());
    if (!projector || rest.size() > 2 || (rest.size() == 2 && rest[1] != QStringLiteral("command")))
        return answer(plain(Status::NotFound, "not found"));
    if (rest.size() == 1) {
        if (!get)
            return answer(methodNotAllowed("GET"));
        return answer(json(QJsonDocument(projectorReport(*projector))));
    }
    if (request.method() != QHttpServerRequest::Method::Post)
        return answer(methodNotAllowed("POST"));
    sendCommand(*projector, request, std::make_shared<QHttpServerResponder>(std::move(responder)), socket);
}

// Answered when the projector has answered, or the command was refused;
// the connection may be gone by then.
void WebFace::sendCommand(ProjectorLink &projector, const QHttpServerRequest &request,
                          const std::shared_ptr<QHttpServerResponder> &responder, QTcpSocket *socket)
{
    const PayloadVerdict verdict = checkCommandPayload(request.body());
    QPointer<QTcpSocket> client(socket);
    const auto done = [client, responder, id = verdict.id](const CommandOutcome &outcome) {
        if (!client)
            return;
        if (outcome.result) {
            const Status status =
                refusedByProjector(*outcome.result) ? Status::UnprocessableEntity : Status::Ok;
            return write(*responder, json(QJsonDocument(commandReply(*outcome.result, id)), status), false,
                         {});
        }
        const Refusal &why = *outcome.refusal;
        write(*responder,
              json(QJsonDocument(refusalReply(outcome.request, id, why.text())), refusalStatus(why.kind)),
              false, {});
    };
    if (!verdict.accepted()) {
        refusals_->report(
            kRequestsRefused,
            QStringLiteral("web: refused a command for %1: %2").arg(projector.id(), verdict.refusal));
        return done({std::nullopt, std::nullopt, Refusal{RefusalKind::Invalid, verdict.refusal}});
    }
    projector.command(*verdict.request, done);
}
