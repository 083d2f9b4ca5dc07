// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/logo.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace {

const QColor kNavy(0x0A, 0x22, 0x62);
const QColor kBlue(0x2E, 0x6C, 0xC0);
const QColor kEdgeLight(0x7A, 0xA8, 0xE8);
const QColor kEdgeDark(0x05, 0x12, 0x38);
const QColor kAccent(0xFF, 0x9A, 0x1E);

void drawBackground(QPainter &painter, const QRect &area)
{
    QLinearGradient sky(0, area.top(), 0, area.bottom());
    sky.setColorAt(0, kNavy);
    sky.setColorAt(1, kBlue);
    painter.fillRect(area, sky);
    // A raised edge, like the buttons around it.
    painter.fillRect(QRect(area.left(), area.top(), area.width(), 1), kEdgeLight);
    painter.fillRect(QRect(area.left(), area.top(), 1, area.height()), kEdgeLight);
    painter.fillRect(QRect(area.left(), area.bottom(), area.width(), 1), kEdgeDark);
    painter.fillRect(QRect(area.right(), area.top(), 1, area.height()), kEdgeDark);
}

void drawName(QPainter &painter, const QRect &area)
{
    QFont font;
    font.setFamilies(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans"), QStringLiteral("sans-serif")});
    font.setPixelSize(15);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    painter.setFont(font);
    const QString name = QStringLiteral("VELNO");
    painter.setPen(kEdgeDark);
    painter.drawText(area.translated(1, 1), Qt::AlignCenter, name);
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter, name);
}

} // namespace

QPixmap logoPixmap()
{
    QImage image(80, 26, QImage::Format_RGB888);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawBackground(painter, image.rect());
    drawName(painter, QRect(2, 1, 76, 21));
    painter.fillRect(QRect(14, 21, 52, 2), kAccent);
    painter.end();
    return QPixmap::fromImage(image);
}
