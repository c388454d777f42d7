#pragma once

#include <QString>
#include <QStringView>

namespace Kuaidi {

/// The text that names a page element, taken apart. It is "attribute==value"
/// (the element whose attribute is the value), a whole number such as "3"
/// (the third element of the wanted kind), or plain text matched against the
/// element's name, id, href, src, text, class, alt, title and value.
struct ElementIdentifier final
{
    QString attribute; ///< lower case; empty unless the identifier holds "=="
    QString value;     ///< after "==", trimmed; otherwise the whole identifier
    int ordinal = 0;   ///< OrdinalOf() the whole identifier

    static ElementIdentifier parse(const QString &identifier);
};

/// The whole number @p identifier is written as, or 0 when it is none. 0 itself
/// is no ordinal, so a zero or a single letter (which reads as 0) is plain text.
int OrdinalOf(QStringView identifier);

} // namespace Kuaidi
