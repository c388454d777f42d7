#pragma once

class QWidget;

namespace Kuaidi {

/// Keeps the mouse wheel from changing @p widget (a combo box in a page
/// that scrolls) unless the seller clicked or tabbed into it first: a wheel
/// turned over it scrolls the page instead.
void takeWheelOnlyWhenFocused(QWidget *widget);

} // namespace Kuaidi
