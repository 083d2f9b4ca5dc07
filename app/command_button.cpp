#include "app/command_button.h"

#include <QMouseEvent>

CommandButton::CommandButton(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void CommandButton::mousePressEvent(QMouseEvent *event)
{
    QPushButton::mousePressEvent(event);
    emit mouseDown(event->button());
    event->accept();
}

void CommandButton::mouseReleaseEvent(QMouseEvent *event)
{
    QPushButton::mouseReleaseEvent(event);
    emit mouseUp(event->button());
    event->accept();
}
