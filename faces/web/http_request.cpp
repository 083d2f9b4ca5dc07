// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/http_request.h"

#include "bridge/listener_limits.h"

#include <QUrl>

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c <= ' ' || c >= 127 || QByteArray("()<>@,;:\\\"/[]?={}").contains(c))
            return false;
    return true;
}

} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

bool HttpRequest::has(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString HttpRequest::path() const
{
    const qsizetype question = target.indexOf('?');
    return QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
}

QByteArray HttpRequest::query() const
{
    const qsizetype question = target.indexOf('?');
    return question < 0 ? QByteArray() : target.mid(question + 1);
}

bool HttpRequest::keepAlive() const
{
    const QByteArray connection = header("connection").toLower();
    if (minorVersion == 0)
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

HttpRequestReader::Step HttpRequestReader::read(QByteArray &buffer)
{
    using listener_limits::kLargestRequestHead;
    if (refusal_)
        return Step::Refused;
    if (!head_) {
        // Blank lines before a request are allowed, and ignored.
        while (!started_ && (buffer.startsWith("\r\n") || buffer.startsWith('\n')))
            buffer.remove(0, buffer.startsWith('\n') ? 1 : 2);
        started_ = started_ || !buffer.isEmpty();
        qsizetype end = buffer.indexOf("\r\n\r\n");
        qsizetype skip = 4;
        if (const qsizetype bare = buffer.indexOf("\n\n"); bare >= 0 && (end < 0 || bare < end)) {
            end = bare;
            skip = 2;
        }
        if (end < 0)
            return buffer.size() > kLargestRequestHead
                       ? refuse(431, QStringLiteral("request head size"), "request head too large")
                       : Step::NeedMore;
        if (end > kLargestRequestHead)
            return refuse(431, QStringLiteral("request head size"), "request head too large");
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + skip);
        if (const Step step = parseHead(head); step != Step::NeedMore)
            return step;
    }
    if (buffer.size() < bodyLength_)
        return Step::NeedMore;
    head_->body = buffer.left(bodyLength_);
    buffer.remove(0, bodyLength_);
    return Step::Complete;
}

HttpRequestReader::Step HttpRequestReader::parseHead(const QByteArray &head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    const QList<QByteArray> parts = lines.takeFirst().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') ||
        (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0"))
        return refuse(400, {}, "malformed request line");
    HttpRequest request;
    request.method = parts[0];
    request.target = parts[1];
    request.minorVersion = parts[2].endsWith('0') ? 0 : 1;
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return refuse(400, {}, "malformed header");
        request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    if (request.has("transfer-encoding"))
        return refuse(501, {}, "transfer encodings are not taken: send Content-Length");
    std::optional<qint64> length;
    for (const auto &h : request.headers) {
        if (h.first.compare("content-length", Qt::CaseInsensitive) != 0)
            continue;
        bool number = !h.second.isEmpty();
        for (const char c : h.second)
            number = number && c >= '0' && c <= '9';
        const qint64 value = number && h.second.size() < 12 ? h.second.toLongLong() : -1;
        if (value < 0 || (length && *length != value))
            return refuse(400, {}, "bad Content-Length");
        length = value;
    }
    if (length.value_or(0) > listener_limits::kLargestRequestBody)
        return refuse(413, QStringLiteral("request body size"), "request body too large");
    bodyLength_ = length.value_or(0);
    head_ = std::move(request);
    return Step::NeedMore;
}

HttpRequest HttpRequestReader::take()
{
    HttpRequest request = std::move(*head_);
    head_.reset();
    started_ = false;
    bodyLength_ = 0;
    return request;
}

HttpRequestReader::Step HttpRequestReader::refuse(int status, const QString &limit, const QByteArray &text)
{
    refusal_ = HttpRefusal{status, limit, text};
    return Step::Refused;
}
