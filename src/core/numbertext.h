#pragma once

#include <QString>

#include <optional>

namespace Kuaidi {

/// Reads the leading decimal number of a stored value. "12.5元" reads 12.5;
/// full-width digits, signs and "．" read like their ASCII forms; a text that
/// does not begin with a number ("未填", "空", empty) reads 0.
double textToNumber(QStringView text);

/// The leading number textToNumber() reads, or nothing when the text does not
/// begin with a number: a price that nobody filled in ("未填", "不发", "-",
/// empty) is told apart from a price of 0.
std::optional<double> leadingNumber(QStringView text);

/// A price of a weight bracket or band read for pricing: its leading number
/// as leadingNumber() reads it; NaN for an empty cell (blanks aside), which
/// falls back to the row's own price where one applies; minus infinity for a
/// text that is no price ("不发", "未填"): the weights it covers are not priced.
double priceCellNumber(QStringView text);

/// Writes a number the way every stored value and every shown fee is written:
/// integral values without a decimal part, others with at most 15 significant
/// digits, never with an exponent and never with trailing zeros.
QString numberToText(double value);

/// The number numberToText() shows for @p value, read back: what a sum made
/// of shown figures must add up. Mostly @p value itself, found without
/// writing any text.
double shownNumber(double value);

/// Whether a typed price may be stored: a decimal number (sign and
/// full-width digits allowed), empty, or one of the markers "未填" and "空"
/// that stand for a price nobody filled in.
bool isPriceText(QStringView text);

/// Strict reading of a typed number: the whole text (blanks around it aside)
/// must be a decimal number, full-width digits and sign allowed.
std::optional<double> parseNumber(QStringView text);

/// Strict reading of a typed parcel weight: the whole text (blanks around it
/// aside) must be a decimal number greater than zero. Returns nothing otherwise.
std::optional<double> parseWeight(QStringView text);

} // namespace Kuaidi
