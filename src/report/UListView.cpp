#include "report/UListView.h"

#include <algorithm>

#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"

namespace {
constexpr const char* kOrderNames[kListOrderResults + 1] = {
    "Call", "Call", "Name", "City", "ZIP", "County", "Call (Search results)"};
}  // namespace

std::string ListViewCaption(int listOrder) {
  std::string caption = kListViewCaptionPrefix;
  if (listOrder >= 0 && listOrder <= kListOrderResults) caption += kOrderNames[listOrder];
  return caption;
}

int ListOrderSortIndex(int listOrder) {
  if (listOrder < 0 || listOrder >= kListOrderResults) return -1;
  return OrderOfListOrder(listOrder);
}

int32_t ListViewRowCount(int listOrder, int32_t resultCount) {
  if (listOrder == kListOrderResults) return std::max(0, resultCount) + 1;
  const int index = ListOrderSortIndex(listOrder);
  return index < 0 ? 1 : OrderEntryCount(index) + 1;
}

int32_t ListViewRowOfPosition(int listOrder, int32_t position) {
  position = std::max(0, position);
  return listOrder == kListOrderResults ? position : position + 1;
}

int32_t ListViewPositionOfRow(int listOrder, int32_t row) {
  return listOrder == kListOrderResults ? row : row - 1;
}

int ListViewQthColumnWidth(int windowWidth, int gridWidth, int callColumnWidth, int gridLineWidth) {
  if (windowWidth <= 50) return -1;
  return gridWidth - callColumnWidth - gridLineWidth;
}
