#include "report/FListView.h"

#include <QEvent>
#include <QHeaderView>
#include <QMenu>

#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "report/UListView.h"
#include "ui_FListView.h"
#include "widgets/UDataText.h"

// ---- Model

TListViewModel::TListViewModel(const TLookup& lookup, QFont keyFont, QObject* parent)
    : QAbstractTableModel(parent), lookup_(lookup), keyFont_(std::move(keyFont)) {}

void TListViewModel::SetRowCount(int32_t gridRows) {
  beginResetModel();
  rows_ = std::max(0, gridRows - 1);
  cachedRow_ = -1;
  endResetModel();
}

int TListViewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TListViewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant TListViewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::FontRole && index.column() == TListViewForm::kKeyColumn) return keyFont_;
  if (role != Qt::DisplayRole) return {};
  if (index.row() != cachedRow_) {
    cachedRow_ = index.row();
    cachedCall_.clear();
    cachedText_.clear();
    // A row that cannot be read stays empty.
    std::string call, text;
    if (lookup_.GetListRow(index.row(), call, text)) {
      cachedCall_ = FromData(call);
      cachedText_ = FromData(text);
    }
  }
  return index.column() == 0 ? cachedCall_ : cachedText_;
}

QVariant TListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section > 1) return {};
  if (role == Qt::DisplayRole) return QString(kListViewHeadings[section]);
  if (role == Qt::FontRole && section == TListViewForm::kKeyColumn) return keyFont_;
  return {};
}

// ---- Window

TListViewForm::TListViewForm(const TLookup& lookup, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::TListViewForm>()), lookup_(lookup) {
  ui->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(kListViewInitialCaption);
  setProperty("helpContext", kHelpContext);
  QFont keyFont = ui->ListGrid->font();
  keyFont.setBold(true);
  model_ = std::make_unique<TListViewModel>(lookup_, keyFont);
  ui->ListGrid->setModel(model_.get());
  ui->ListGrid->setColumnWidth(0, kListViewCallColumnWidth);
  ui->ListGrid->viewport()->installEventFilter(this);

  FormPopupMenu = new QMenu(this);
  FormPopupMenu->setObjectName("FormPopupMenu");
  FormPopupMenu->addAction(ui->CloseItem);
  addAction(ui->CloseItem);
  connect(ui->CloseItem, &QAction::triggered, this, &TListViewForm::CloseItemClick);
  for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(ui->ListGrid)})
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { FormPopupMenu->popup(w->mapToGlobal(at)); });
  connect(ui->ListGrid, &TDrawGrid::RowSelected, this, &TListViewForm::ListGridSelect);
  resize(482, 316);
}

TListViewForm::~TListViewForm() { ui->ListGrid->setModel(nullptr); }

bool TListViewForm::Ready() const { return model_ != nullptr && DataSetIsOpen(); }

void TListViewForm::SetMode(int mode) {
  mode_ = mode;
  setWindowTitle(QString::fromStdString(ListViewCaption(mode)));
  model_->SetRowCount(ListViewRowCount(mode, lookup_.ResultCount()));
}

void TListViewForm::SetPosition(int32_t position) {
  position_ = std::max(0, position);
  ui->ListGrid->SelectRow(ListViewRowOfPosition(mode_, position_), true);
}

void TListViewForm::ListGridSelect(int32_t row) {
  if (!live_ || row < 1) return;
  position_ = ListViewPositionOfRow(mode_, row);
  emit PositionChosen(position_);
}

void TListViewForm::CloseItemClick() { close(); }

bool TListViewForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->ListGrid->viewport() && event->type() == QEvent::Resize) {
    const int width = ListViewQthColumnWidth(this->width(), ui->ListGrid->viewport()->width(),
                                             ui->ListGrid->columnWidth(0), 0);
    if (width > 0) ui->ListGrid->setColumnWidth(1, width);
  }
  return QWidget::eventFilter(watched, event);
}
