#pragma once
// The table of the QSL manager list and the list view: a grid over a model whose cells are
// fetched when painted, with rows counted as the windows count them (row 0 is the heading row,
// the horizontal header; rows 1.. are the model's rows 0..). A selection always takes a whole
// row; a row selected outside the visible rows is scrolled to the centre.
#include <QTableView>
#include <cstdint>

class TDrawGrid : public QTableView {
  Q_OBJECT

 public:
  static constexpr int kRowHeight = 20;

  explicit TDrawGrid(QWidget* parent = nullptr);

  // Rows including the heading row.
  int32_t RowCount() const;
  // Whole data rows the viewport shows.
  int32_t VisibleRows() const;
  // Row at the top of the data rows (1 when the grid is empty).
  int32_t TopRow() const;
  void SetTopRow(int32_t row);
  // Selected row; 0 = none.
  int32_t Row() const;
  // Selects a row; when it lies outside the visible rows (or centre is set) it is centred.
  void SelectRow(int32_t row, bool centre = false);
  bool RowVisible(int32_t row) const;

 signals:
  // The selected row changed (by the user or by SelectRow).
  void RowSelected(int32_t row);
  void RowDoubleClicked(int32_t row);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void Centre(int32_t row);
};
