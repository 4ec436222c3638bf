// Main window: the map window, kept in step with every entry shown.
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QPushButton>
#include <QTime>
#include <cstdio>

#include "dataset/UDataSet.h"
#include "map/FBeaconScheduler.h"
#include "map/FMap.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UMessages.h"

void TCallViewForm::CreateMapForm() {
  SetUpBandActivity();
  connect(ui->ViewBeaconSchedulerItem, &QAction::triggered, this,
          &TCallViewForm::ViewBeaconSchedulerItemClick, Qt::UniqueConnection);
  ui->ViewBeaconSchedulerItem->setEnabled(true);
  const TEdition& ed = CurrentEdition();
  if (ed.mapDirOffset <= 0) return;  // an edition without maps
  const bool useKm = QLocale::system().measurementSystem() != QLocale::ImperialUSSystem;
  try {
    mapForm_ =
        new TMapForm(DataSetPath(kDataFileName), ed.mapDirOffset, mapFitAlways_, useKm, this);
  } catch (const std::exception& e) {
    mapForm_ = nullptr;
    ShowErrorBox(QString::fromStdString(e.what()));
    return;
  }
  connect(mapForm_, &TMapForm::FitAlwaysChanged, this, [this](bool on) { mapFitAlways_ = on; });
  connect(ui->MapBtn, &QPushButton::clicked, this, &TCallViewForm::MapBtnClick);
  connect(ui->ViewMapItem, &QAction::triggered, this, &TCallViewForm::ViewMapItemClick);
  connect(this, &TCallViewForm::EntryShown, this, &TCallViewForm::ShowEntryOnMap);
  ui->ViewMapItem->setEnabled(true);
  ui->MapBtn->setEnabled(mapNumber_ != 0);
}

void TCallViewForm::ShowEntryOnMap() {
  if (!created_ || !mapForm_ || !mapForm_->Ready()) return;
  try {
    mapForm_->ShowEntry(mapNumber_, shownCall_, GetMyLocator(), shownLocator_);
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
}

void TCallViewForm::ViewMapItemClick() {
  if (!mapForm_ || !mapForm_->Ready()) return;
  mapForm_->showNormal();
  mapForm_->raise();
  try {
    mapForm_->ShowEntry(mapNumber_, shownCall_, GetMyLocator(), shownLocator_);
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
}

void TCallViewForm::MapBtnClick() { ViewMapItemClick(); }

namespace {
// Lets the ring of a map window grow to a readable size.
void WaitForRing(const TMapForm* map) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 3000 && (!map->RingShown() || map->RingSize() < 30))
    QApplication::processEvents(QEventLoop::AllEvents, 20);
}
void Save(QWidget* w, const QString& file) {
  QApplication::processEvents();
  if (!w->grab().save(file)) std::fprintf(stderr, "tellmark: cannot write %s\n", qPrintable(file));
}
}  // namespace

void TCallViewForm::TakeMapScreenshot(const QString& file, bool world) {
  if (!mapForm_) return;
  ViewMapItemClick();
  if (world)
    while (mapForm_->ZoomIndex() < static_cast<int>(mapForm_->Chain().size()))
      mapForm_->ZoomOutBtnClick();
  WaitForRing(mapForm_);
  Save(mapForm_, file);
}

void TCallViewForm::TakeBeaconScreenshots(const QString& dir) {
  ViewBeaconSchedulerItemClick();
  Save(beaconForm_, dir + "/beacons.png");
  if (!mapForm_) return;
  beaconForm_->MapBtnClick();
  beaconForm_->UpdateTimerTimer();
  WaitForRing(mapForm_);
  Save(mapForm_, dir + "/map-beacon.png");
  beaconForm_->close();
}

void TCallViewForm::ViewBeaconSchedulerItemClick() {
  if (!beaconForm_) {
    const auto now = [] {
      const QTime t = QTime::currentTime();
      return TLocalTime{t.hour(), t.minute(), t.second()};
    };
    beaconForm_ = new TBeaconSchedulerForm(
        mapForm_, [this] { return GetMyLocator(); }, now, this);
  }
  beaconForm_->showNormal();
  beaconForm_->raise();
}
