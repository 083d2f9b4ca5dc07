// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/command_button.h"

#include "window/caption_fit.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

const QColor kShadow(0x80, 0x80, 0x80);
const QColor kHighlight(0xFF, 0xFF, 0xFF);
const QColor kDarkShadow(0x00, 0x00, 0x00);
constexpr int kEdgeWidth = 2;
// Keeps a caption off the edge it would otherwise touch.
constexpr int kCaptionPadding = 1;

// One pixel wide: topLeft along the top and left sides, bottomRight along
// the bottom and right ones.
void drawEdge(QPainter &painter, const QRect &r, const QColor &topLeft, const QColor &bottomRight)
{
    painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

} // namespace

CommandButton::CommandButton(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void CommandButton::setFaceColour(const QColor &colour)
{
    faceColour_ = colour;
    if (colour.isValid()) {
        QPalette pal = palette();
        pal.setColor(QPalette::Button, colour);
        setPalette(pal);
    }
    update();
}

void CommandButton::mousePressEvent(QMouseEvent *event)
{
    QPushButton::mousePressEvent(event);
    emit mouseDown(event->button());
    event->accept();
}

void CommandButton::mouseReleaseEvent(QMouseEvent *event)
{
    QPushButton::mouseReleaseEvent(event);
    emit mouseUp(event->button());
    event->accept();
}

void CommandButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect face = faceColour_.isValid() ? paintOwnFace(painter) : paintPlatformFace(painter);
    paintCaption(painter, face);
}

// Raised when up, sunken while pressed; the caption moves with the face.
QRect CommandButton::paintOwnFace(QPainter &painter) const
{
    const bool down = isDown();
    painter.fillRect(rect(), faceColour_);
    drawEdge(painter, rect(), down ? kDarkShadow : kHighlight, down ? kHighlight : kDarkShadow);
    drawEdge(painter, rect().adjusted(1, 1, -1, -1), down ? kShadow : faceColour_,
             down ? faceColour_ : kShadow);
    const QRect face = rect().adjusted(kEdgeWidth, kEdgeWidth, -kEdgeWidth, -kEdgeWidth);
    if (hasFocus()) {
        QPen dotted(palette().color(QPalette::ButtonText), 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.drawRect(QRectF(face).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    return down ? face.translated(1, 1) : face;
}

// The style draws everything but the caption.
QRect CommandButton::paintPlatformFace(QPainter &painter)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
    QRect face = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown())
        face.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    return face;
}

void CommandButton::paintCaption(QPainter &painter, const QRect &face) const
{
    const QRectF area = QRectF(face).adjusted(kCaptionPadding, 0, -kCaptionPadding, 0);
    const CaptionFit fit = fitCaption(text(), font(), area.size());
    painter.setClipRect(face);
    painter.setFont(fit.font);
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText) : kShadow);
    painter.drawText(area, fit.flags, text());
}
