#include "link/monitor_label.h"

#include "link/traffic_rendering.h"

#include <QPainter>

MonitorLabel::MonitorLabel(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
}

void MonitorLabel::setText(const QString &text)
{
    text_ = text;
    renderedSource_.clear();
    textIsRendering_ = false;
    update();
}

void MonitorLabel::showRenderingOf(const QString &source)
{
    const qsizetype done = renderedSource_.size();
    if (textIsRendering_ && source.size() >= done &&
        QStringView(source).left(done) == QStringView(renderedSource_)) {
        const QStringView tail = QStringView(source).mid(done);
        appendTrafficPieces(text_, tail);
        renderedSource_ += tail;
    } else {
        text_ = trafficRendering(source);
        // A copy of its own, so appends here never copy the caller's text.
        renderedSource_ = QString(source.constData(), source.size());
        textIsRendering_ = true;
    }
    update();
}

void MonitorLabel::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    update();
}

void MonitorLabel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = contentsRect().adjusted(2, 0, -1, 0);
    // No glyph is narrower than a pixel, so nothing past this can show.
    const QString visible = text_.left(area.width() + 1);
    painter.drawText(area, int(alignment_) | Qt::TextSingleLine, visible);
}
