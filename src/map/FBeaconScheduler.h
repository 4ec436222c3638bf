#pragma once
// The beacon scheduler "Beacon scheduler": the 3-minute schedule of the 18 HF beacons on five
// bands, the beacon transmitting now on the chosen band highlighted every second, a beacon shown
// on the world map, and follow mode (the map window shows the active beacon as it changes).
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "map/UBeacons.h"

class QMenu;
class QTimer;
class TMapForm;

namespace Ui {
class TBeaconSchedulerForm;
}

class TBeaconSchedulerForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10018;
  // map: the map window, or null when the edition has no maps; homeLocator: the user's own
  // locator of the settings; clock: the local time (tests set it).
  TBeaconSchedulerForm(TMapForm* map, std::function<QString()> homeLocator, TClock clock,
                       QWidget* parent = nullptr);
  ~TBeaconSchedulerForm() override;

  const TBeaconSchedule& Schedule() const { return schedule_; }
  // One update, as the timer makes it every second.
  void UpdateTimerTimer();
  QString CellText(int row, int column) const;
  int SelectedRow() const;
  int SelectedColumn() const;

 public slots:
  void MapBtnClick();
  void ShowOnMapItemClick();
  void CloseItemClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BeaconGridMouseUp(Qt::MouseButton button, const QPoint& at);
  bool MapAvailable() const;
  void SetRowTips();

  std::unique_ptr<Ui::TBeaconSchedulerForm> ui;
  QPointer<TMapForm> map_;  // the map may go first at the end of the program
  std::function<QString()> homeLocator_;
  TClock clock_;
  TBeaconSchedule schedule_;
  int menuRow_ = 0;
  QTimer* UpdateTimer = nullptr;
  QMenu* GridMenu = nullptr;
  QMenu* BeaconMenu = nullptr;
};
