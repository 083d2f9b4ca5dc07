#pragma once
// Turns the layout table into the window's widgets.

#include <QHash>
#include <QLabel>
#include <QString>
#include <QWidget>

// The logo: a picture that reports double-clicks.
class ImageControl : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// Builds every control of the layout on window; returns them by name.
QHash<QString, QWidget *> buildWindow(QWidget &window);

// The font that stands in for a face of the design.
QFont designFont(int face, double pointSize, bool bold);
