#pragma once
// The printable form of traffic shown in the monitor: a leading space, then
// each character followed by a space; control characters spelled out.

#include <QString>
#include <QStringView>

// Appends the pieces for every character of text (without the leading space).
void appendTrafficPieces(QString &out, QStringView text);

// The whole rendering: " " followed by the pieces of text.
QString trafficRendering(QStringView text);
