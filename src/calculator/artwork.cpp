#include "artwork.h"

#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

QPixmap parcelPicture(const QSize &size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();
    const bool withCaption = h >= 100;
    const qreal boxBottom = withCaption ? h * 0.78 : h * 0.95;

    // Box: front face, top face, tape.
    const QRectF front(w * 0.12, h * 0.30, w * 0.56, boxBottom - h * 0.30);
    QPainterPath top;
    top.moveTo(front.topLeft());
    top.lineTo(front.left() + w * 0.18, h * 0.12);
    top.lineTo(front.right() + w * 0.18, h * 0.12);
    top.lineTo(front.topRight());
    top.closeSubpath();
    QPainterPath side;
    side.moveTo(front.topRight());
    side.lineTo(front.right() + w * 0.18, h * 0.12);
    side.lineTo(front.right() + w * 0.18, boxBottom - h * 0.18);
    side.lineTo(front.bottomRight());
    side.closeSubpath();

    p.setPen(QPen(QColor(0x7a, 0x4a, 0x1c), qMax(1.0, w / 96)));
    p.setBrush(QColor(0xd9, 0xa0, 0x5b));
    p.drawRect(front);
    p.setBrush(QColor(0xe8, 0xb9, 0x7a));
    p.drawPath(top);
    p.setBrush(QColor(0xc0, 0x86, 0x45));
    p.drawPath(side);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf3, 0xe0, 0xb5));
    p.drawRect(QRectF(front.center().x() - w * 0.05, front.top(), w * 0.10, front.height()));

    // Shipping label.
    const QRectF label(front.left() + w * 0.05, front.top() + front.height() * 0.45, w * 0.20,
                       front.height() * 0.35);
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0x99, 0x99, 0x99), 1));
    p.drawRect(label);
    p.setPen(QPen(QColor(0xd0, 0x30, 0x20), qMax(1.0, w / 120)));
    for (int i = 1; i <= 3; ++i) {
        const qreal y = label.top() + label.height() * i / 4.0;
        p.drawLine(QPointF(label.left() + 3, y), QPointF(label.right() - 3, y));
    }

    if (withCaption) {
        QFont font = p.font();
        font.setPixelSize(int(h * 0.10));
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(0xd0, 0x30, 0x20));
        p.drawText(QRectF(0, boxBottom, w, h - boxBottom), Qt::AlignCenter, u"Vantor 快递费用计算器"_s);
    }
    return pixmap;
}

} // namespace Kuaidi
