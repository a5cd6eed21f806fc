// Size arithmetic that refuses to wrap: buffer sizes are computed from untrusted dimensions.
#pragma once

#include <cstddef>
#include <limits>

// a * b into `out`; false, leaving `out` alone, when the product does not fit in size_t.
inline bool MultiplyFits(size_t a, size_t b, size_t* out) {
  if (a != 0 && b > std::numeric_limits<size_t>::max() / a) return false;
  *out = a * b;
  return true;
}
