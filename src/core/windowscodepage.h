#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Kuaidi {

// Windows' own code page tables, for the legacy encodings that Qt cannot
// name there: a Qt built without ICU knows UTF-8/16/32, Latin-1 and the
// system code page only. Windows builds only.

/// @p bytes in Windows code page @p codePage (936 GBK, 54936 GB18030, 950
/// Big5, 932 Shift_JIS, 1250-1258, 10000-10029 Mac, ...), a byte sequence
/// the code page does not define (or cut off at the end) as U+FFFD; nothing
/// where Windows does not have that code page.
std::optional<QString> decodeWithWindowsCodePage(unsigned codePage, QByteArrayView bytes);

/// @p text in Windows code page @p codePage; characters the code page lacks
/// become its default character.
std::optional<QByteArray> encodeWithWindowsCodePage(unsigned codePage, QStringView text);

} // namespace Kuaidi
