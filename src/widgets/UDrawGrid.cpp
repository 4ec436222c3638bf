#include "widgets/UDrawGrid.h"

#include <QFont>
#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>

#include "common/UGridRows.h"

TDrawGrid::TDrawGrid(QWidget* parent) : QTableView(parent) {
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  // Scrolling to a selected row is done here (centred), not by the view.
  setAutoScroll(false);
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(this, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { emit RowDoubleClicked(index.row() + 1); });
}

int32_t TDrawGrid::RowCount() const { return model() ? model()->rowCount() + 1 : 1; }

int32_t TDrawGrid::VisibleRows() const { return std::max(1, viewport()->height() / kRowHeight); }

int32_t TDrawGrid::TopRow() const { return verticalScrollBar()->value() + 1; }

void TDrawGrid::SetTopRow(int32_t row) {
  // The scroll range follows the viewport; bring it up to date before scrolling.
  updateGeometries();
  verticalScrollBar()->setValue(std::max(0, row - 1));
}

int32_t TDrawGrid::Row() const {
  const QModelIndex current = currentIndex();
  return current.isValid() && selectionModel() && selectionModel()->isRowSelected(current.row())
             ? current.row() + 1
             : 0;
}

bool TDrawGrid::RowVisible(int32_t row) const {
  const int32_t top = TopRow();
  return row >= top && row < top + VisibleRows();
}

void TDrawGrid::Centre(int32_t row) { SetTopRow(CentredTopRow(row, VisibleRows(), RowCount())); }

void TDrawGrid::SelectRow(int32_t row, bool centre) {
  if (!model() || row < 1 || row >= RowCount()) return;
  if (centre) Centre(row);
  setCurrentIndex(model()->index(row - 1, 0));
  selectRow(row - 1);
}

void TDrawGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (!current.isValid() || (previous.isValid() && previous.row() == current.row())) return;
  const int32_t row = current.row() + 1;
  if (!RowVisible(row)) Centre(row);
  emit RowSelected(row);
}
