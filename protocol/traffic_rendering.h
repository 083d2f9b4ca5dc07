// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printable form of traffic shown in the monitor: a leading space, then
// each character followed by a space; control characters spelled out.

#include <QString>
#include <QStringView>

// What the monitor shows for a reply window that closed with nothing received.
inline const QString kNoReplyRendering = QStringLiteral(" X X X X");

// Appends the pieces for every character of text (without the leading space).
void appendTrafficPieces(QString &out, QStringView text);

// The whole rendering: " " followed by the pieces of text.
QString trafficRendering(QStringView text);

// The rendering of a text that mostly grows at its end (the receive buffer):
// when the new source extends the one rendered last, only its new part is
// rendered; anything else is rendered whole.
class IncrementalRendering {
public:
    const QString &render(const QString &source);
    const QString &rendering() const { return rendering_; }
    void clear();

private:
    QString source_;
    QString rendering_;
    bool valid_ = false;
};
