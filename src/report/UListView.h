#pragma once
// Rules of the two table windows that need no widget: the list view's captions, row counts and
// row/position mapping, and the centring of a selected row.
#include <cstdint>
#include <string>

#include "common/UGridRows.h"

// List orders as the main window tells them: 0 International call, 1 U.S. call, 2 name, 3 city,
// 4 ZIP, 5 county, 6 search results.
constexpr int kListOrderResults = 6;
inline constexpr const char* kListViewInitialCaption = "QTH by Call";
inline constexpr const char* kListViewCaptionPrefix = "Call and QTH sorted by ";
inline constexpr const char* kListViewHeadings[2] = {"Call", "QTH"};
constexpr int kListViewCallColumnWidth = 80;

// "Call and QTH sorted by " and the order's name; the prefix alone for an unknown order.
std::string ListViewCaption(int listOrder);
// Index number (sort order of the data set) of list orders 0..5: 0, 1, 3, 4, 2, 5; -1 otherwise.
int ListOrderSortIndex(int listOrder);
// Table rows: the heading row and one per entry of the order (resultCount in order 6).
int32_t ListViewRowCount(int listOrder, int32_t resultCount);
// Sort-order positions count from 0, result positions from 1; a negative position counts as 0.
int32_t ListViewRowOfPosition(int listOrder, int32_t position);
int32_t ListViewPositionOfRow(int listOrder, int32_t row);
// Width of the QTH column after a resize: the rest of the grid right of the call column at its
// current width (the user may have changed it); -1 (leave it) while the window is not wider than
// 50 pixels.
int ListViewQthColumnWidth(int windowWidth, int gridWidth, int callColumnWidth, int gridLineWidth);
