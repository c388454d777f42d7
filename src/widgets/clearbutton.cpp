#include "clearbutton.h"

#include <QAction>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// A grey disc with a white cross, drawn at 16 and 32 pixels.
QIcon clearIcon()
{
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x9a, 0x9a, 0x9a));
        painter.drawEllipse(QRectF(unit, unit, 14 * unit, 14 * unit));
        painter.setPen(QPen(Qt::white, 1.6 * unit, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(5.5 * unit, 5.5 * unit), QPointF(10.5 * unit, 10.5 * unit));
        painter.drawLine(QPointF(10.5 * unit, 5.5 * unit), QPointF(5.5 * unit, 10.5 * unit));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

void addClearButton(QLineEdit *edit)
{
    auto *clear = new QAction(clearIcon(), u"清除"_s, edit);
    clear->setObjectName(u"clearButton"_s);
    clear->setVisible(!edit->text().isEmpty());
    edit->addAction(clear, QLineEdit::TrailingPosition);
    QObject::connect(clear, &QAction::triggered, edit, [edit] {
        edit->clear();
        edit->setFocus();
    });
    QObject::connect(edit, &QLineEdit::textChanged, clear,
                     [clear](const QString &text) { clear->setVisible(!text.isEmpty()); });
}

} // namespace Kuaidi
