#include "panel/one_shot_buttons.h"

#include "app/command_button.h"
#include "app/form1.h"
#include "link/command_line.h"
#include "link/exchange.h"

namespace {

// The direction pad's repeat period once the menu or the automatic image
// adjustment is up.
constexpr int kArrowRepeatMs = 200;

} // namespace

const std::vector<OneShotButton> &oneShotButtons()
{
    using S = OneShotShape;
    // clang-format off
    static const std::vector<OneShotButton> rows = {
        {"Command17", "C00", S::Plain},         // POWER ON
        {"Command18", "C01", S::Plain},         // POWER OFF
        {"Command27", "C05", S::Plain},         // INPUT MODE SET PC1
        {"Command28", "C06", S::Plain},         // PC2
        {"Command29", "C07", S::Plain},         // Video
        {"Command23", "C1C", S::ArrowArming},   // MENU ON
        {"Command24", "C1D", S::Plain},         // MENU OFF
        {"Command19", "C0B", S::Plain},         // SOUND MUTE ON
        {"Command20", "C0C", S::Plain},         // SOUND MUTE OFF
        {"Command21", "C0D", S::Plain},         // NO SHOW ON
        {"Command22", "C0E", S::Plain},         // NO SHOW OFF
        {"Command25", "C43", S::Plain},         // FREEZE ON
        {"Command26", "C44", S::Plain},         // FREEZE OFF
        {"Command31", "C0F", S::Plain},         // AV Size Regular
        {"Command32", "C10", S::Plain},         // Wide
        {"Command13", "C89", S::ArrowArming},   // A-IMAGE
        {"Command30", "C27", S::Plain},         // IMAGE
        {"Command14", "C8A", S::Plain},         // P-TIMER
        {"Command56", "CF KEYDIS NONE", S::Plain},
        {"Command57", "CF KEYDIS RC", S::Plain},
        {"Command58", "CF KEYDIS KEY", S::Plain},
        {"Command4", "C11", S::TimedShort},     // STAND
        {"Command10", "C12", S::TimedShort},    // REAL
        {"Command11", "C13", S::TimedShort},    // CINEMA
        {"Command39", "C14", S::TimedShort},    // IMAGE1
        {"Command40", "C15", S::TimedShort},    // IMAGE2
        {"Command41", "C16", S::TimedShort},    // IMAGE3
        {"Command42", "C17", S::TimedShort},    // IMAGE4
        {"Command44", "CR0", S::Plain},         // STATUS
        {"Command46", "CR3", S::Plain},         // L-TIME
        {"Command54", "CR6", S::Plain},         // TEMP
        {"Command45", "CR1", S::Plain},         // MODE
        {"Command47", "CR4", S::Plain},         // SETTING
        {"Command64", "C50", S::TimedLong},     // PC1 RGB
        {"Command65", "C52", S::TimedLong},     // PC1 DVI(PC Digital)
        {"Command66", "C53", S::TimedLong},     // PC1 DVI(AV HDCP)
        {"Command72", "C25", S::TimedLong},     // PC2 RGB
        {"Command74", "C24", S::TimedLong},     // PC2 Component
        {"Command73", "C26", S::TimedLong},     // PC2 Scart
        {"Command53", "CF TERMINAL COMPUTER", S::TimedLong},
        {"Command76", "CF TERMINAL MONITOR", S::TimedLong},
        {"Command81", "C32", S::TimedLong},     // Video Auto
        {"Command82", "C33", S::TimedLong},     // Video Video
        {"Command69", "C34", S::TimedLong},     // Video S-Video
        {"Command97", "CF FANSPEED MAX", S::Plain},
        {"Command98", "CF FANSPEED NOR", S::Plain},
        {"Command60", "CF LOGOCAPTURE START", S::Plain},
        {"Command61", "CF LOGO OFF", S::Plain},
        {"Command63", "CF LOGO DEFAULT", S::Plain},
        {"Command67", "CF LOGO USER", S::Plain},
    };
    // clang-format on
    return rows;
}

std::optional<MonitorTiming> timingBeforeSend(OneShotShape shape)
{
    switch (shape) {
    case OneShotShape::TimedShort: return monitor_timing::kShort;
    case OneShotShape::TimedLong: return monitor_timing::kLong;
    case OneShotShape::Plain:
    case OneShotShape::ArrowArming: break;
    }
    return std::nullopt;
}

OneShotButtons::OneShotButtons(Form1 &form) : QObject(&form), form_(form)
{
    for (const OneShotButton &button : oneShotButtons())
        connect(form.control<CommandButton>(button.control), &QPushButton::clicked, this,
                [this, &button] { send(button); });
}

void OneShotButtons::send(const OneShotButton &button)
{
    // The intervals stay in force for later sends until someone assigns them.
    if (const std::optional<MonitorTiming> timing = timingBeforeSend(button.shape))
        assignMonitorTiming(form_, *timing);
    PanelState &state = form_.state();
    state.LastCommand = commandLine(state.CommandPrefix, QString::fromLatin1(button.code));
    form_.hyouji(state.LastCommand, Exchange::kSent);
    if (button.shape == OneShotShape::ArrowArming) {
        form_.timer(1).setInterval(kArrowRepeatMs);
        state.ArrowMode = arrow_mode::kMenu;
    }
}
