// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/layout_table.h"

namespace layout {
namespace {

using namespace colour;
using Table = std::vector<ControlLayout>;

constexpr const char *kWindow = nullptr;

// The window's default font is the bold Gothic 9 point; the rest are the
// exceptions individual controls are set in.
constexpr CaptionFont kGothicBold{Face::Gothic, 9.0, true};
constexpr CaptionFont kGothic{Face::Gothic, 9.0, false};
constexpr CaptionFont kPGothicBold{Face::PGothic, 9.0, true};
constexpr CaptionFont kPGothic{Face::PGothic, 9.0, false};
constexpr CaptionFont kSmallGothicBold{Face::Gothic, 8.25, true};
constexpr CaptionFont kSmallGothic{Face::Gothic, 8.25, false};
constexpr CaptionFont kLargeGothic{Face::Gothic, 9.75, false};
constexpr CaptionFont kLargeGothicBold{Face::Gothic, 9.75, true};
constexpr CaptionFont kLargePGothicBold{Face::PGothic, 9.75, true};

ControlLayout control(Kind kind, const char *name, const char *container, Rect rect, const char *caption,
                      CaptionFont font)
{
    ControlLayout c{};
    c.kind = kind;
    c.name = name;
    c.container = container;
    c.rect = rect;
    c.caption = caption;
    c.font = font;
    return c;
}

ControlLayout frame(const char *name, const char *container, Rect rect)
{
    return control(Kind::Frame, name, container, rect, nullptr, kGothicBold);
}

ControlLayout button(const char *name, const char *container, Rect rect, const char *caption, QRgb background,
                     CaptionFont font)
{
    ControlLayout c = control(Kind::CommandButton, name, container, rect, caption, font);
    c.background = background;
    c.align = Align::Center;
    return c;
}

ControlLayout label(const char *name, const char *container, Rect rect, const char *caption, CaptionFont font,
                    Align align = Align::Left)
{
    ControlLayout c = control(Kind::Label, name, container, rect, caption, font);
    c.align = align;
    return c;
}

// Option buttons are given no size of their own: 975 x 240 holds
// the indicator and the longest caption ("19200") and keeps each pair apart.
ControlLayout option(const char *name, const char *container, int left, int top, const char *caption,
                     bool selected = false)
{
    ControlLayout c =
        control(Kind::OptionButton, name, container, {left, top, 975, 240}, caption, kGothicBold);
    c.selected = selected;
    return c;
}

// The traffic and status lines start empty and are written at run time.
ControlLayout monitorLine(const char *name, Rect rect, CaptionFont font, QRgb text = kBlack)
{
    ControlLayout c = label(name, "Frame9", rect, "", font);
    c.background = kWhite;
    c.foreground = text;
    c.border = true;
    return c;
}

// Frame titles are placed without a size: centred across the frame with a
// 120 margin each side, one 240-high line ending 120 above the button row.
ControlLayout frameTitle(const char *name, const char *frameName, const Rect &frameRect, int buttonRowTop,
                         const char *caption, QRgb text = kBlack)
{
    ControlLayout c = label(name, frameName, {120, buttonRowTop - 360, frameRect.width - 240, 240}, caption,
                            kGothicBold, Align::Center);
    c.foreground = text;
    return c;
}

// The five ON/OFF frames all use the first frame's pair geometry: 615 x 300
// at Left 120 and 960 of the row.
ControlLayout onButton(const char *name, const char *frameName, int top)
{
    return button(name, frameName, {120, top, 615, 300}, "ON", kLightGreen, kPGothicBold);
}

ControlLayout offButton(const char *name, const char *frameName, int top)
{
    return button(name, frameName, {960, top, 615, 300}, "OFF", kLightRed, kPGothicBold);
}

// The entry box has no colour of its own: it keeps the platform's.
ControlLayout textBox(const char *name, const char *container, Rect rect, CaptionFont font)
{
    ControlLayout c = control(Kind::TextBox, name, container, rect, "", font);
    c.background = kPlatformColour;
    return c;
}

ControlLayout image(const char *name, Rect rect)
{
    return control(Kind::Image, name, kWindow, rect, nullptr, kGothicBold);
}

ControlLayout hidden(ControlLayout c)
{
    c.visible = false;
    return c;
}

// A button that sends the named command.
ControlLayout sends(const char *command, ControlLayout c)
{
    c.command = command;
    return c;
}

ControlLayout playing(Role role, ControlLayout c)
{
    c.role = role;
    return c;
}

constexpr Rect kFrame1{120, 240, 1695, 975};
constexpr Rect kFrame2{2160, 240, 2775, 975};
constexpr Rect kFrame6{5280, 240, 1695, 975};
constexpr Rect kFrame3{120, 1440, 1695, 855};
constexpr Rect kFrame4{2520, 1440, 1695, 855};
constexpr Rect kFrame7{5040, 1440, 1695, 855};
constexpr Rect kFrame5{7440, 1440, 1815, 855};

Table titledFrames()
{
    return {
        frame("Frame1", kWindow, kFrame1),
        frameTitle("Label1", "Frame1", kFrame1, 600, "POWER", kDarkRed),
        sends("power-on", onButton("Command17", "Frame1", 600)),
        sends("power-off", offButton("Command18", "Frame1", 600)),

        frame("Frame2", kWindow, kFrame2),
        frameTitle("Label2", "Frame2", kFrame2, 600, "INPUT MODE SET"),
        sends("pc1", button("Command27", "Frame2", {240, 600, 495, 300}, "PC1", kLightCyan, kPGothicBold)),
        sends("pc2", button("Command28", "Frame2", {960, 600, 495, 300}, "PC2", kLightCyan, kPGothicBold)),
        sends("video",
              button("Command29", "Frame2", {1680, 600, 735, 300}, "Video", kLightCyan, kPGothicBold)),

        frame("Frame6", kWindow, kFrame6),
        frameTitle("Label7", "Frame6", kFrame6, 600, "MENU"),
        sends("menu-on", onButton("Command23", "Frame6", 600)),
        sends("menu-off", offButton("Command24", "Frame6", 600)),

        playing(Role::Logo, image("Image1", {8160, 120, 1200, 390})),

        frame("Frame3", kWindow, kFrame3),
        frameTitle("Label4", "Frame3", kFrame3, 480, "SOUND MUTE"),
        sends("sound-mute-on", onButton("Command19", "Frame3", 480)),
        sends("sound-mute-off", offButton("Command20", "Frame3", 480)),

        frame("Frame4", kWindow, kFrame4),
        frameTitle("Label5", "Frame4", kFrame4, 480, "NO SHOW"),
        sends("no-show-on", onButton("Command21", "Frame4", 480)),
        sends("no-show-off", offButton("Command22", "Frame4", 480)),

        frame("Frame7", kWindow, kFrame7),
        frameTitle("Label8", "Frame7", kFrame7, 480, "FREEZE"),
        sends("freeze-on", onButton("Command25", "Frame7", 480)),
        sends("freeze-off", offButton("Command26", "Frame7", 480)),

        frame("Frame5", kWindow, kFrame5),
        frameTitle("Label6", "Frame5", kFrame5, 480, "AV Size"),
        sends("av-size-regular",
              button("Command31", "Frame5", {120, 480, 855, 300}, "Regular", kLightCyan, kPGothic)),
        sends("av-size-wide",
              button("Command32", "Frame5", {1080, 480, 615, 300}, "Wide", kLightCyan, kPGothic)),
    };
}

Table directionPadAndAdjustments()
{
    return {
        sends("up", button("Command5", kWindow, {1200, 2520, 855, 375}, "↑", kPeach, kPGothicBold)),
        sends("left", button("Command9", kWindow, {240, 3000, 855, 375}, "←", kPeach, kPGothicBold)),
        sends("select", button("Command6", kWindow, {1200, 3000, 855, 375}, "SELECT", kOrange, kGothic)),
        sends("right", button("Command8", kWindow, {2160, 3000, 855, 375}, "→", kPeach, kPGothicBold)),
        sends("down", button("Command7", kWindow, {1200, 3480, 855, 375}, "↓", kPeach, kPGothicBold)),

        // Titles are placed without a size: one 255-high line (the buttons'
        // height) above the "+", wide enough for the caption at 6 px per
        // character. "VOL" is centred over its 375-wide buttons.
        label("Label3", kWindow, {3600, 2520, 375, 255}, "VOL", kGothicBold, Align::Center),
        label("Label13", kWindow, {4560, 2520, 975, 255}, "Brightness", kGothic),
        label("Label17", kWindow, {6360, 2520, 735, 255}, "D.Zoom", kGothic),
        label("Label18", kWindow, {7320, 2520, 855, 255}, "Keystone", kGothic),
        sends("vol-up", button("Command1", kWindow, {3600, 2880, 375, 255}, "+", kLightOrange, kGothicBold)),
        sends("vol-down",
              button("Command2", kWindow, {3600, 3240, 375, 255}, "-", kLightOrange, kGothicBold)),
        sends("brightness-up",
              button("Command15", kWindow, {4800, 2880, 375, 255}, "+", kLightCyan, kGothic)),
        sends("brightness-down",
              button("Command35", kWindow, {4800, 3240, 375, 255}, "-", kLightCyan, kGothic)),
        sends("zoom-up", button("Command48", kWindow, {6480, 2880, 375, 255}, "+", kLightCyan, kPGothic)),
        sends("zoom-down", button("Command49", kWindow, {6480, 3240, 375, 255}, "-", kLightCyan, kGothic)),
        sends("keystone-up", button("Command50", kWindow, {7440, 2880, 375, 255}, "+", kLightCyan, kGothic)),
        sends("keystone-down",
              button("Command51", kWindow, {7440, 3240, 375, 255}, "-", kLightCyan, kGothic)),
    };
}

Table rightColumnAndLowerMainPanel()
{
    return {
        sends("a-image", button("Command13", kWindow, {8400, 2760, 975, 250}, "A-IMAGE", kTeal, kGothic)),
        sends("image", button("Command30", kWindow, {8400, 3120, 975, 255}, "IMAGE", kLavender, kGothic)),
        sends("p-timer", button("Command14", kWindow, {8400, 3360, 975, 250}, "P-TIMER", kLavender, kGothic)),
        sends("display-clear",
              button("Command3", kWindow, {8400, 3600, 975, 492}, "DISPLAY CLEAR", kLavender, kGothic)),
        playing(Role::EndButton,
                button("Command16", kWindow, {8400, 4320, 975, 375}, "END", kSilver, kGothicBold)),

        // Title placed without a size: the key-disabling group's full width,
        // one 240-high line down to the "NONE" button.
        label("Label19", kWindow, {6600, 3720, 1332, 240}, "R/C KEY OFF", kGothic),
        sends("key-disable-none",
              button("Command56", kWindow, {6600, 3960, 1200, 372}, "NONE", kLightCyan, kGothic)),
        sends("key-disable-rc",
              button("Command57", kWindow, {6600, 4320, 606, 372}, "R/C", kLightCyan, kGothic)),
        sends("key-disable-key",
              button("Command58", kWindow, {7200, 4320, 606, 372}, "KEY", kLightCyan, kGothic)),

        // The port panel comes after "COM" so that, once shown, it lies over it.
        playing(Role::PortButton,
                button("Command33", kWindow, {4080, 4200, 1815, 375}, "COM", kPlatformColour, kPGothic)),
        playing(Role::PortPanel, hidden(frame("Frame8", kWindow, {3480, 3600, 2775, 1185}))),
        playing(Role::Com1Option, option("Option1", "Frame8", 240, 240, "COM1")),
        playing(Role::Com2Option, option("Option2", "Frame8", 1560, 240, "COM2")),
        frame("Frame13", "Frame8", {120, 480, 2535, 615}),
        playing(Role::FastOption, option("Option9", "Frame13", 120, 240, "19200", true)),
        playing(Role::SlowOption, option("Option10", "Frame13", 1440, 240, "9600")),

        sends("picture-stand",
              button("Command4", kWindow, {240, 4080, 975, 255}, "STAND", kLightCyan, kGothic)),
        sends("picture-real",
              button("Command10", kWindow, {1200, 4080, 975, 255}, "REAL", kLightCyan, kGothic)),
        sends("picture-cinema",
              button("Command11", kWindow, {2160, 4080, 975, 255}, "CINEMA", kLightCyan, kGothic)),
        sends("picture-image1",
              button("Command39", kWindow, {240, 4320, 975, 255}, "IMAGE1", kLightCyan, kGothic)),
        sends("picture-image2",
              button("Command40", kWindow, {1200, 4320, 975, 255}, "IMAGE2", kLightCyan, kGothic)),
        sends("picture-image3",
              button("Command41", kWindow, {2160, 4320, 975, 255}, "IMAGE3", kLightCyan, kGothic)),
        sends("picture-image4",
              button("Command42", kWindow, {240, 4560, 975, 255}, "IMAGE4", kLightCyan, kGothic)),
    };
}

Table trafficMonitorBand()
{
    return {
        frame("Frame9", kWindow, {45, 4920, 6312, 1290}),
        label("Label9", "Frame9", {105, 210, 390, 285}, "TXD", kGothic, Align::Right),
        playing(Role::SentLine, monitorLine("Label11", {600, 180, 5610, 300}, kLargePGothicBold)),
        label("Label10", "Frame9", {75, 555, 450, 300}, "RXD", kGothic, Align::Right),
        playing(Role::ReceivedLine, monitorLine("Label12", {600, 540, 5616, 300}, kLargePGothicBold)),
        label("Label23", "Frame9", {120, 960, 735, 225}, "STATUS", kSmallGothic),
        playing(Role::StatusLine, monitorLine("Label22", {930, 915, 5295, 300}, kPGothicBold, kRed)),

        playing(Role::DataButton, hidden(button("Command34", kWindow, {6600, 5040, 1200, 375},
                                                data_button::kShowMonitor, kSilver, kPGothic))),

        // Only "TEMP" has a stated height; its row siblings take it. The
        // second row's height is what reaches the group's bottom edge, 6135.
        sends("status",
              button("Command44", kWindow, {6480, 5640, 975, 252}, "STATUS", kLightCyan, kSmallGothicBold)),
        sends("lamp-time",
              button("Command46", kWindow, {7440, 5640, 975, 252}, "L-TIME", kLightCyan, kSmallGothicBold)),
        sends("temp",
              button("Command54", kWindow, {8400, 5640, 975, 252}, "TEMP", kLightCyan, kSmallGothicBold)),
        sends("input",
              button("Command45", kWindow, {6480, 5880, 975, 255}, "MODE", kLightCyan, kSmallGothicBold)),
        sends("setting",
              button("Command47", kWindow, {7440, 5880, 975, 255}, "SETTING", kLightCyan, kSmallGothicBold)),
    };
}

Table lowerPanelBand()
{
    return {
        frame("Frame14", kWindow, {120, 6735, 7215, 1320}),
        // Row labels placed without a size: their row's 255 height, and wide
        // enough for "Video" while ending before the buttons at 960.
        label("Label15", "Frame14", {120, 240, 735, 255}, "PC1", kGothicBold),
        label("Label16", "Frame14", {120, 480, 735, 255}, "PC2", kGothicBold),
        label("Label24", "Frame14", {120, 720, 735, 255}, "Video", kGothicBold),
        sends("pc1-rgb", button("Command64", "Frame14", {960, 240, 975, 255}, "RGB", kLightCyan, kGothic)),
        sends("pc1-dvi-digital",
              button("Command65", "Frame14", {1920, 240, 1815, 255}, "DVI(PC Digital)", kLightCyan, kGothic)),
        sends("pc1-dvi-hdcp",
              button("Command66", "Frame14", {3720, 240, 1815, 255}, "DVI(AV HDCP)", kLightCyan, kGothic)),
        sends("pc2-rgb", button("Command72", "Frame14", {960, 480, 975, 255}, "RGB", kLightCyan, kGothic)),
        sends("pc2-component",
              button("Command74", "Frame14", {1920, 480, 1450, 255}, "Component", kLightCyan, kGothic)),
        sends("pc2-scart",
              button("Command73", "Frame14", {3360, 480, 975, 255}, "Scart", kLightCyan, kGothic)),
        sends("terminal-in",
              button("Command53", "Frame14", {5640, 480, 735, 255}, "IN", kLightCyan, kGothic)),
        sends("terminal-out",
              button("Command76", "Frame14", {6360, 480, 735, 255}, "OUT", kLightRed, kGothic)),
        sends("video-auto",
              button("Command81", "Frame14", {960, 720, 975, 255}, "Auto", kLightCyan, kGothic)),
        sends("video-video",
              button("Command82", "Frame14", {1920, 720, 975, 255}, "Video", kLightCyan, kGothic)),
        sends("video-s-video",
              button("Command69", "Frame14", {2880, 720, 1095, 255}, "S-Video", kLightCyan, kGothic)),

        frame("Frame16", kWindow, {7440, 6750, 1935, 945}),
        // Placed without a size: as far from the right edge as from the
        // left, one 240-high line above the buttons.
        label("Label27", "Frame16", {345, 240, 1245, 240}, "FAN SPEED", kGothicBold),
        sends("fan-max",
              button("Command97", "Frame16", {120, 600, 855, 255}, "MAX", kLightGreen, kGothicBold)),
        sends("fan-normal",
              button("Command98", "Frame16", {960, 600, 855, 255}, "NOR", kLightGreen, kGothicBold)),

        frame("Frame11", kWindow, {7440, 7680, 1935, 975}),
        sends("logo-capture",
              button("Command60", "Frame11", {240, 240, 1455, 255}, "Capture", kLightRed, kGothic)),
        sends("logo-off", button("Command61", "Frame11", {120, 600, 495, 255}, "OFF", kLightRed, kGothic)),
        sends("logo-default",
              button("Command63", "Frame11", {600, 600, 495, 255}, "DEF", kLightGreen, kGothic)),
        sends("logo-user",
              button("Command67", "Frame11", {1080, 600, 735, 255}, "User", kLightCyan, kGothic)),

        frame("Frame15", kWindow, {120, 8040, 7215, 570}),
        // Placed without a size: the row's 255 height, ending before the box.
        label("Label26", "Frame15", {120, 240, 435, 255}, "CMD", kLargeGothic),
        playing(Role::TextBox, textBox("Text1", "Frame15", {600, 165, 5055, 345}, kLargeGothicBold)),
        playing(Role::SendButton,
                button("Command95", "Frame15", {5760, 240, 735, 255}, "SEND", kLightGreen, kGothicBold)),
        playing(Role::ClearButton,
                button("Command96", "Frame15", {6480, 240, 615, 255}, "CLS", kLightRed, kGothicBold)),
    };
}

Table buildControlTable()
{
    Table t;
    for (const Table &part : {titledFrames(), directionPadAndAdjustments(), rightColumnAndLowerMainPanel(),
                              trafficMonitorBand(), lowerPanelBand()})
        t.insert(t.end(), part.begin(), part.end());
    return t;
}

} // namespace

const std::vector<ControlLayout> &controlTable()
{
    static const Table table = buildControlTable();
    return table;
}

const std::vector<LineLayout> &lineTable()
{
    // The cross-shaped outline around the direction pad.
    static const std::vector<LineLayout> lines = {
        {"Line7", 1080, 2400, 2160, 2400, LineStyle::Dotted},
        {"Line1", 1080, 2400, 1080, 2880, LineStyle::Solid},
        {"Line2", 2160, 2400, 2160, 2880, LineStyle::Dotted},
        {"Line8", 120, 2880, 1080, 2880, LineStyle::Solid},
        {"Line9", 2160, 2880, 3120, 2880, LineStyle::Dashed},
        {"Line6", 120, 2880, 120, 3480, LineStyle::Solid},
        {"Line3", 3120, 2880, 3120, 3480, LineStyle::Solid},
        {"Line10", 120, 3480, 1080, 3480, LineStyle::Solid},
        {"Line12", 2160, 3480, 3120, 3480, LineStyle::Solid},
        {"Line5", 1080, 3480, 1080, 3960, LineStyle::Solid},
        {"Line4", 2160, 3480, 2160, 3960, LineStyle::Solid},
        {"Line11", 1080, 3960, 2160, 3960, LineStyle::Solid},
    };
    return lines;
}

const std::vector<const char *> &tabOrder()
{
    static const std::vector<const char *> order = {
        "Command17", "Command1",  "Command2",  "Command3",  "Command5",  "Command6",  "Command7",
        "Command8",  "Command9",  "Command13", "Command14", "Command16", "Command18", "Command19",
        "Command20", "Command21", "Command22", "Command23", "Command24", "Command25", "Command26",
        "Command27", "Command28", "Command29", "Command31", "Command32", "Command33", "Option1",
        "Option2",   "Command34", "Command15", "Command35", "Command44", "Command45", "Command46",
        "Command47", "Command48", "Command49", "Command50", "Command51", "Command54", "Command56",
        "Command57", "Command58", "Command30", "Option9",   "Option10",  "Command4",  "Command10",
        "Command11", "Command39", "Command40", "Command41", "Command42", "Command64", "Command65",
        "Command66", "Command69", "Command72", "Command73", "Command74", "Command76", "Command81",
        "Command82", "Text1",     "Command95", "Command96", "Command97", "Command98", "Command53",
        "Command60", "Command61", "Command63", "Command67",
    };
    return order;
}

} // namespace layout
