// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hidden data panel: Ctrl+K unlocks it and shows the data-panel button,
// the logo's double-click then opens the whole window, and the button
// toggles the traffic monitor into view. Nothing here is sent.

#include "window/window_controls.h"
#include "window/window_height.h"

#include <QObject>
#include <QString>

struct MonitorToggle {
    int heightTwips;
    QString caption;
};

// Where the data-panel button takes a window of the given height.
MonitorToggle monitorToggleFrom(int heightTwips);

class DataPanel : public QObject {
    Q_OBJECT
public:
    DataPanel(const DataPanelControls &controls, WindowHeight &window, QObject *parent);

    void unlock();         // the hidden key chord
    void openFullWindow(); // Image1 double-click
    void toggleMonitor();  // Command34 click

    bool isUnlocked() const { return unlocked_; }

signals:
    // The data-panel button changed the window: the port panel's wait
    // starts anew.
    void monitorToggled();

private:
    void showButtonAs(const QString &caption);

    WindowHeight &window_;
    QPushButton *button_;
    bool unlocked_ = false;
};
