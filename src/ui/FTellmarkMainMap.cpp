// Main window: the map window, kept in step with every entry shown.
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QPushButton>
#include <cstdio>

#include "dataset/UDataSet.h"
#include "map/FMap.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UMessages.h"

void TCallViewForm::CreateMapForm() {
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
    ShowErrorBox(QString("Error during handling: ") + e.what());
  }
}

void TCallViewForm::ViewMapItemClick() {
  if (!mapForm_ || !mapForm_->Ready()) return;
  mapForm_->showNormal();
  mapForm_->raise();
  try {
    mapForm_->ShowEntry(mapNumber_, shownCall_, GetMyLocator(), shownLocator_);
  } catch (const std::exception& e) {
    ShowErrorBox(QString("Error during handling: ") + e.what());
  }
}

void TCallViewForm::MapBtnClick() { ViewMapItemClick(); }

void TCallViewForm::TakeMapScreenshot(const QString& file, bool world) {
  if (!mapForm_) return;
  ViewMapItemClick();
  if (world)
    while (mapForm_->ZoomIndex() < static_cast<int>(mapForm_->Chain().size()))
      mapForm_->ZoomOutBtnClick();
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 3000 && (!mapForm_->RingShown() || mapForm_->RingSize() < 30))
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  if (!mapForm_->grab().save(file))
    std::fprintf(stderr, "tellmark: cannot write %s\n", qPrintable(file));
}
