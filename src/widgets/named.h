#pragma once

#include <QString>

#include <utility>

namespace Kuaidi {

/// Creates a widget under the object name that tests, and the seller's own
/// scripts, find it by.
template<typename Widget, typename... Args> Widget *named(const QString &objectName, Args &&...args)
{
    auto *widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(objectName);
    return widget;
}

} // namespace Kuaidi
