// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One line of the traffic monitor: a white box with a single-line border.
// Its text can be long (a streaming device fills it); only the part that
// fits is ever laid out. It reads like a label to accessibility tools and
// offers "Copy" on its context menu.

#include "protocol/traffic_rendering.h"

#include <QFrame>
#include <QString>

class MonitorLabel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
public:
    explicit MonitorLabel(QWidget *parent = nullptr);

    QString text() const { return showsRendering_ ? rendering_.rendering() : text_; }
    void setText(const QString &text);
    void clear() { setText(QString()); }
    // Text := the traffic rendering of source. When source extends the one
    // shown last, only its new part is rendered.
    void showRenderingOf(const QString &source);

    void setAlignment(Qt::Alignment alignment);

    // Puts the whole text on the clipboard.
    void copy() const;

signals:
    void textChanged(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void changed();

    QString text_;
    IncrementalRendering rendering_;
    bool showsRendering_ = false;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};
