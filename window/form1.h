#pragma once
// The one window: built from the layout table, bound once to the session it
// shows. It forwards the operator's clicks, presses and keys to the session
// and shows what the session reports.

#include "session/serial_error.h"

#include <QWidget>

class DataPanel;
class PortPanel;
class ProjectorSession;

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(ProjectorSession &session, QWidget *parent = nullptr);
    ~Form1() override;

    // Window load: position, compact height, the port on COM1, then the COM1
    // choice. Stops at the step that fails and returns its error; a
    // socket:// COM1 connects in the background and reports its failure
    // with startUpFailed(). startedUp() says the window is ready to show.
    SerialError startUp();
    // "END": close the port, unload the window, end the program at once.
    void endProgram();

    ProjectorSession &session() { return session_; }

    // A control of the layout by its design name (for tests and tools; the
    // window itself binds its controls once, when it is built).
    template <class T = QWidget> T *control(const char *name) const
    {
        return findChild<T *>(QString::fromLatin1(name));
    }

    // Outer height in twips, as the handlers set and read it; the client
    // area is sized to match whatever the real window frame is.
    int heightTwips() const { return heightTwips_; }
    void setHeightTwips(int twips);

    static QString caption();
    static QString applicationTitle();

signals:
    void startedUp();
    void startUpFailed(const SerialError &error);

private:
    void centreOnScreen();
    void finishStartUp();

    ProjectorSession &session_;
    PortPanel *portPanel_ = nullptr;
    int heightTwips_ = 0;
    bool waitingForComOne_ = false;
};
