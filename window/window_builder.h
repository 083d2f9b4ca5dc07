#pragma once
// Turns the layout table into the window's widgets.

#include "window/layout_table.h"

#include <QHash>
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
// not selected, so that Tab follows the designed order.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent *event) override;
};

// The controls of a built window by their design names, for binding them
// once while the window is built.
class Controls {
public:
    explicit Controls(QHash<QString, QWidget *> byName) : byName_(std::move(byName)) {}

    // The control of this name and type; a name the layout does not have is
    // a fault in the program, found the first time the window is built.
    template <class T = QWidget> T *get(const char *name) const
    {
        T *widget = qobject_cast<T *>(byName_.value(QString::fromLatin1(name)));
        if (!widget)
            qFatal("the window has no control %s of the expected kind", name);
        return widget;
    }

private:
    QHash<QString, QWidget *> byName_;
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

// Builds every control of the layout on window.
Controls buildWindow(QWidget &window);

// The font that stands in for a face of the design.
QFont designFont(const layout::FontSpec &design);
