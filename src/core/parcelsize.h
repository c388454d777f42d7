#pragma once

#include <QStringView>

#include <optional>

namespace Kuaidi {

/// The volume in cubic metres of a parcel measured in centimetres.
double cubicMetresOf(double length, double width, double height);

/// Reads a parcel's sides as sellers write them, "30×20×10", "30*20*10",
/// "30x20x10cm" or "30 × 20 × 10 厘米" (centimetres), into cubic metres.
/// Nothing unless the text is exactly three numbers above zero.
std::optional<double> dimensionsToCubicMetres(QStringView text);

/// One side in centimetres, "30" or "30cm"; nothing unless a number above zero.
std::optional<double> parseCentimetres(QStringView text);

} // namespace Kuaidi
