#include "window/command_bindings.h"

#include "protocol/commands.h"
#include "session/projector_session.h"
#include "window/command_button.h"
#include "window/layout_table.h"
#include "window/window_builder.h"

#include <QLineEdit>

CommandBindings::CommandBindings(ProjectorSession &session, const Controls &controls, QObject *parent)
    : QObject(parent)
{
    ProjectorSession *s = &session;
    for (const layout::ControlSpec &design : layout::controlTable()) {
        if (!design.command)
            continue;
        const Command *c = findCommand(QString::fromLatin1(design.command));
        if (!c)
            qFatal("%s sends %s, which is no command", design.name, design.command);
        auto *button = controls.get<CommandButton>(design.name);
        if (c->timing == CommandTiming::Hold) {
            // The pressed button keeps the mouse, so its release arrives even
            // when the pointer has left it.
            connect(button, &CommandButton::mouseDown, s, [s, c] { s->press(*c); });
            connect(button, &CommandButton::mouseUp, s, [s, c] { s->release(*c); });
        } else {
            connect(button, &QPushButton::clicked, s, [s, c] { s->send(*c); });
        }
    }
    auto *text = controls.get<QLineEdit>("Text1");
    connect(controls.get<QPushButton>("Command95"), &QPushButton::clicked, s,
            [s, text] { s->sendTyped(text->text()); });
    connect(controls.get<QPushButton>("Command96"), &QPushButton::clicked, text, &QLineEdit::clear);
}
