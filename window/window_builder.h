// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns the layout table into the window's widgets.

#include "window/layout_table.h"
#include "window/window_controls.h"

#include <QLabel>
#include <QLineEdit>
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
// not selected, so that Tab follows the layout's focus order.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent *event) override;
};

// The one-line entry box. The hidden unlock chord reaches it like any key,
// but none of its own editing bindings acts on it: on X11, Ctrl+K would
// otherwise delete what was typed from the cursor to the end.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// Builds every control of the layout on window and returns those its code
// drives. A button naming a command the command table does not know, or a
// part of the window no control plays, is a fault in the program: it ends
// the program the first time the window is built.
WindowControls buildWindow(QWidget &window);

// The platform font that stands in for a caption font of the layout.
QFont platformFont(const layout::CaptionFont &caption);
