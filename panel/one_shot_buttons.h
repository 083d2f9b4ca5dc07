#pragma once
// The buttons that each send one fixed command per click. Their rows are
// plain data; one handler sends any of them, its row deciding which monitor
// timing it assigns and what it prepares after the send.

#include "link/monitor_timing.h"

#include <QObject>
#include <optional>
#include <vector>

class Form1;

enum class OneShotShape {
    Plain,       // sends under the intervals in force
    TimedShort,  // image modes: the projector takes a while to answer
    TimedLong,   // input terminals and signals: longer still
    ArrowArming, // after the send, the direction pad repeats every 200 ms
};

struct OneShotButton {
    const char *control; // objectName of the button
    const char *code;    // sent as it stands, inner blanks included
    OneShotShape shape;
};

// Every one-shot button of the window, by group in screen order.
const std::vector<OneShotButton> &oneShotButtons();

// The monitor timing a timed button assigns before it sends; nothing for the
// other shapes.
std::optional<MonitorTiming> timingBeforeSend(OneShotShape shape);

class OneShotButtons : public QObject {
    Q_OBJECT
public:
    explicit OneShotButtons(Form1 &form);

    // The click of one button.
    void send(const OneShotButton &button);

private:
    Form1 &form_;
};
