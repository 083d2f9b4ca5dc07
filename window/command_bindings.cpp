// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/command_bindings.h"

#include "protocol/commands.h"
#include "session/panel_session.h"
#include "window/command_button.h"

#include <QLineEdit>

CommandBindings::CommandBindings(PanelSession &session, const std::vector<CommandButtonBinding> &buttons,
                                 const FreeTextControls &freeText, QObject *parent)
    : QObject(parent)
{
    PanelSession *s = &session;
    for (const CommandButtonBinding &binding : buttons) {
        const Command *c = binding.command;
        if (c->timing == CommandTiming::Hold) {
            // The pressed button keeps the mouse, so its release arrives even
            // when the pointer has left it.
            connect(binding.button, &CommandButton::mouseDown, s, [s, c] { s->press(*c); });
            connect(binding.button, &CommandButton::mouseUp, s, [s, c] { s->release(*c); });
        } else {
            connect(binding.button, &QPushButton::clicked, s, [s, c] { s->send(*c); });
        }
    }
    QLineEdit *text = freeText.text;
    connect(freeText.send, &QPushButton::clicked, s, [s, text] { s->sendTyped(text->text()); });
    connect(freeText.clear, &QPushButton::clicked, text, &QLineEdit::clear);
}
