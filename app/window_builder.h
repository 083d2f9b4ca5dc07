#pragma once
// Turns the layout table into the window's widgets.

#include "app/layout_table.h"

#include <QHash>
#include <QLabel>
#include <QRadioButton>
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

// An option button: exclusive among the option buttons of its own frame
// (not those of a frame inside it), and a Tab stop of its own even while
// not selected, so that Tab follows the designed order.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent *event) override;
};

// Builds every control of the layout on window; returns them by name.
QHash<QString, QWidget *> buildWindow(QWidget &window);

// The font that stands in for a face of the design.
QFont designFont(const layout::FontSpec &design);
