#include "app/Artwork.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{
QPixmap blank32()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    return pm;
}
} // namespace

QPixmap productPixmap(int size)
{
    // A database drum with a green tick, in the 16 colours of the classic palette, drawn on a 32-pixel
    // grid and scaled to the size asked for.
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, size != 32);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.setBrush(QColor(0, 128, 128));
    p.drawRect(5, 7, 20, 18);
    p.setBrush(QColor(0, 255, 255));
    p.drawEllipse(5, 3, 20, 8);
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.drawArc(5, 11, 20, 8, 180 * 16, 180 * 16);
    p.drawArc(5, 17, 20, 8, 180 * 16, 180 * 16);
    p.setPen(QPen(QColor(0, 255, 0), 3));
    p.drawLine(16, 22, 21, 28);
    p.drawLine(21, 28, 30, 15);
    return pm;
}

QIcon productIcon()
{
    QIcon icon;
    for (int size : kIconSizes)
        icon.addPixmap(productPixmap(size));
    return icon;
}

QCursor arrowCursor()
{
    QPixmap pm = blank32();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath arrow;
    arrow.moveTo(0, 0);
    arrow.lineTo(0, 17);
    arrow.lineTo(4, 13);
    arrow.lineTo(7, 20);
    arrow.lineTo(10, 19);
    arrow.lineTo(7, 12);
    arrow.lineTo(12, 12);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(255, 255, 128));
    p.drawPath(arrow);
    return QCursor(pm, 0, 0);
}

QCursor handCursor()
{
    QPixmap pm = blank32();
    QPainter p(&pm);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    // index finger pointing up from (12, 1), then the palm with three folded fingers
    p.drawRoundedRect(10, 1, 5, 14, 2, 2);
    p.drawRoundedRect(15, 8, 4, 8, 2, 2);
    p.drawRoundedRect(19, 9, 4, 8, 2, 2);
    p.drawRoundedRect(23, 10, 4, 8, 2, 2);
    p.drawRoundedRect(8, 14, 19, 12, 4, 4);
    p.drawRoundedRect(5, 12, 5, 8, 2, 2);
    return QCursor(pm, 12, 1);
}
