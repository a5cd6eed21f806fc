// The size rule: how a picture fits a box, with the rounding of Windows' MulDiv.
#pragma once

#include <cstdint>

struct FitSize {
  int32_t width;
  int32_t height;
};

// a * b / c with a 64-bit product, rounded to nearest with halves away from zero; -1 when c is 0
// or the result does not fit in 32 bits (the rule of Windows' MulDiv).
int32_t MulDivRound(int32_t a, int32_t b, int32_t c);

// Scales the picture to the box width when that keeps it within the box height, otherwise to the
// box height. Never compares with the picture's own size.
FitSize CalcFitSize(FitSize box, FitSize picture);
