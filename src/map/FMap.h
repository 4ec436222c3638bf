#pragma once
// The map window "Map view": the entry's own map with its zoom chain (parents), the animated ring
// on the entry's position, heading and distance from the user's locator, fit to window and
// printing; and the beacon mode the beacon scheduler uses on the world map.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "map/UMapStream.h"

class QMenu;
class QPrinter;
class QTimer;
class TLocationShape;
class TStationsShape;

namespace Ui {
class TMapForm;
}

class TMapForm : public QWidget {
  Q_OBJECT

 public:
  using TLeaveCallback = std::function<void(TMapForm*)>;
  static constexpr int kHelpContext = 10015;
  // Diameter of the printed ring, in map pixels.
  static constexpr int kPrintedRing = 30;

  // FormCreate: opens the map stream on the data file with the directory at mapDirOffset; throws
  // EMapError ("Can not open MapDataFile" + code) when it cannot. useKm: distances in km, else
  // miles.
  TMapForm(const std::string& dataFilePath, int64_t mapDirOffset, bool fitAlways, bool useKm,
           QWidget* parent = nullptr);
  ~TMapForm() override;

  // Creation finished: the main window and the beacon scheduler call ShowEntry only then.
  bool Ready() const { return ready_; }

  void ShowEntry(int mapNr, const QString& call, const QString& homeLocator,
                 const QString& entryLocator);
  void ShowBeacon(const QString& call, const QString& beaconLocator, TLeaveCallback leave,
                  const QString& homeLocator, const QString& captionSuffix);
  bool BeaconMode() const { return beaconMode_; }
  // Ends beacon mode (caption back, the leave callback called once and cleared).
  void EndBeaconMode() { LeaveBeaconMode(); }
  // Ticks (or clears) the Show check box as the user would, starting or stopping the ring.
  void SetShowLocation(bool on);
  // Prints what the window shows (PrintBtnClick after its dialog): the map at its physical size on
  // a 96-dpi screen with the ring where the window draws one, and the call, heading and distance
  // under it. Throws EMapError when no map is loaded.
  void PrintMap(QPrinter& printer);
  // The map as printed: the picture with the ring when the window marks the point.
  QImage PrintedPicture() const;
  // The line under the printed map: the call, and heading and distance where the window shows
  // them.
  QString PrintedCaption() const;

  // State, for the windows that use it and for tests.
  int CurrentMap() const { return currentMap_; }
  const std::vector<int>& Chain() const { return chain_; }
  int ZoomIndex() const { return zoomIndex_; }
  bool RingShown() const { return ringShown_; }
  int RingSize() const { return ringSize_; }
  bool Located() const { return located_; }
  TPixel Pixel() const { return pixel_; }
  const QImage& MapPicture() const { return picture_; }
  // Scroll position of the map area (pixels of the map at its top left) and the visible size.
  QPoint ScrollPosition() const;
  QSize VisibleMapSize() const;
  void SetUseKm(bool on) { useKm_ = on; }

  // Stations heard on the air (the band activity window): a dot and the call at each locator on
  // the map shown, the world map when none is shown yet. An empty list removes them.
  struct TStationMark {
    QString call;
    QString locator;
    QColor colour;
  };
  void ShowStations(const std::vector<TStationMark>& stations);
  // The stations drawn on the map shown (those it locates).
  int StationsDrawn() const;

 public slots:
  void ZoomInBtnClick();
  void ZoomOutBtnClick();
  void PrintBtnClick();
  void FitAlwaysChkBoxClick();
  void ShowLocationChkBoxClick();
  void BlinkTimerTimer();
  void CloseWindowItemClick();

 signals:
  // The user changed "Fit window" (the program-wide MapFitAlways setting).
  void FitAlwaysChanged(bool on);
  // The user switched the location display off (the beacon scheduler leaves its follow mode).
  void LocationDisplayOff();
  // A location (entry or beacon) was taken over, with its call.
  void LocationShown(const QString& call);

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Kept inside the screen's available area.
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowLocation(int mapNr, const QString& homeLocator, const QString& entryLocator,
                    const QString& call);
  void ShowMap(int n);
  void ZoomTo(int i);
  void SetZoom(int i);
  void StartMarker();
  void StopMarker();
  void FitWindow();
  void LeaveBeaconMode();
  void SetCaption();

  std::unique_ptr<Ui::TMapForm> ui;
  std::unique_ptr<TMapStream> stream_;
  TLocationShape* LocationShape = nullptr;
  TStationsShape* StationsShape = nullptr;
  std::vector<TStationMark> stations_;
  void PlaceStations();
  QTimer* BlinkTimer = nullptr;
  QMenu* PopupMenu = nullptr;
  bool ready_ = false;
  std::vector<int> chain_;
  int zoomIndex_ = 1;
  int currentMap_ = 0;
  std::string homeLocator_, entryLocator_, call_;
  double pointLon_ = 0, pointLat_ = 0;
  bool pointValid_ = false;
  TPixel pixel_;
  bool located_ = false;
  int32_t markerClass_ = 0;
  int precision_ = 0;
  int ringSize_ = 5;
  bool ringShown_ = false;
  bool useKm_ = true;
  bool beaconMode_ = false;
  TLeaveCallback leave_;
  QString captionSuffix_;
  QString shownCaption_;
  QImage picture_;
  bool dragging_ = false;
  QPoint dragFrom_, dragScroll_;
};
