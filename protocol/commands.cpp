#include "protocol/commands.h"

#include "protocol/command_line.h"

namespace {

constexpr HoldTiming kStep{250, {200, 245}};
constexpr HoldTiming kBrightness{50, {25, 25}};
constexpr HoldTiming kSelect{500, {200, 245}};

constexpr MonitorTiming kArrowMenuTiming{150, 190};
constexpr MonitorTiming kArrowFastTiming{5, 5};

Command query(const char *name, const char *code, const char *group, const char *caption, const char *control,
              CommandTiming timing = CommandTiming::Plain)
{
    Command c{name, code, timing, group, caption, control};
    c.statusQuery = true;
    return c;
}

Command held(const char *name, const char *code, const char *group, const char *caption, const char *control,
             std::optional<HoldTiming> timing, bool armsFastArrows = false)
{
    return {name, code, CommandTiming::Hold, group, caption, control, timing, armsFastArrows};
}

std::vector<Command> makeTable()
{
    using T = CommandTiming;
    const char *typed = "CMD"; // only by the free-text box: no button of their own
    // clang-format off
    return {
        {"power-on", "C00", T::Plain, "POWER", "ON", "Command17"},
        {"power-off", "C01", T::Plain, "POWER", "OFF", "Command18"},
        {"pc1", "C05", T::Plain, "INPUT MODE SET", "PC1", "Command27"},
        {"pc2", "C06", T::Plain, "INPUT MODE SET", "PC2", "Command28"},
        {"video", "C07", T::Plain, "INPUT MODE SET", "Video", "Command29"},
        {"menu-on", "C1C", T::ArrowArming, "MENU", "ON", "Command23"},
        {"menu-off", "C1D", T::Plain, "MENU", "OFF", "Command24"},
        {"sound-mute-on", "C0B", T::Plain, "SOUND MUTE", "ON", "Command19"},
        {"sound-mute-off", "C0C", T::Plain, "SOUND MUTE", "OFF", "Command20"},
        {"no-show-on", "C0D", T::Plain, "NO SHOW", "ON", "Command21"},
        {"no-show-off", "C0E", T::Plain, "NO SHOW", "OFF", "Command22"},
        {"freeze-on", "C43", T::Plain, "FREEZE", "ON", "Command25"},
        {"freeze-off", "C44", T::Plain, "FREEZE", "OFF", "Command26"},
        {"av-size-regular", "C0F", T::Plain, "AV Size", "Regular", "Command31"},
        {"av-size-wide", "C10", T::Plain, "AV Size", "Wide", "Command32"},
        held("up", "C3C", "", "↑", "Command5", std::nullopt),
        held("down", "C3D", "", "↓", "Command7", std::nullopt),
        held("left", "C3B", "", "←", "Command9", std::nullopt),
        held("right", "C3A", "", "→", "Command8", std::nullopt),
        held("select", "C3F", "", "SELECT", "Command6", kSelect),
        held("vol-up", "C09", "VOL", "+", "Command1", kStep),
        held("vol-down", "C0A", "VOL", "-", "Command2", kStep),
        held("brightness-up", "C20", "Brightness", "+", "Command15", kBrightness),
        held("brightness-down", "C21", "Brightness", "-", "Command35", kBrightness),
        held("zoom-up", "C30", "D.Zoom", "+", "Command48", kStep, true),
        held("zoom-down", "C31", "D.Zoom", "-", "Command49", kStep, true),
        held("keystone-up", "C8E", "Keystone", "+", "Command50", kStep),
        held("keystone-down", "C8F", "Keystone", "-", "Command51", kStep),
        {"a-image", "C89", T::ArrowArming, "", "A-IMAGE", "Command13"},
        {"image", "C27", T::Plain, "", "IMAGE", "Command30"},
        {"p-timer", "C8A", T::Plain, "", "P-TIMER", "Command14"},
        {"display-clear", "C1E", T::Plain, "", "DISPLAY CLEAR", "Command3"},
        {"key-disable-none", "CF KEYDIS NONE", T::Plain, "R/C KEY OFF", "NONE", "Command56"},
        {"key-disable-rc", "CF KEYDIS RC", T::Plain, "R/C KEY OFF", "R/C", "Command57"},
        {"key-disable-key", "CF KEYDIS KEY", T::Plain, "R/C KEY OFF", "KEY", "Command58"},
        {"picture-stand", "C11", T::Short, "", "STAND", "Command4"},
        {"picture-real", "C12", T::Short, "", "REAL", "Command10"},
        {"picture-cinema", "C13", T::Short, "", "CINEMA", "Command11"},
        {"picture-image1", "C14", T::Short, "", "IMAGE1", "Command39"},
        {"picture-image2", "C15", T::Short, "", "IMAGE2", "Command40"},
        {"picture-image3", "C16", T::Short, "", "IMAGE3", "Command41"},
        {"picture-image4", "C17", T::Short, "", "IMAGE4", "Command42"},
        query("status", "CR0", "", "STATUS", "Command44"),
        query("lamp-time", "CR3", "", "L-TIME", "Command46"),
        query("temp", "CR6", "", "TEMP", "Command54"),
        query("input", "CR1", "", "MODE", "Command45"),
        query("setting", "CR4", "", "SETTING", "Command47"),
        query("mute", "CRA", typed, "", "", T::Short),
        query("info", "CR9", typed, "", "", T::Short),
        query("pressure", "CR PRESSURE", typed, "", "", T::Short),
        query("lamp-mode", "CR7", typed, "", "", T::Short),
        {"pc1-rgb", "C50", T::Long, "PC1", "RGB", "Command64"},
        {"pc1-dvi-digital", "C52", T::Long, "PC1", "DVI(PC Digital)", "Command65"},
        {"pc1-dvi-hdcp", "C53", T::Long, "PC1", "DVI(AV HDCP)", "Command66"},
        {"pc2-rgb", "C25", T::Long, "PC2", "RGB", "Command72"},
        {"pc2-component", "C24", T::Long, "PC2", "Component", "Command74"},
        {"pc2-scart", "C26", T::Long, "PC2", "Scart", "Command73"},
        {"terminal-in", "CF TERMINAL COMPUTER", T::Long, "PC2", "IN", "Command53"},
        {"terminal-out", "CF TERMINAL MONITOR", T::Long, "PC2", "OUT", "Command76"},
        {"video-auto", "C32", T::Long, "Video", "Auto", "Command81"},
        {"video-video", "C33", T::Long, "Video", "Video", "Command82"},
        {"video-s-video", "C34", T::Long, "Video", "S-Video", "Command69"},
        {"fan-max", "CF FANSPEED MAX", T::Plain, "FAN SPEED", "MAX", "Command97"},
        {"fan-normal", "CF FANSPEED NOR", T::Plain, "FAN SPEED", "NOR", "Command98"},
        {"logo-capture", "CF LOGOCAPTURE START", T::Plain, "", "Capture", "Command60"},
        {"logo-off", "CF LOGO OFF", T::Plain, "", "OFF", "Command61"},
        {"logo-default", "CF LOGO DEFAULT", T::Plain, "", "DEF", "Command63"},
        {"logo-user", "CF LOGO USER", T::Plain, "", "User", "Command67"},
    };
    // clang-format on
}

} // namespace

const std::vector<Command> &commandTable()
{
    static const std::vector<Command> table = makeTable();
    return table;
}

const Command *findCommand(QStringView name)
{
    for (const Command &c : commandTable())
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

const Command *commandForLine(QStringView line)
{
    for (const Command &c : commandTable())
        if (line == commandLine(QLatin1String(c.code)))
            return &c;
    return nullptr;
}

std::optional<MonitorTiming> timingBeforeSend(CommandTiming timing)
{
    switch (timing) {
    case CommandTiming::Short: return monitor_timing::kShort;
    case CommandTiming::Long: return monitor_timing::kLong;
    case CommandTiming::Plain:
    case CommandTiming::ArrowArming:
    case CommandTiming::Hold: break;
    }
    return std::nullopt;
}

std::optional<MonitorTiming> arrowMonitorTiming(ArrowMode mode)
{
    switch (mode) {
    case ArrowMode::Menu: return kArrowMenuTiming;
    case ArrowMode::Fast: return kArrowFastTiming;
    case ArrowMode::Off: break;
    }
    return std::nullopt;
}
