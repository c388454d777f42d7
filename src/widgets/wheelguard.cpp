#include "wheelguard.h"

#include <QEvent>
#include <QWidget>

namespace Kuaidi {

namespace {

class WheelGuard : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus())
            return false;
        // Not accepted, the event goes on to the widgets around: the page
        // scrolls.
        event->ignore();
        return true;
    }
};

} // namespace

void takeWheelOnlyWhenFocused(QWidget *widget)
{
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(new WheelGuard(widget));
}

} // namespace Kuaidi
