// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one window and the place it is put together: it builds its controls
// from the layout table once, hands each part of the panel the session and
// its own controls, and binds them. It forwards the operator's clicks,
// presses and keys to the session and shows what the session reports.

#include "session/serial_error.h"
#include "window/window_height.h"

#include <QWidget>

class PortPanel;
class PanelSession;

// Its object name is "Form1".
class ControlPanelWindow : public QWidget, public WindowHeight {
    Q_OBJECT
public:
    explicit ControlPanelWindow(PanelSession &session, QWidget *parent = nullptr);
    ~ControlPanelWindow() override;

    // Window load: position, compact height, the port on COM1, then the COM1
    // choice. Stops at the step that fails and returns its error; a
    // socket:// COM1 connects in the background and reports its failure
    // with startUpFailed(). startedUp() says the window is ready to show.
    SerialError startUp();
    // "END": close the port, unload the window, end the program at once.
    void endProgram();

    // Outer height in twips, as the handlers set and read it; the client
    // area is sized to match whatever the real window frame is.
    int heightTwips() const override { return heightTwips_; }
    void setHeightTwips(int twips) override;

    static QString caption();

signals:
    void startedUp();
    void startUpFailed(const SerialError &error);

private:
    void centreOnScreen();
    void finishStartUp();

    PanelSession &session_;
    PortPanel *portPanel_ = nullptr;
    int heightTwips_ = 0;
    bool waitingForComOne_ = false;
};
