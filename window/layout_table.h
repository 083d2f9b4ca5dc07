// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's fixed layout: every control, where it stands and how it looks.
// Positions are in twips (15 twips to one logical pixel), relative to the
// control's container: the window's client area, or the frame it sits in.

#include <QRgb>
#include <vector>

namespace layout {

enum class Kind { Frame, CommandButton, Label, OptionButton, TextBox, Image };

// The two Japanese Gothic faces the captions are set in; the platform's
// nearest fonts stand in for them.
enum class Face { Gothic, PGothic };

struct CaptionFont {
    Face face = Face::Gothic;
    double pointSize = 9.0;
    bool bold = true;
};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class Align { Left, Center, Right };

// A colour value that means "no colour of its own: use the platform's".
constexpr QRgb kPlatformColour = 0xFFFFFFFFu;

namespace colour {
constexpr QRgb kLightCyan = 0xFFC0FFFFu;
constexpr QRgb kLightGreen = 0xFFC0FFC0u;
constexpr QRgb kLightRed = 0xFFFFC0C0u;
constexpr QRgb kLavender = 0xFFC0C0FFu;
constexpr QRgb kTeal = 0xFF00C0C0u;
constexpr QRgb kPeach = 0xFFFFE0C0u;
constexpr QRgb kOrange = 0xFFFF8000u;
constexpr QRgb kLightOrange = 0xFFFFC080u;
constexpr QRgb kSilver = 0xFFC0C0C0u;
constexpr QRgb kWhite = 0xFFFFFFFFu;
constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kRed = 0xFFFF0000u;
constexpr QRgb kDarkRed = 0xFFC00000u;
constexpr QRgb kLightBlue = 0xFF8080FFu;
} // namespace colour

// The part a control plays in the window beyond being shown, for the
// controls the window's code drives (the buttons that send a command are
// found by their command instead).
enum class Role {
    None,
    EndButton,    // "END"
    PortButton,   // "COM": shows the port panel
    PortPanel,    // the frame of the port panel
    Com1Option,   // "COM1"
    Com2Option,   // "COM2"
    FastOption,   // "19200"
    SlowOption,   // "9600"
    DataButton,   // shows and hides the traffic monitor
    Logo,         // its double-click opens the whole window
    SentLine,     // the traffic monitor's three lines
    ReceivedLine, //
    StatusLine,   //
    TextBox,      // the free-text entry
    SendButton,   // "SEND"
    ClearButton,  // "CLS"
};
// How many roles there are besides None (ClearButton stays the last).
constexpr int kRoleCount = int(Role::ClearButton);

struct ControlLayout {
    Kind kind;
    const char *name;      // Qt objectName
    const char *container; // objectName of the enclosing frame; nullptr = the window
    Rect rect;             // twips, relative to the container
    const char *caption;   // UTF-8; nullptr = none
    // Buttons: the name of the command a click (or a hold) sends, as the
    // command table knows it; nullptr for every other control.
    const char *command = nullptr;
    Role role = Role::None;
    QRgb background = colour::kSilver;
    QRgb foreground = colour::kBlack;
    CaptionFont font = {};
    Align align = Align::Left; // buttons always centre their caption
    bool border = false;       // labels: single-line box
    bool visible = true;
    bool selected = false; // option buttons: the one chosen when the window opens
};

enum class LineStyle { Solid, Dotted, Dashed };

struct LineLayout {
    const char *name;
    int x1, y1, x2, y2; // twips, window client coordinates
    LineStyle style;
};

// Containers come before the controls inside them. Where two controls of one
// container overlap, the later one is stacked above the earlier one.
const std::vector<ControlLayout> &controlTable();
const std::vector<LineLayout> &lineTable();
// Keyboard focus order, first to last.
const std::vector<const char *> &tabOrder();

// The data-panel button's captions: the first when the window opens, then
// each as it toggles.
namespace data_button {
constexpr const char *kShowMonitor = "データを表示する";
constexpr const char *kHideMonitor = "データを表示しない";
} // namespace data_button

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidth = 9495;
// The client area's height with all of the layout in view.
constexpr int kClientFullHeight = 8730;
// The title bar and borders that the window's outer heights include.
constexpr int kFrameAllowance = 370;
// Its left and right borders together, three pixels each.
constexpr int kFrameSideAllowance = 90;

} // namespace layout
