#pragma once
// The hidden data panel: Ctrl+K unlocks it and shows the data-panel button,
// the logo's double-click then opens the whole window, and the button
// toggles the traffic monitor into view. Nothing here is sent.

#include <QObject>
#include <QString>

class Controls;
class Form1;
class PortPanel;
class QPushButton;

// Outer window heights in twips.
namespace window_height {
constexpr int kCompact = 5350;
constexpr int kMonitor = 6645;
constexpr int kUnlocked = 7200;
constexpr int kFull = 9100;
// From this height up the window counts as tall: the button shrinks it.
constexpr int kTall = 6000;
} // namespace window_height

struct MonitorToggle {
    int heightTwips;
    QString caption;
};

// Where the data-panel button takes a window of the given height.
MonitorToggle monitorToggleFrom(int heightTwips);

class DataPanel : public QObject {
    Q_OBJECT
public:
    DataPanel(Form1 &form, const Controls &controls, PortPanel &portPanel);

    void unlock();         // the hidden key chord
    void openFullWindow(); // Image1 double-click
    void toggleMonitor();  // Command34 click

    bool isUnlocked() const { return unlocked_; }

private:
    void showButtonAs(const QString &caption);

    Form1 &form_;
    PortPanel &portPanel_;
    QPushButton *button_;
    bool unlocked_ = false;
};
