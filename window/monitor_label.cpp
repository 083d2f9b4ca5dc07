// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/monitor_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

namespace {

// What a screen reader announces for a monitor line: its text, as for a
// label.
class MonitorLabelAccessible : public QAccessibleWidget {
public:
    explicit MonitorLabelAccessible(MonitorLabel *label) : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value) {
            const QString own = widget()->accessibleName();
            return own.isEmpty() ? static_cast<const MonitorLabel *>(widget())->text() : own;
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *monitorLabelAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("MonitorLabel"))
        if (auto *label = qobject_cast<MonitorLabel *>(object))
            return new MonitorLabelAccessible(label);
    return nullptr;
}

} // namespace

MonitorLabel::MonitorLabel(QWidget *parent) : QFrame(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(monitorLabelAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    auto *copyAction = new QAction(tr("Copy"), this);
    copyAction->setObjectName(QStringLiteral("copy"));
    connect(copyAction, &QAction::triggered, this, &MonitorLabel::copy);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MonitorLabel::setText(const QString &text)
{
    // The sent line is set at every repeat tick, down to every 5 ms: the same
    // text again changes nothing and is not drawn again.
    if (text == this->text())
        return;
    text_ = text;
    showsRendering_ = false;
    rendering_.clear();
    changed();
}

void MonitorLabel::showRenderingOf(const QString &source)
{
    rendering_.render(source);
    showsRendering_ = true;
    text_.clear();
    changed();
}

void MonitorLabel::changed()
{
    update();
    // As a label does: screen readers hear of the new text.
    if (accessibleName().isEmpty()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    emit textChanged(text());
}

void MonitorLabel::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    update();
}

void MonitorLabel::copy() const
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(text());
}

void MonitorLabel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = contentsRect().adjusted(2, 0, -1, 0);
    // No glyph is narrower than a pixel, so nothing past this can show.
    const QString visible = text().left(area.width() + 1);
    painter.drawText(area, int(alignment_) | Qt::TextSingleLine, visible);
}
