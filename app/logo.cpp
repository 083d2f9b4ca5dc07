#include "app/logo.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>

QPixmap logoPixmap()
{
    QImage image(80, 26, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 26);
    sky.setColorAt(0, QColor(0x10, 0x30, 0x80));
    sky.setColorAt(1, QColor(0x30, 0x70, 0xC0));
    painter.fillRect(image.rect(), sky);
    painter.setPen(QColor(0xFF, 0xFF, 0xFF));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("VELNO"));
    painter.end();
    return QPixmap::fromImage(image);
}
