#pragma once

#include <QSize>

class QWidget;

namespace Kuaidi {

/// Gives a new top-level @p window its @p preferred size, or less where the
/// screen's available area (the taskbar aside, after display scaling) is
/// smaller, and centres it there. A window laid out for 1366 × 768 must not
/// put its controls off a smaller or more scaled screen.
void fitIntoScreen(QWidget *window, QSize preferred);

} // namespace Kuaidi
