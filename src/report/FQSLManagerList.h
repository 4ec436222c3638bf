#pragma once
// The QSL manager list "QSL Managers": the records of data\qslmgr.dat as a table read row by row
// when painted. Opened on an entry's manager; a double click looks up the manager's own entry.
// Closing only hides it; the main window keeps it for the next use.
#include <QAbstractTableModel>
#include <QDialog>
#include <QFont>
#include <memory>

#include "dataset/UQslManagers.h"

class QMenu;

namespace Ui {
class TQslMgrForm;
}

// The QSL managers file as table rows: model row r is record r + 1 (record 0 is never shown).
class TQslManagerModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  TQslManagerModel(TQslManagerFile& file, QFont keyFont, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  TQslManagerFile& file_;
  QFont keyFont_;
  mutable bool errorShown_ = false;  // a read error was reported; later ones are not
};

class TQslMgrForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10010;
  // The manager call is column 1; its cells are bold.
  static constexpr int kKeyColumn = 1;

  // Opens data\qslmgr.dat of the data set; throws EQslFileError when it cannot be read.
  explicit TQslMgrForm(QWidget* parent = nullptr);
  ~TQslMgrForm() override;

  bool Ready() const { return file_.IsOpen(); }
  // Record to bring to the top of the table and select when the window is next shown or
  // activated (0 = none); at once when it is visible.
  void SetRowToShow(int32_t record);
  int32_t RowToShow() const { return rowToShow_; }
  TQslManagerFile& File() { return file_; }

 signals:
  // The manager's call in the call index form ("0" as "<").
  void FindCallRequested(const QString& call);

 public slots:
  void QslGridDblClick(int32_t row);
  void CloseItemClick();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ShowRowToShow();

  std::unique_ptr<Ui::TQslMgrForm> ui;
  TQslManagerFile file_;
  std::unique_ptr<TQslManagerModel> model_;
  QMenu* FormPopupMenu = nullptr;
  int32_t rowToShow_ = 0;
};
