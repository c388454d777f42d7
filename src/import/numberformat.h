#pragma once

#include <QString>

namespace Kuaidi {

/// What a cell's number format shows its number as: a number, a date, a time
/// of day, both, or elapsed time ("[h]:mm:ss", hours past 24).
enum class DateKind { None, Date, Time, DateTime, Elapsed };

/// The kind of a format code as Excel and WPS write them. Only the first
/// section (for positive numbers) counts, so "m/d/yy;@" is a date; quoted
/// text, escaped characters and bracketed parts ("[$-409]", "[Red]") are no
/// codes, but "[h]" is elapsed hours. A section with digit or text
/// placeholders (0, #, ?, @) shows a number.
DateKind dateKindOfFormat(QStringView format);

/// The kind of Excel's built-in format @p id (14 m/d/yyyy, 20 h:mm, 22, 46
/// [h]:mm:ss, and the Chinese, Japanese and Korean ones 27–36 and 50–58).
DateKind builtinDateKind(int id);

/// A cell's number as the seller reads it: "2024-01-15", "08:30:00",
/// "2024-01-15 08:30:00", "255:10:10" by @p kind, counting days from 1900
/// (Excel's leap-year fault kept) or 1904; numberToText() for a number, and
/// for a day number no calendar shows (negative, past 9999-12-31).
QString cellNumberText(double value, DateKind kind, bool date1904);

} // namespace Kuaidi
