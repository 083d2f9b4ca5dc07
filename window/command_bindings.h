// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Binds every button that sends a command, once, when the window is built:
// a click sends a one-shot command, a press and release of any mouse button
// drive a held one, and "SEND" and "CLS" work the free-text box.

#include "window/window_controls.h"

#include <QObject>
#include <vector>

class PanelSession;

class CommandBindings : public QObject {
    Q_OBJECT
public:
    CommandBindings(PanelSession &session, const std::vector<CommandButtonBinding> &buttons,
                    const FreeTextControls &freeText, QObject *parent);
};
