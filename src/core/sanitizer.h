#pragma once

namespace Kuaidi {

/// Whether this build runs under AddressSanitizer, which reserves terabytes
/// of address space: an address-space limit cannot be set under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool Sanitized = true;
#else
inline constexpr bool Sanitized = false;
#endif
#else
inline constexpr bool Sanitized = false;
#endif

} // namespace Kuaidi
