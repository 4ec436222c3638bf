#pragma once
// Row arithmetic of the table windows (row 0 is the heading row).
#include <algorithm>
#include <cstdint>

// Top row that centres a selected row: row - visible div 2, limited to 1..rowCount - visible, so
// that the last row is in view (1 when the table is shorter). visibleRows counts the rows below
// the heading.
inline int32_t CentredTopRow(int32_t row, int32_t visibleRows, int32_t rowCount) {
  const int32_t top = row - visibleRows / 2;
  return std::max(1, std::min(top, rowCount - visibleRows));
}
