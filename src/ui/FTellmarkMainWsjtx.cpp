// Main window: the "Band activity" window of WSJT-X's decodes, its entries shown here on a
// double-click and its stations on the map window.
#include <QAction>
#include <QMenu>

#include "callbook/UCallbook.h"
#include "map/FMap.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UMessages.h"
#include "wsjtx/FBandActivity.h"
#include "wsjtx/UWsjtxSettings.h"

void TCallViewForm::SetUpBandActivity() {
  if (findChild<QAction*>("ViewBandActivityItem")) return;
  auto* action = new QAction("&Band activity...", this);
  action->setObjectName("ViewBandActivityItem");
  ui->ViewMenu->insertAction(nullptr, action);
  connect(action, &QAction::triggered, this, &TCallViewForm::ViewBandActivityItemClick);
}

void TCallViewForm::ViewBandActivityItemClick() {
  if (!bandForm_) {
    try {
      auto callbook = std::make_shared<TCallbook>();
      callbook->Open();
      bandCallbook_ = std::move(callbook);
    } catch (const std::exception& e) {
      ShowHandlingError(e);
      return;
    }
    bandForm_ = new TBandActivityForm(*bandCallbook_, this);
    bandForm_->SetMyLocator(GetMyLocator());
    connect(bandForm_, &TBandActivityForm::CallChosen, this, [this](const QString& call) {
      FindCall(call);
      showNormal();
      raise();
      activateWindow();
    });
    connect(bandForm_, &TBandActivityForm::StationsHeard, this,
            [this](const QVector<TStationHeard>& heard) {
              if (!mapForm_ || !mapForm_->Ready() || !mapForm_->isVisible()) return;
              std::vector<TMapForm::TStationMark> marks;
              for (const TStationHeard& h : heard) marks.push_back({h.call, h.locator, h.colour});
              mapForm_->ShowStations(marks);
            });
    TSettingsFile file(SettingsFilePath());
    file.Load();
    bandForm_->Apply(wsjtx::LoadWsjtxSettings(file));
  }
  bandForm_->SetMyLocator(GetMyLocator());
  bandForm_->showNormal();
  bandForm_->raise();
}
