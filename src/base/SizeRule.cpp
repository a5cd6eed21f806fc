// The size rule, on plain integers.
#include "base/SizeRule.h"

#include <limits>

int32_t MulDivRound(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t product = static_cast<int64_t>(a) * b;
  bool negative = (product < 0) != (c < 0);
  uint64_t magnitude = product < 0 ? static_cast<uint64_t>(-product) : static_cast<uint64_t>(product);
  uint64_t divisor = c < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
  uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return -1;
  return negative ? -static_cast<int32_t>(quotient) : static_cast<int32_t>(quotient);
}

FitSize CalcFitSize(FitSize box, FitSize picture) {
  int32_t h1 = MulDivRound(box.width, picture.height, picture.width);
  if (h1 <= box.height) return {box.width, h1};
  int32_t w2 = MulDivRound(box.height, picture.width, picture.height);
  if (w2 > box.width) return {box.width, box.height};
  return {w2, box.height};
}
