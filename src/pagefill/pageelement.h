#pragma once

#include <QString>

namespace Kuaidi {

/// An element found on the bound page, to act on later without searching
/// again. It refers to that very element while it stays on the page; once the
/// page has moved on or dropped the element, it refers to nothing.
struct PageElement final
{
    int frame = 0; ///< the number of its document, 1-based, as frame numbers count
    QString key;

    bool isNull() const { return key.isEmpty(); }
};

} // namespace Kuaidi
