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

/// A check box as the page shows it now.
struct PageCheckBox final
{
    int frame = 0; ///< the number of its document, 1-based
    QString id;
    bool checked = false;
    bool disabled = false;
    bool hidden = false; ///< its own display is "none"

    friend bool operator==(const PageCheckBox &, const PageCheckBox &) = default;
};

} // namespace Kuaidi
