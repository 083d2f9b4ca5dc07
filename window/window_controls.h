// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controls of a built window that its code drives, typed, as the
// builder finds them once. Each part of the window is handed only its own.

#include <vector>

struct Command;
class CommandButton;
class ImageControl;
class MonitorLabel;
class QFrame;
class QLineEdit;
class QPushButton;
class QRadioButton;

// A button and the command its click (or, for a held command, its press
// and release) sends.
struct CommandButtonBinding {
    CommandButton *button;
    const Command *command;
};

struct PortPanelControls {
    QPushButton *showButton = nullptr; // "COM"
    QFrame *panel = nullptr;
    QRadioButton *com1 = nullptr;
    QRadioButton *com2 = nullptr;
    QRadioButton *fast = nullptr; // "19200"
    QRadioButton *slow = nullptr; // "9600"
};

struct DataPanelControls {
    QPushButton *button = nullptr; // shows and hides the traffic monitor
    ImageControl *logo = nullptr;
};

struct MonitorLines {
    MonitorLabel *sent = nullptr;
    MonitorLabel *received = nullptr;
    MonitorLabel *status = nullptr;
};

struct FreeTextControls {
    QLineEdit *text = nullptr;
    QPushButton *send = nullptr;  // "SEND"
    QPushButton *clear = nullptr; // "CLS"
};

struct WindowControls {
    std::vector<CommandButtonBinding> commandButtons;
    PortPanelControls port;
    DataPanelControls data;
    MonitorLines monitor;
    FreeTextControls freeText;
    QPushButton *end = nullptr; // "END"
};
