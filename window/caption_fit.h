// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a command button's caption is set in the space its face leaves: on one
// line when it fits; otherwise wrapped at word boundaries when every line
// fits; otherwise on one line, narrowed just enough to fit (down to a limit,
// clipped beyond it). The captions were sized for fonts that may be narrower
// than the platform's stand-ins.

#include <QFont>
#include <QSizeF>
#include <QString>

struct CaptionFit {
    QFont font;
    int flags = 0; // Qt::AlignmentFlag | Qt::TextFlag, for QPainter::drawText
};

// The narrowest a caption is squeezed, as a percentage of its width.
constexpr int kNarrowestCaptionStretch = 70;

CaptionFit fitCaption(const QString &caption, const QFont &font, const QSizeF &area);
