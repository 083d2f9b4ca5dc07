#include "panel/hold_buttons.h"

#include "app/command_button.h"
#include "app/form1.h"
#include "link/command_line.h"
#include "link/exchange.h"
#include "link/monitor_label.h"

namespace {

constexpr HoldTiming kStep{250, {200, 245}};
constexpr HoldTiming kBrightness{50, {25, 25}};
constexpr HoldTiming kSelect{500, {200, 245}};

// The arrows' monitor timing by ArrowMode; a digital-zoom release also sets
// their period.
constexpr MonitorTiming kArrowMenuTiming{150, 190};
constexpr MonitorTiming kArrowFastTiming{5, 5};
constexpr int kFastArrowPeriod = 5;

constexpr HoldButton kHoldButtons[] = {
    {"Command1", 1, "C09", kStep, false},        // VOL +
    {"Command2", 2, "C0A", kStep, false},        // VOL -
    {"Command15", 7, "C20", kBrightness, false}, // Brightness +
    {"Command35", 8, "C21", kBrightness, false}, // Brightness -
    {"Command48", 17, "C30", kStep, true},       // D.Zoom +
    {"Command49", 18, "C31", kStep, true},       // D.Zoom -
    {"Command50", 19, "C8E", kStep, false},      // Keystone +
    {"Command51", 20, "C8F", kStep, false},      // Keystone -
    {"Command6", 13, "C3F", kSelect, false},     // SELECT
    {"Command5", 3, "C3C", std::nullopt, false}, // up
    {"Command7", 4, "C3D", std::nullopt, false}, // down
    {"Command9", 5, "C3B", std::nullopt, false}, // left
    {"Command8", 6, "C3A", std::nullopt, false}, // right
};

} // namespace

const HoldButton *holdButtonForKey(quint8 repeatKey)
{
    for (const HoldButton &button : kHoldButtons)
        if (repeatKey != 0 && button.repeatKey == repeatKey)
            return &button;
    return nullptr;
}

std::optional<MonitorTiming> arrowMonitorTiming(quint8 arrowMode)
{
    switch (arrowMode) {
    case arrow_mode::kMenu: return kArrowMenuTiming;
    case arrow_mode::kFast: return kArrowFastTiming;
    default: return std::nullopt;
    }
}

HoldButtons::HoldButtons(Form1 &form) : QObject(&form), form_(form)
{
    // Any mouse button presses and releases; the pressed button keeps the
    // mouse, so its release arrives even when the pointer has left it.
    for (const HoldButton &row : kHoldButtons) {
        auto *button = form.control<CommandButton>(row.name);
        connect(button, &CommandButton::mouseDown, this, [this, &row] { press(row); });
        connect(button, &CommandButton::mouseUp, this, [this, &row] { release(row); });
    }
    connect(&form.timer(1), &WindowTimer::tick, this, &HoldButtons::timer1Tick);
}

void HoldButtons::send(const char *code)
{
    PanelState &state = form_.state();
    state.LastCommand = commandLine(state.CommandPrefix, QLatin1String(code));
    form_.hyouji(state.LastCommand, Exchange::kSent);
}

void HoldButtons::press(const HoldButton &button)
{
    PanelState &state = form_.state();
    // The arrows choose their monitor timing before the send, the others
    // assign all three intervals after it.
    if (!button.timing) {
        if (const auto timing = arrowMonitorTiming(state.ArrowMode))
            assignMonitorTiming(form_, *timing);
    }
    state.RepeatKey = button.repeatKey;
    send(button.code);
    if (button.timing) {
        form_.timer(1).setInterval(button.timing->repeatPeriod);
        assignMonitorTiming(form_, button.timing->monitor);
    }
    form_.timer(1).setEnabled(true);
}

void HoldButtons::timer1Tick()
{
    const HoldButton *held = holdButtonForKey(form_.state().RepeatKey);
    if (!held)
        return;
    send(held->code);
    // It is still running: enabling it again must not restart the countdown,
    // or every tick's lateness and the send itself would stretch the period.
    WindowTimer &repeat = form_.timer(1);
    if (!repeat.enabled())
        repeat.setEnabled(true);
}

void HoldButtons::release(const HoldButton &button)
{
    PanelState &state = form_.state();
    state.RepeatKey = 0;
    form_.timer(1).setEnabled(false);
    form_.timer(2).setEnabled(false);
    form_.timer(4).setEnabled(true);
    form_.control<MonitorLabel>("Label11")->setText(QString());
    form_.control<MonitorLabel>("Label12")->setText(QString());
    // A release puts the monitor back to its normal timing.
    assignMonitorTiming(form_, monitor_timing::kNormal);
    state.ReceiveBuffer.clear();
    if (button.releaseArmsFastArrows) {
        form_.timer(1).setInterval(kFastArrowPeriod);
        state.ArrowMode = arrow_mode::kFast;
    }
}
