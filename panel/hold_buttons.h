#pragma once
// The thirteen buttons that act while held: the press sends at once and
// starts Timer1, every tick sends the held command again, the release stops
// the repeat and puts the monitor timing back. One table drives them all.

#include "link/monitor_timing.h"

#include <QObject>
#include <QtGlobal>
#include <optional>

class Form1;

// What a press assigns to the timers, in milliseconds.
struct HoldTiming {
    int repeatPeriod; // Timer1
    MonitorTiming monitor;
};

struct HoldButton {
    const char *name;
    quint8 repeatKey;
    const char *code;
    // Absent for the four arrows: they repeat at whatever period Timer1 last
    // received and take the monitor timing from ArrowMode.
    std::optional<HoldTiming> timing;
    // The digital-zoom pair: their release switches the arrows to fast mode.
    bool releaseArmsFastArrows;
};

// The button whose repeat key this is; null for 0 or an unknown key.
const HoldButton *holdButtonForKey(quint8 repeatKey);
// The monitor timing an arrow press assigns in this ArrowMode, if any.
std::optional<MonitorTiming> arrowMonitorTiming(quint8 arrowMode);

class HoldButtons : public QObject {
    Q_OBJECT
public:
    explicit HoldButtons(Form1 &form);

    void press(const HoldButton &button);
    void release(const HoldButton &button);
    // Auto-repeat: sends the held button's command again.
    void timer1Tick();

private:
    void send(const char *code);

    Form1 &form_;
};
