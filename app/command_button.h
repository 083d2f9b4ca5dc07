#pragma once
// A command button that shows its own background colour and reports the
// press and release of any mouse button (a plain push button only knows the
// left one). The pressed button keeps the mouse until the release.

#include <QPushButton>

class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(QWidget *parent = nullptr);

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
