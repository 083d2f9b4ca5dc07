#pragma once
// The window-level variables through which all handlers cooperate. Each is
// zero or empty when the window is created; start-up sets some of them.

#include <QString>
#include <QtGlobal>

struct PanelState {
    quint8 RepeatKey = 0;
    quint8 SendPending = 0;
    quint8 ArrowMode = 0;
    QString LastCommand;
    QString ReceiveBuffer;
    // Wider than a 16-bit figure so an out-of-range reading cannot overflow.
    qint32 PressureValue = 0;
    qint16 PanelUnlocked = 0;
    QString TypedCommand;
    QString PortSettings;
    QString CommandPrefix;
};

// What ArrowMode holds once set: the direction pad's monitor timing.
namespace arrow_mode {
constexpr quint8 kMenu = 1; // after "A-IMAGE" or "MENU" "ON": 200 ms repeat
constexpr quint8 kFast = 3; // after a digital-zoom release: 5 ms repeat
} // namespace arrow_mode

// The rendering counts characters in 16 bits, so the buffer stops there.
constexpr int kReceiveBufferLimit = 32767;
