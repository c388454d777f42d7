#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace Kuaidi {

/// Texts in legacy encodings: the byte strings of Excel 5.0/95 workbooks, GBK
/// text files, Access 97 databases. Every such decode goes through these two
/// functions, so that a platform whose Qt lacks a converter can bring its own.

/// @p bytes as text in Windows code page @p codePage (936 GBK, 950 Big5,
/// 1250–1258, 10000–10029 for the Mac ones, 932, 949, …). Bytes the code page
/// leaves undefined read as U+FFFD. Nothing when no converter here knows the
/// code page.
std::optional<QString> decodeCodePage(QByteArrayView bytes, int codePage);

/// The same by an encoding's name, as Qt or ICU call it: "GBK", "GB18030",
/// "Big5", "windows-1252", "macintosh", "Shift_JIS" …, in any case. Nothing
/// when no converter here knows the name.
std::optional<QString> decodeEncoding(QByteArrayView bytes, const QString &name);

} // namespace Kuaidi
