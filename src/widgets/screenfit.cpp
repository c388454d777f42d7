#include "screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Kuaidi {

void fitIntoScreen(QWidget *window, QSize preferred)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window->resize(preferred);
        return;
    }
    const QRect area = screen->availableGeometry();
    // Title bar and borders are not known before the window is shown.
    constexpr int FrameWidth = 20;
    constexpr int FrameHeight = 40;
    const QSize size = preferred.boundedTo(QSize(area.width() - FrameWidth, area.height() - FrameHeight))
                           .expandedTo(window->minimumSize());
    window->resize(size);
    window->move(area.left() + qMax(0, (area.width() - size.width()) / 2),
                 area.top() + qMax(0, (area.height() - size.height()) / 2));
}

} // namespace Kuaidi
