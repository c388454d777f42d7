#pragma once

namespace Kuaidi {

/// How close two weights (or two sort keys) must be to count as equal: a
/// weight typed as 20.00000001 kg is still in the band that ends at 20 kg.
inline constexpr double Tolerance = 0.0000001;

} // namespace Kuaidi
