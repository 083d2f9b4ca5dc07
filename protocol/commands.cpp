// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/commands.h"

#include "protocol/command_line.h"
#include "protocol/status_decoding.h"

namespace {

constexpr HoldTiming kStep{250, {200, 245}};
constexpr HoldTiming kBrightness{50, {25, 25}};
constexpr HoldTiming kSelect{500, {200, 245}};

constexpr MonitorTiming kArrowMenuTiming{150, 190};
constexpr MonitorTiming kArrowFastTiming{5, 5};

Command query(const StatusQuery &status)
{
    Command c{status.name, status.code, status.timing, status.description};
    c.statusQuery = &status;
    return c;
}

Command held(const char *name, const char *code, const char *description, std::optional<HoldTiming> timing,
             bool armsFastArrows = false)
{
    return {name, code, CommandTiming::Hold, description, timing, armsFastArrows};
}

std::vector<Command> makeTable()
{
    using T = CommandTiming;
    // clang-format off
    std::vector<Command> table{
        {"power-on", "C00", T::Plain, "power on"},
        {"power-off", "C01", T::Plain, "power off"},
        {"pc1", "C05", T::Plain, "select input PC 1"},
        {"pc2", "C06", T::Plain, "select input PC 2"},
        {"video", "C07", T::Plain, "select input Video"},
        {"menu-on", "C1C", T::ArrowArming, "menu on"},
        {"menu-off", "C1D", T::Plain, "menu off"},
        {"sound-mute-on", "C0B", T::Plain, "sound mute on"},
        {"sound-mute-off", "C0C", T::Plain, "sound mute off"},
        {"no-show-on", "C0D", T::Plain, "no show on"},
        {"no-show-off", "C0E", T::Plain, "no show off"},
        {"freeze-on", "C43", T::Plain, "freeze on"},
        {"freeze-off", "C44", T::Plain, "freeze off"},
        {"av-size-regular", "C0F", T::Plain, "AV size regular"},
        {"av-size-wide", "C10", T::Plain, "AV size wide"},
        held("up", "C3C", "arrow up (repeats while held)", std::nullopt),
        held("down", "C3D", "arrow down (repeats while held)", std::nullopt),
        held("left", "C3B", "arrow left (repeats while held)", std::nullopt),
        held("right", "C3A", "arrow right (repeats while held)", std::nullopt),
        held("select", "C3F", "select (repeats while held)", kSelect),
        held("vol-up", "C09", "volume up (repeats while held)", kStep),
        held("vol-down", "C0A", "volume down (repeats while held)", kStep),
        held("brightness-up", "C20", "brightness up (repeats while held)", kBrightness),
        held("brightness-down", "C21", "brightness down (repeats while held)", kBrightness),
        held("zoom-up", "C30", "digital zoom up (repeats while held)", kStep, true),
        held("zoom-down", "C31", "digital zoom down (repeats while held)", kStep, true),
        held("keystone-up", "C8E", "keystone up (repeats while held)", kStep),
        held("keystone-down", "C8F", "keystone down (repeats while held)", kStep),
        {"a-image", "C89", T::ArrowArming, "A-IMAGE key"},
        {"image", "C27", T::Plain, "IMAGE key"},
        {"p-timer", "C8A", T::Plain, "P-TIMER key"},
        {"display-clear", "C1E", T::Plain, "clear the display"},
        {"key-disable-none", "CF KEYDIS NONE", T::Plain, "disable no keys"},
        {"key-disable-rc", "CF KEYDIS RC", T::Plain, "disable the remote control"},
        {"key-disable-key", "CF KEYDIS KEY", T::Plain, "disable the projector's keys"},
        {"picture-stand", "C11", T::Short, "picture mode STAND"},
        {"picture-real", "C12", T::Short, "picture mode REAL"},
        {"picture-cinema", "C13", T::Short, "picture mode CINEMA"},
        {"picture-image1", "C14", T::Short, "picture mode IMAGE1"},
        {"picture-image2", "C15", T::Short, "picture mode IMAGE2"},
        {"picture-image3", "C16", T::Short, "picture mode IMAGE3"},
        {"picture-image4", "C17", T::Short, "picture mode IMAGE4"},
    };
    // clang-format on
    for (const StatusQuery &status : statusQueries())
        table.push_back(query(status));
    // clang-format off
    table.insert(table.end(), {
        {"pc1-rgb", "C50", T::Long, "PC 1 terminal: RGB"},
        {"pc1-dvi-digital", "C52", T::Long, "PC 1 terminal: DVI (PC digital)"},
        {"pc1-dvi-hdcp", "C53", T::Long, "PC 1 terminal: DVI (AV HDCP)"},
        {"pc2-rgb", "C25", T::Long, "PC 2 terminal: RGB"},
        {"pc2-component", "C24", T::Long, "PC 2 terminal: component"},
        {"pc2-scart", "C26", T::Long, "PC 2 terminal: Scart"},
        {"terminal-in", "CF TERMINAL COMPUTER", T::Long, "PC 2 terminal as an input"},
        {"terminal-out", "CF TERMINAL MONITOR", T::Long, "PC 2 terminal as a monitor output"},
        {"video-auto", "C32", T::Long, "video signal: auto"},
        {"video-video", "C33", T::Long, "video signal: Video"},
        {"video-s-video", "C34", T::Long, "video signal: S-Video"},
        {"fan-max", "CF FANSPEED MAX", T::Plain, "fan speed maximum"},
        {"fan-normal", "CF FANSPEED NOR", T::Plain, "fan speed normal"},
        {"logo-capture", "CF LOGOCAPTURE START", T::Plain, "start the logo capture"},
        {"logo-off", "CF LOGO OFF", T::Plain, "logo off"},
        {"logo-default", "CF LOGO DEFAULT", T::Plain, "default logo"},
        {"logo-user", "CF LOGO USER", T::Plain, "user logo"},
    });
    // clang-format on
    return table;
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
