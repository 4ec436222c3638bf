#pragma once
// The list view "Call and QTH sorted by ...": call and QTH of every entry of the main window's
// current order (or of the text search result), read row by row through the look-up state when
// painted. Selecting a row tells the main window the position chosen (PositionChosen) while the
// live flag is set. Freed when closed.
#include <QAbstractTableModel>
#include <QFont>
#include <QWidget>
#include <memory>

class TLookup;

namespace Ui {
class TListViewForm;
}

// Rows of the look-up's current list order: model row r is position r.
class TListViewModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  TListViewModel(const TLookup& lookup, QFont keyFont, QObject* parent = nullptr);
  // Rows of the grid, the heading row included.
  void SetRowCount(int32_t gridRows);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  const TLookup& lookup_;
  QFont keyFont_;
  int32_t rows_ = 0;  // data rows
  // The row last fetched, so painting its two cells reads the entry once.
  mutable int32_t cachedRow_ = -1;
  mutable QString cachedCall_, cachedText_;
};

class TListViewForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10013;
  static constexpr int kKeyColumn = 0;

  TListViewForm(const TLookup& lookup, QWidget* parent = nullptr);
  ~TListViewForm() override;

  // Its rows can be read: made, on an open data set.
  bool Ready() const;
  // List order 0..6 as the main window tells it: caption and row count.
  void SetMode(int mode);
  int Mode() const { return mode_; }
  // Selects and centres the row of a main window position (moving the main window only while
  // live).
  void SetPosition(int32_t position);
  int32_t Position() const { return position_; }
  // While clear, row selections do not move the main window.
  void SetLive(bool on) { live_ = on; }
  bool Live() const { return live_; }

 signals:
  // The user selected the row of this position while live.
  void PositionChosen(int32_t position);

 public slots:
  void ListGridSelect(int32_t row);
  void CloseItemClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::TListViewForm> ui;
  const TLookup& lookup_;
  std::unique_ptr<TListViewModel> model_;
  QMenu* FormPopupMenu = nullptr;
  int mode_ = -1;
  int32_t position_ = 0;
  bool live_ = false;
};
