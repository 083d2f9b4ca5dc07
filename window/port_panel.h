// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port panel: "COM" shows it, the options choose port and speed, and
// its hide delay (Timer3) hides it again after five seconds.

#include "session/serial_error.h"
#include "session/serial_settings.h"
#include "window/window_controls.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

class PanelSession;
class SessionTimer;
class QWidget;

class PortPanel : public QObject {
    Q_OBJECT
public:
    // window: where its warnings are shown, and what owns it.
    PortPanel(PanelSession &session, const PortPanelControls &controls, QWidget &window);

    void showPanel();                                 // "COM" click
    void hidePanel();                                 // hide delay ends
    void choosePort(int chosen, int fallback);        // COM1 / COM2 click
    void chooseSpeed(const SerialSettings &settings); // 19200 / 9600 click
    // Selects the port option for a number from code; the selection runs the
    // same choice an operator's click would.
    void selectPortOptionByCode(int number);

    // The wait before the panel hides starts anew.
    void restartHideDelay();
    // The program ends: nothing more is timed.
    void stop();

private:
    // The port went away under the program: one warning, without waiting
    // for it, however the loss showed itself.
    void warnPortLost(const QString &description);
    // The chosen port could not be opened: the operator is told, and the
    // other number is set.
    void choiceFailed(const SerialError &error, int fallback);

    PanelSession &session_;
    QWidget &window_;
    PortPanelControls controls_;
    SessionTimer *hideDelay_;
    QPointer<QMessageBox> lostWarning_;
    // A choice whose device server is still connecting: its fallback number.
    std::optional<int> pendingFallback_;
};
