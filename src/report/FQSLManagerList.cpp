#include "report/FQSLManagerList.h"

#include <QMenu>
#include <QTimer>

#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "ui_FQSLManagerList.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

constexpr int kColumnWidths[kQslColumns] = {112, 86, 96, 85};

}  // namespace

// ---- Model

TQslManagerModel::TQslManagerModel(TQslManagerFile& file, QFont keyFont, QObject* parent)
    : QAbstractTableModel(parent), file_(file), keyFont_(std::move(keyFont)) {}

int TQslManagerModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : file_.RowCount() - 1;
}

int TQslManagerModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kQslColumns;
}

QVariant TQslManagerModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::FontRole && index.column() == TQslMgrForm::kKeyColumn) return keyFont_;
  if (role != Qt::DisplayRole) return {};
  try {
    return FromData(file_.CellText(index.column(), index.row() + 1));
  } catch (const EQslFileError& e) {
    // A read error while painting: the cell stays empty, and the first error is reported once
    // the paint is over (a box inside a paint would paint again).
    if (!errorShown_) {
      errorShown_ = true;
      const QString message = QString::fromStdString(e.what());
      QTimer::singleShot(0, this, [message] { ShowErrorBox(message); });
    }
    return {};
  }
}

QVariant TQslManagerModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kQslColumns) return {};
  if (role == Qt::DisplayRole) return QString(kQslHeadings[section]);
  if (role == Qt::FontRole && section == TQslMgrForm::kKeyColumn) return keyFont_;
  return {};
}

// ---- Window

TQslMgrForm::TQslMgrForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TQslMgrForm>()) {
  file_.Open(DataSetPath(kQslManagerFileName));
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setModal(false);
  setProperty("helpContext", kHelpContext);
  QFont keyFont = ui->QslGrid->font();
  keyFont.setBold(true);
  model_ = std::make_unique<TQslManagerModel>(file_, keyFont);
  ui->QslGrid->setModel(model_.get());
  for (int c = 0; c < kQslColumns; ++c) ui->QslGrid->setColumnWidth(c, kColumnWidths[c]);

  FormPopupMenu = new QMenu(this);
  FormPopupMenu->setObjectName("FormPopupMenu");
  FormPopupMenu->addAction(ui->CloseItem);
  addAction(ui->CloseItem);
  connect(ui->CloseItem, &QAction::triggered, this, &TQslMgrForm::CloseItemClick);
  const auto popup = [this](QWidget* w) {
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { FormPopupMenu->popup(w->mapToGlobal(at)); });
  };
  popup(this);
  popup(ui->QslGrid);
  connect(ui->QslGrid, &TDrawGrid::RowDoubleClicked, this, &TQslMgrForm::QslGridDblClick);

  setFixedSize(402, 296);
}

TQslMgrForm::~TQslMgrForm() {
  ui->QslGrid->setModel(nullptr);
  file_.Close();
}

void TQslMgrForm::SetRowToShow(int32_t record) {
  rowToShow_ = record;
  if (isVisible()) ShowRowToShow();
}

void TQslMgrForm::ShowRowToShow() {
  if (rowToShow_ <= 0) return;
  const int32_t row = rowToShow_;
  rowToShow_ = 0;
  if (row >= ui->QslGrid->RowCount()) return;
  ui->QslGrid->SetTopRow(row);
  ui->QslGrid->SelectRow(row);
}

bool TQslMgrForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) ShowRowToShow();
  return QDialog::event(event);
}

void TQslMgrForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ShowRowToShow();
}

void TQslMgrForm::QslGridDblClick(int32_t row) {
  std::string call;
  try {
    call = file_.LookupCallOfRow(row);
  } catch (const EQslFileError& e) {
    ShowErrorBox(QString::fromStdString(e.what()));
    return;
  }
  if (call.empty()) return;
  emit FindCallRequested(FromData(call));
  hide();
}

void TQslMgrForm::CloseItemClick() { hide(); }
