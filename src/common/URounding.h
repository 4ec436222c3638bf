#pragma once
// Rounding to a whole number as the program's figures are rounded.
#include <cmath>
#include <cstdint>

// Nearest integer, a half to the even neighbour (0.5 gives 0, 1.5 and 2.5 give 2).
inline int64_t RoundHalfEven(double x) {
  const double f = std::floor(x);
  const double d = x - f;
  auto r = static_cast<int64_t>(f);
  if (d > 0.5 || (d == 0.5 && r % 2 != 0)) ++r;
  return r;
}
