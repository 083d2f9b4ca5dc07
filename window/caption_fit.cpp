// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/caption_fit.h"

#include <QFontMetricsF>
#include <cmath>

namespace {

constexpr int kCentred = Qt::AlignCenter | Qt::TextShowMnemonic;

double oneLineWidth(const QString &caption, const QFont &font)
{
    return QFontMetricsF(font).size(kCentred | Qt::TextSingleLine, caption).width();
}

bool fitsWrapped(const QString &caption, const QFont &font, const QSizeF &area)
{
    const QRectF needed =
        QFontMetricsF(font).boundingRect(QRectF(QPointF(0, 0), area), kCentred | Qt::TextWordWrap, caption);
    return needed.width() <= area.width() && needed.height() <= area.height();
}

} // namespace

CaptionFit fitCaption(const QString &caption, const QFont &font, const QSizeF &area)
{
    const double width = oneLineWidth(caption, font);
    if (width <= area.width())
        return {font, kCentred | Qt::TextSingleLine};
    if (fitsWrapped(caption, font, area))
        return {font, kCentred | Qt::TextWordWrap};

    // Synthesised stretching is not exactly proportional: start from the
    // proportional guess and narrow further until the caption fits.
    QFont narrow = font;
    int stretch = qBound(kNarrowestCaptionStretch, int(std::floor(100.0 * area.width() / width)), 99);
    for (;; --stretch) {
        narrow.setStretch(stretch);
        if (stretch == kNarrowestCaptionStretch || oneLineWidth(caption, narrow) <= area.width())
            break;
    }
    return {narrow, kCentred | Qt::TextSingleLine};
}
