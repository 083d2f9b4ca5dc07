// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's own look at each key press before the control with the focus
// gets it, for the hidden Ctrl+K chord. The key is never consumed: the
// focused control still receives it as usual.

#include <QObject>
#include <QPointer>
#include <QWidget>

class QKeyEvent;

// Ctrl alone (neither Shift nor Alt; Caps Lock is no modifier) with K.
bool isUnlockChord(int key, Qt::KeyboardModifiers modifiers);

class KeyChord : public QObject {
    Q_OBJECT
public:
    // Watches every key press that reaches window or a control inside it.
    KeyChord(QWidget &window, QObject *parent);

signals:
    void pressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &window_;
    // Qt hands a key press the control ignores on to its parent as the same
    // event, within one delivery. The press being delivered is remembered
    // only until any other event passes: a new press always comes after
    // others (its shortcut check, the window's own key event), so the
    // address is never compared once the event it named may be gone.
    const QEvent *pressInDelivery_ = nullptr;
    QPointer<QWidget> lastReceiver_;
    bool inChordHandlers_ = false;
};
