#include "map/FBeaconScheduler.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>

#include "map/FMap.h"
#include "map/UMapGeo.h"
#include "map/UMapStream.h"
#include "ui_FBeaconScheduler.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"

namespace {
constexpr int kRows = kBeaconCount + 1, kColumns = kBandCount + 2;
constexpr int kRowHeight = 20;
}  // namespace

TBeaconSchedulerForm::TBeaconSchedulerForm(TMapForm* map, std::function<QString()> homeLocator,
                                           TClock clock, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui(std::make_unique<Ui::TBeaconSchedulerForm>()),
      map_(map),
      homeLocator_(std::move(homeLocator)),
      clock_(std::move(clock)) {
  ui->setupUi(this);
  // Single fixed border, system menu and minimize box only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  UpdateTimer = new QTimer(this);
  UpdateTimer->setObjectName("UpdateTimer");
  UpdateTimer->setInterval(1000);
  connect(UpdateTimer, &QTimer::timeout, this, &TBeaconSchedulerForm::UpdateTimerTimer);
  GridMenu = new QMenu(this);
  GridMenu->setObjectName("GridMenu");
  GridMenu->addAction(ui->ShowOnMapItem);
  BeaconMenu = new QMenu(this);
  BeaconMenu->setObjectName("BeaconMenu");
  BeaconMenu->addAction(ui->CloseItem);
  addAction(ui->CloseItem);
  connect(ui->ShowOnMapItem, &QAction::triggered, this, &TBeaconSchedulerForm::ShowOnMapItemClick);
  connect(ui->CloseItem, &QAction::triggered, this, &TBeaconSchedulerForm::CloseItemClick);
  connect(ui->MapBtn, &QPushButton::clicked, this, &TBeaconSchedulerForm::MapBtnClick);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { BeaconMenu->popup(mapToGlobal(at)); });
  setProperty("helpContext", kHelpContext);  // F1
  connect(ui->HelpBtn, &QPushButton::clicked, this, [] { ShowHelp(kHelpContext); });
  if (map_)
    connect(map_.data(), &TMapForm::LocationDisplayOff, this,
            [this] { schedule_.SetFollow(false); });

  // FormCreate: headers, locations and calls, sizes, one update, the timer.
  QTableWidget* g = ui->BeaconGrid;
  g->setRowCount(kRows);
  g->setColumnCount(kColumns);
  g->horizontalHeader()->hide();
  g->verticalHeader()->hide();
  g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  g->setEditTriggers(QAbstractItemView::NoEditTriggers);
  g->setSelectionMode(QAbstractItemView::SingleSelection);
  g->setSelectionBehavior(QAbstractItemView::SelectItems);
  g->setFocusPolicy(Qt::NoFocus);
  g->viewport()->installEventFilter(this);
  for (int r = 0; r < kRows; ++r) {
    g->setRowHeight(r, kRowHeight);
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem;
      const bool fixed = r == 0 || c < 2;
      if (fixed) {
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(palette().button());
      }
      g->setItem(r, c, item);
    }
  }
  g->item(0, 0)->setText("QTH");
  g->item(0, 1)->setText("Call");
  for (int b = 1; b <= kBandCount; ++b)
    g->item(0, b + 1)->setText(QString::fromStdString(BandCaption(b)));
  for (int r = 1; r <= kBeaconCount; ++r) {
    g->item(r, 0)->setText(QString::fromStdString(BeaconText(r, bkLocation)));
    g->item(r, 1)->setText(QString::fromStdString(BeaconText(r, bkCall)));
  }
  // 130 and 64 pixels at 96 dpi; wider only when the font needs more room.
  const QFontMetrics fm(g->font());
  int first = 130, other = 64;
  for (int r = 0; r < kRows; ++r) {
    first = std::max(first, fm.horizontalAdvance(g->item(r, 0)->text()) + 12);
    for (int c = 1; c < kColumns; ++c)
      other = std::max(other, fm.horizontalAdvance(g->item(r, c)->text()) + 12);
  }
  other = std::max(other, fm.horizontalAdvance("00:00:00") + 12);
  g->setColumnWidth(0, first);
  for (int c = 1; c < kColumns; ++c) g->setColumnWidth(c, other);
  const int frame = 2 * g->frameWidth();
  g->setFixedSize(first + other * (kColumns - 1) + frame, kRows * kRowHeight + frame);
  setFixedSize(
      g->width() + layout()->contentsMargins().left() + layout()->contentsMargins().right(),
      sizeHint().height());
  UpdateTimerTimer();
  UpdateTimer->start();
}

TBeaconSchedulerForm::~TBeaconSchedulerForm() {
  // The map keeps no callback into a window that is gone.
  if (map_) map_->EndBeaconMode();
}

bool TBeaconSchedulerForm::MapAvailable() const { return map_ && map_->Ready(); }

QString TBeaconSchedulerForm::CellText(int row, int column) const {
  const QTableWidgetItem* item = ui->BeaconGrid->item(row, column);
  return item ? item->text() : QString();
}

int TBeaconSchedulerForm::SelectedRow() const { return ui->BeaconGrid->currentRow(); }
int TBeaconSchedulerForm::SelectedColumn() const { return ui->BeaconGrid->currentColumn(); }

void TBeaconSchedulerForm::UpdateTimerTimer() {
  const TBeaconUpdate u = schedule_.Update(clock_());
  QTableWidget* g = ui->BeaconGrid;
  if (u.refilled)
    for (int r = 1; r <= kBeaconCount; ++r)
      for (int b = 1; b <= kBandCount; ++b)
        g->item(r, b + 1)->setText(QString::fromStdString(schedule_.Cell(r, b)));
  g->setCurrentCell(u.activeRow, u.activeColumn);
  if (u.tellMap && MapAvailable()) {
    try {
      map_->ShowBeacon(
          QString::fromStdString(u.call), QString::fromStdString(u.locator),
          [this](TMapForm*) { schedule_.SetFollow(false); }, homeLocator_(),
          QString::fromStdString("- currently active beacon on " + BandCaption(schedule_.Band())));
    } catch (const std::exception&) {
      // A map that cannot be shown leaves the schedule running.
    }
  }
}

void TBeaconSchedulerForm::SetRowTips() {
  const std::string home = homeLocator_().toStdString();
  for (int r = 1; r <= kBeaconCount; ++r) {
    std::string tip =
        BeaconText(r, bkCall) + "  " + BeaconText(r, bkLocator) + "  " + BeaconText(r, bkLocation);
    TEntf entf;
    if (GetEntf(home, BeaconText(r, bkLocator), entf))
      tip += "\n" + HeadingText(entf.heading) + ", " +
             DistanceText(entf.distanceKm,
                          QLocale::system().measurementSystem() != QLocale::ImperialUSSystem);
    for (int c = 0; c < 2; ++c) ui->BeaconGrid->item(r, c)->setToolTip(QString::fromStdString(tip));
  }
}

void TBeaconSchedulerForm::BeaconGridMouseUp(Qt::MouseButton button, const QPoint& at) {
  QTableWidget* g = ui->BeaconGrid;
  if (button == Qt::LeftButton) {
    schedule_.SetBand(TBeaconSchedule::BandOfColumn(g->columnAt(at.x())));
  } else if (button == Qt::RightButton) {
    const int row = g->rowAt(at.y());
    if (row >= 1 && row <= kBeaconCount) {
      menuRow_ = row;
      GridMenu->popup(g->viewport()->mapToGlobal(at));
    }
  }
}

bool TBeaconSchedulerForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->BeaconGrid->viewport()) {
    if (event->type() == QEvent::MouseButtonRelease) {
      const auto* e = static_cast<QMouseEvent*>(event);
      BeaconGridMouseUp(e->button(), e->position().toPoint());
      return true;
    }
    // The highlight is the schedule's: clicks do not move it.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TBeaconSchedulerForm::ShowOnMapItemClick() {
  if (!MapAvailable() || menuRow_ < 1) return;
  map_->showNormal();
  map_->raise();
  try {
    map_->ShowEntry(kWorldMapNr, QString::fromStdString(BeaconText(menuRow_, bkCall)),
                    homeLocator_(), QString::fromStdString(BeaconText(menuRow_, bkLocator)));
    map_->SetShowLocation(true);
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
}

void TBeaconSchedulerForm::MapBtnClick() {
  schedule_.SetFollow(true);
  if (!MapAvailable()) return;
  map_->showNormal();
  map_->raise();
}

void TBeaconSchedulerForm::CloseItemClick() { close(); }

void TBeaconSchedulerForm::showEvent(QShowEvent* event) {
  SetRowTips();
  UpdateTimer->start();
  QWidget::showEvent(event);
}

void TBeaconSchedulerForm::closeEvent(QCloseEvent* event) {
  UpdateTimer->stop();
  schedule_.SetFollow(false);
  if (map_) map_->EndBeaconMode();
  event->accept();
}
