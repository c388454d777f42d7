#pragma once

#include <QString>

namespace Kuaidi {

/// Excel's escaping of the texts in its sheets: a character XML cannot hold
/// (a control character, U+FFFE, U+FFFF, a lone surrogate) or a carriage
/// return, which XML readers turn into a line feed, is written as _xHHHH_,
/// and a literal _xHHHH_ as _x005F_xHHHH_. The result still needs the XML
/// escaping of &, < and >.
QString escapeOoxmlText(const QString &text);

/// The text escapeOoxmlText() (or Excel) escaped.
QString unescapeOoxmlText(const QString &text);

} // namespace Kuaidi
