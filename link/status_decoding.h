#pragma once
// Turns a status reply, as rendered in the monitor, into plain words.
// Pure: no window, no port.

#include <QString>
#include <QStringView>
#include <optional>

struct StatusDecoding {
    // Text for the status line, or nothing when the line stays as it is.
    std::optional<QString> text;
    // The pressure figure stored by the pressure decoding, when it ran.
    std::optional<qint32> pressureValue;
};

// lastCommand: the line sent last (prefix, code, CR); rendering: the traffic
// rendering of everything received since the buffer was last emptied.
StatusDecoding decodeStatusReply(const QString &lastCommand, const QString &rendering,
                                 const QString &commandPrefix);

// The number at the start of a text: blanks, tabs and line feeds skipped
// anywhere, optional sign, digits with one decimal point, optional exponent
// ("E" or "D"); reading stops at the first character that cannot continue.
// No digit read gives 0; a number too large for a double gives infinity.
double numericReading(QStringView text);
