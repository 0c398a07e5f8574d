#include "app/GraphicalButton.h"

#include <QPainter>

void GraphicalButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Button));

    const bool down = isDown();
    const QColor light = Qt::white, shadow(128, 128, 128), dark = Qt::black;
    const int x0 = r.left(), y0 = r.top(), x1 = r.right(), y1 = r.bottom();
    auto bevel = [&](QColor topLeft, QColor bottomRight, int inset) {
        p.setPen(topLeft);
        p.drawLine(x0 + inset, y1 - inset - 1, x0 + inset, y0 + inset);
        p.drawLine(x0 + inset, y0 + inset, x1 - inset - 1, y0 + inset);
        p.setPen(bottomRight);
        p.drawLine(x0 + inset, y1 - inset, x1 - inset, y1 - inset);
        p.drawLine(x1 - inset, y1 - inset, x1 - inset, y0 + inset);
    };
    if (down) {
        bevel(dark, light, 0);
        bevel(shadow, palette().color(QPalette::Button), 1);
    } else {
        bevel(light, dark, 0);
        bevel(palette().color(QPalette::Button), shadow, 1);
    }

    QRect textRect = r.adjusted(4, 3, -4, -3);
    if (down)
        textRect.translate(1, 1);
    p.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    if (isEnabled()) {
        p.setPen(Qt::black);
        p.drawText(textRect, flags, text());
    } else {
        p.setPen(light);
        p.drawText(textRect.translated(1, 1), flags, text());
        p.setPen(shadow);
        p.drawText(textRect, flags, text());
    }
    if (hasFocus()) {
        QPen dotted(Qt::black, 1, Qt::DotLine);
        p.setPen(dotted);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(3, 3, -4, -4));
    }
}
