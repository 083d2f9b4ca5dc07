// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A command button that shows its own background colour and reports the
// press and release of any mouse button (a plain push button only knows the
// left one). The pressed button keeps the mouse until the release. Its
// caption wraps or narrows rather than being cut off where it can.

#include <QColor>
#include <QPushButton>

class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(QWidget *parent = nullptr);

    // A face colour of its own, shown in every state with a classic raised
    // edge. Without one (an invalid colour) the button keeps the platform's
    // look and colour.
    void setFaceColour(const QColor &colour);
    QColor faceColour() const { return faceColour_; }

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect paintOwnFace(QPainter &painter) const;
    QRect paintPlatformFace(QPainter &painter);
    void paintCaption(QPainter &painter, const QRect &face) const;

    QColor faceColour_;
};
