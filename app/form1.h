#pragma once
// The one window: its controls by name, the window-level state, the serial
// control and the four timers. The handlers live in small parts that each
// take what they need from here.

#include "app/panel_state.h"
#include "app/serial_control.h"
#include "app/serial_error.h"
#include "app/window_timer.h"

#include <QHash>
#include <QString>
#include <QWidget>
#include <array>
#include <stdexcept>

class Exchange;
class PortPanel;

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Window load: defaults, position, compact height, the port on COM1.
    // Stops at the step that fails and returns its error.
    SerialError startUp();
    // "END": close the port, unload the window, end the program at once.
    void endProgram();

    PanelState &state() { return state_; }
    SerialControl &comm() { return *comm_; }
    WindowTimer &timer(int number) { return *timers_.at(number - 1); }
    Exchange &exchange() { return *exchange_; }
    PortPanel &portPanel() { return *portPanel_; }

    // A control of the layout by its name.
    template <class T = QWidget> T *control(const char *name) const
    {
        T *widget = qobject_cast<T *>(controls_.value(QString::fromLatin1(name)));
        if (!widget)
            throw std::logic_error(std::string("no control named ") + name);
        return widget;
    }
    bool hasControl(const char *name) const { return controls_.contains(QString::fromLatin1(name)); }

    void hyouji(const QString &line, quint8 direction);

    // Outer height in twips, as the handlers set and read it; the client
    // area is sized to match whatever the real window frame is.
    int heightTwips() const { return heightTwips_; }
    void setHeightTwips(int twips);

    static QString caption();
    static QString applicationTitle();

private:
    void centreOnScreen();

    PanelState state_;
    SerialControl *comm_;
    std::array<WindowTimer *, 4> timers_{};
    QHash<QString, QWidget *> controls_;
    Exchange *exchange_ = nullptr;
    PortPanel *portPanel_ = nullptr;
    int heightTwips_ = 0;
};
