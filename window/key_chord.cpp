// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/key_chord.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>

bool isUnlockChord(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    return held == Qt::ControlModifier && key == Qt::Key_K;
}

KeyChord::KeyChord(QWidget &window, QObject *parent) : QObject(parent), window_(window)
{
    // On the application, so the press is seen before any control's own
    // handling, whichever control has the focus.
    QCoreApplication::instance()->installEventFilter(this);
}

bool KeyChord::eventFilter(QObject *watched, QEvent *event)
{
    // What the chord's own handlers do (resize the window, show a button)
    // sends events within this same delivery; they do not end it.
    if (inChordHandlers_)
        return false;
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || event != pressInDelivery_) {
        pressInDelivery_ = nullptr;
        lastReceiver_ = nullptr;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *receiver = static_cast<QWidget *>(watched);
    if (receiver != &window_ && !window_.isAncestorOf(receiver))
        return false;

    const bool handedOn =
        event == pressInDelivery_ && lastReceiver_ && receiver == lastReceiver_->parentWidget();
    pressInDelivery_ = event;
    lastReceiver_ = receiver;
    const auto *key = static_cast<const QKeyEvent *>(event);
    if (!handedOn && isUnlockChord(key->key(), key->modifiers())) {
        const QScopedValueRollback<bool> inHandlers(inChordHandlers_, true);
        emit pressed();
    }
    return false;
}
