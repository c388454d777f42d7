#pragma once

#include <QString>

namespace Kuaidi {

/// Most characters of a seller's text that a message quotes.
inline constexpr qsizetype MaxQuotedChars = 40;

/// @p text as a message quotes it: whole when short, else its first
/// characters and "…", so that one huge cell cannot make a huge message. A
/// character outside the Basic Multilingual Plane is never cut in half.
inline QString excerpt(QStringView text, qsizetype maxChars = MaxQuotedChars)
{
    if (text.size() <= maxChars)
        return text.toString();
    qsizetype cut = maxChars - 1;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.first(cut).toString() + u'…';
}

} // namespace Kuaidi
