// The ids atoms are registered under: 1000 to 9999, so at most 9000 atoms at once.
#pragma once

namespace atom {

inline constexpr long kFirstId = 1000;
inline constexpr long kLastId = 9999;
inline constexpr long kIdCount = kLastId - kFirstId + 1;  // 9000

inline constexpr bool is_id_value(long long v) { return v >= kFirstId && v <= kLastId; }

}  // namespace atom
