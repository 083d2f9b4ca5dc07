// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/traffic_rendering.h"

namespace {

void appendPiece(QString &out, QChar c)
{
    const char16_t code = c.unicode();
    if (code == 6) {
        out += QLatin1String("ACK ");
    } else if (code == 20) {
        out += QLatin1Char('&');
    } else if (code == 13) {
        out += QLatin1String("CR ");
    } else if (code == 10) {
        out += QLatin1String("LF ");
    } else if (code >= 32 && code <= 122) {
        out += c;
        out += QLatin1Char(' ');
    } else {
        out += QLatin1String("? ");
    }
}

} // namespace

// No reserve here: an exact reserve at every append of a growing rendering
// would reallocate each time, where appending alone grows geometrically.
void appendTrafficPieces(QString &out, QStringView text)
{
    for (QChar c : text)
        appendPiece(out, c);
}

QString trafficRendering(QStringView text)
{
    QString out;
    out.reserve(1 + 2 * text.size()); // two characters for most pieces
    out += QLatin1Char(' ');
    appendTrafficPieces(out, text);
    return out;
}

const QString &IncrementalRendering::render(const QString &source)
{
    const qsizetype done = source_.size();
    if (valid_ && source.size() >= done && QStringView(source).left(done) == QStringView(source_)) {
        if (source.size() == done)
            return rendering_; // nothing new: leave the text (and who shares it) alone
        const QStringView tail = QStringView(source).mid(done);
        appendTrafficPieces(rendering_, tail);
        source_ += tail;
    } else {
        rendering_ = trafficRendering(source);
        // A copy of its own, so appends here never copy the caller's text.
        source_ = QString(source.constData(), source.size());
        valid_ = true;
    }
    return rendering_;
}

void IncrementalRendering::clear()
{
    source_.clear();
    rendering_.clear();
    valid_ = false;
}
