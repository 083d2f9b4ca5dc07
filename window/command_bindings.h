#pragma once
// Binds every button that sends a command, once, when the window is built:
// a click sends a one-shot command, a press and release of any mouse button
// drive a held one, and "SEND" and "CLS" work the free-text box.

#include <QObject>

class Controls;
class ProjectorSession;

class CommandBindings : public QObject {
    Q_OBJECT
public:
    CommandBindings(ProjectorSession &session, const Controls &controls, QObject *parent);
};
