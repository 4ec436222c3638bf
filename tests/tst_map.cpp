// The map window on a data file of three chained maps (zoom buttons, the ring and its marker
// class, the Show check box, a hidden window, beacon mode, printing), and the main window's map
// commands on editions with and without maps.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>
#include <numbers>

#include "WindowTestEnv.h"
#include "builder/UEditionWriter.h"
#include "builder/UMapRaster.h"
#include "builder/UMapSet.h"
#include "dataset/UDataSet.h"
#include "map/FBeaconScheduler.h"
#include "map/FMap.h"
#include "map/UMapStream.h"
#include "storage/UIndexEngine.h"
#include "ui/FTellmarkMain.h"
#include "widgets/UHelp.h"

namespace {

struct TTestMap {
  int parent;
  int32_t markerClass;
  double west, east, south, north;
  int width, height;
};
// 1: 0..10 E, 40..50 N (marker class 0) -> 2: Europe-sized (class 1) -> 3: the world (class 1);
// maps 4..144 are the world again (144 is the beacon scheduler's).
const TTestMap kMaps[] = {{2, 0, 0, 10, 40, 50, 100, 100},
                          {3, 1, -20, 30, 30, 60, 100, 60},
                          {0, 1, -180, 180, -90, 90, 72, 36}};
constexpr int64_t kDirAt = 512;

// The three maps; the world (maps 3..144) as wide as asked.
std::string WriteThreeMaps(const std::string& dir, int worldWidth = 72,
                           const std::string& name = "thedata.dat") {
  std::string images;
  std::string directory(kMapDirectorySize, '\0');
  directory[0] = static_cast<char>(kWorldMapNr);
  int64_t at = kDirAt + kMapDirectorySize;
  for (int k = 0; k < 3; ++k) {
    TTestMap m = kMaps[k];
    if (k == 2) m.width = worldWidth, m.height = worldWidth / 2;
    TMapCanvas c(m.width, m.height, static_cast<uint8_t>(k));
    const std::string bmp = EncodeBmpRle8(c, {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}});
    TMapEntry e;
    e.imageOffset = static_cast<int32_t>(at + static_cast<int64_t>(images.size()));
    e.imageSize = static_cast<int32_t>(bmp.size());
    e.parent = static_cast<uint8_t>(m.parent);
    e.markerClass = m.markerClass;
    e.lon1 = m.west, e.x1 = 0, e.lon2 = m.east, e.x2 = m.width;
    e.lat1 = m.north, e.y1 = 0, e.lat2 = m.south, e.y2 = m.height;
    directory.replace(1 + k * kMapEntrySize, kMapEntrySize, EncodeMapEntry(e));
    images += bmp;
    if (k == 2)
      for (int n = 4; n <= kWorldMapNr; ++n)
        directory.replace(1 + (n - 1) * kMapEntrySize, kMapEntrySize, EncodeMapEntry(e));
  }
  const std::string path = dir + "/" + name;
  QFile f(QString::fromStdString(path));
  f.open(QIODevice::WriteOnly);
  f.write(QByteArray(kDirAt, 'z'));
  f.write(directory.data(), static_cast<qint64>(directory.size()));
  f.write(images.data(), static_cast<qint64>(images.size()));
  return path;
}

// Distance in km on the sphere of 111.12 km per degree between the centres of two 6-character
// locators' subsquares, and the initial heading, worked out here from the letters.
struct TSphere {
  double km = 0, heading = 0;
};
TSphere OnSphere(const QString& from, const QString& to) {
  const auto centre = [](const QString& l, double& lon, double& lat) {
    const QByteArray u = l.toUpper().toLatin1();
    lon = -180 + 20.0 * (u[0] - 'A') + 2.0 * (u[2] - '0') + (u[4] - 'A' + 0.5) * 5 / 60;
    lat = -90 + 10.0 * (u[1] - 'A') + (u[3] - '0') + (u[5] - 'A' + 0.5) * 2.5 / 60;
  };
  constexpr double kDeg = std::numbers::pi / 180;
  double lon1, lat1, lon2, lat2;
  centre(from, lon1, lat1);
  centre(to, lon2, lat2);
  const double p1 = lat1 * kDeg, p2 = lat2 * kDeg, dl = (lon2 - lon1) * kDeg;
  const double h = std::pow(std::sin((p2 - p1) / 2), 2) +
                   std::cos(p1) * std::cos(p2) * std::pow(std::sin(dl / 2), 2);
  TSphere s;
  s.km = 2 * std::asin(std::sqrt(h)) / kDeg * 111.12;
  s.heading = std::fmod(
      std::atan2(std::sin(dl) * std::cos(p2),
                 std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl)) /
              kDeg +
          360,
      360);
  return s;
}

}  // namespace

class TstMap : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestDir> dir_, iniDir_;
  std::string dataFile_;
  QString ini_;
  std::unique_ptr<TMapForm> form_;
  QList<TMessageRequest> boxes_;

  template <class T>
  T* W(const char* name) const {
    T* w = form_->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  TMapForm* Open(bool visible = true, const std::string& dataFile = {}) {
    form_ =
        std::make_unique<TMapForm>(dataFile.empty() ? dataFile_ : dataFile, kDirAt, false, true);
    if (visible) {
      form_->show();
      QTest::qWait(10);
    }
    return form_.get();
  }
  // The ring's timer ticks every 250 ms: generous for a loaded machine when it must come, short
  // when it must not.
  bool RingAppears() {
    return QTest::qWaitFor([this] { return form_->RingShown(); }, 3000);
  }
  bool RingStaysOff() {
    return !QTest::qWaitFor([this] { return form_->RingShown(); }, 600);
  }

 private slots:
  void initTestCase() {
    dir_ = std::make_unique<TestDir>();
    dataFile_ = WriteThreeMaps(dir_->path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idOK);
    });
  }
  void cleanupTestCase() { SetMessageHandler({}); }
  void init() { boxes_.clear(); }
  void cleanup() { form_.reset(); }

  void createsWithEmptyChainAndRefusesAMissingFile() {
    TMapForm* f = Open();
    QVERIFY(f->Ready());
    QCOMPARE(f->windowTitle(), QString("Map view"));
    QCOMPARE(f->CurrentMap(), 0);
    QVERIFY(!W<QPushButton>("ZoomInBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("ZoomOutBtn")->isEnabled());
    try {
      TMapForm missing(dir_->file("none.dat"), 0, false, true);
      QFAIL("no error");
    } catch (const EMapError& e) {
      QCOMPARE(QString(e.what()), QString("Can not open MapDataFile2"));
    }
  }

  void zoomButtonsWalkTheChainOfThree() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QCOMPARE(f->Chain(), std::vector<int>({1, 2, 3}));
    QCOMPARE(f->CurrentMap(), 1);
    QCOMPARE(f->MapPicture().size(), QSize(100, 100));
    auto* in = W<QPushButton>("ZoomInBtn");
    auto* out = W<QPushButton>("ZoomOutBtn");
    QVERIFY(!in->isEnabled());
    QVERIFY(out->isEnabled());
    QTest::mouseClick(out, Qt::LeftButton);
    QCOMPARE(f->CurrentMap(), 2);
    QVERIFY(in->isEnabled());
    QVERIFY(out->isEnabled());
    QTest::mouseClick(out, Qt::LeftButton);
    QCOMPARE(f->CurrentMap(), 3);
    QVERIFY(!out->isEnabled());
    QCOMPARE(f->MapPicture().size(), QSize(72, 36));
    QTest::mouseClick(in, Qt::LeftButton);
    QCOMPARE(f->CurrentMap(), 2);
    QCOMPARE(W<QCheckBox>("ShowLocationChkBox")->text(), QString("&Show DL1ABC"));
    QVERIFY(W<QLabel>("HeadingText")->text().startsWith("Heading "));
    QVERIFY(W<QLabel>("DistanceText")->text().endsWith(" km"));
  }

  void zoomOntoADamagedImageKeepsTheMapAndSaysWhy() {
    // Map 2's image loses its bitmap signature.
    QFile in(QString::fromStdString(dataFile_));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    const TMapEntry second = DecodeMapEntry(reinterpret_cast<const uint8_t*>(bytes.constData()) +
                                            kDirAt + 1 + kMapEntrySize);
    bytes[second.imageOffset] = 'X';
    const std::string damaged = dir_->file("damaged.dat");
    QFile out(QString::fromStdString(damaged));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    TMapForm* f = Open(true, damaged);
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QCOMPARE(f->CurrentMap(), 1);
    QTest::mouseClick(W<QPushButton>("ZoomOutBtn"), Qt::LeftButton);
    QCOMPARE(f->CurrentMap(), 1);
    QCOMPARE(boxes_.size(), 1);
    QVERIFY(boxes_[0].text.contains("Map 2 is not a readable bitmap"));
    QVERIFY(W<QPushButton>("ZoomOutBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("ZoomInBtn")->isEnabled());
  }

  void ringSitsOnThePointAndGrowsInFives() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");  // 8.04 E, 45.04 N on map 1
    QVERIFY(f->Located());
    QCOMPARE(f->Pixel().x, 80);
    QCOMPARE(f->Pixel().y, 50);
    QVERIFY(RingAppears());
    auto* shape = form_->findChild<QWidget*>("LocationShape");
    QVERIFY(shape && shape->isVisible());
    // Each tick draws the ring at the next size, 5 to 70 in steps of 5, then 5 again.
    for (int tick = 0; tick < 20; ++tick) {
      const int next = f->RingSize();
      f->BlinkTimerTimer();
      QCOMPARE(shape->width(), next);
      QCOMPARE(shape->geometry().topLeft(), QPoint(80 - next / 2, 50 - next / 2));
      QCOMPARE(f->RingSize(), next == 70 ? 5 : next + 5);
    }
  }

  void approximateLocatorIsMarkedOnlyOnMarkerClassOne() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45");  // approximate, map 1 has class 0
    QVERIFY(f->Located());
    QVERIFY(RingStaysOff());
    QTest::mouseClick(W<QPushButton>("ZoomOutBtn"), Qt::LeftButton);  // map 2, class 1
    QVERIFY(RingAppears());
    f->ShowEntry(1, "DL1ABC", "JO62QM", "jn45aa");  // lower case: approximate too
    QVERIFY(RingStaysOff());
    f->ShowEntry(1, "DL1ABC", "JO62QM", "J");  // no locator: check box off, no ring
    QVERIFY(!W<QCheckBox>("ShowLocationChkBox")->isEnabled());
    QVERIFY(RingStaysOff());
  }

  void uncheckingShowStopsTheRingAtOnce() {
    TMapForm* f = Open();
    QSignalSpy off(f, &TMapForm::LocationDisplayOff);
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QVERIFY(RingAppears());
    auto* show = W<QCheckBox>("ShowLocationChkBox");
    QTest::mouseClick(show, Qt::LeftButton);
    QVERIFY(!show->isChecked());
    QVERIFY(!f->RingShown());
    QVERIFY(!form_->findChild<QWidget*>("LocationShape")->isVisible());
    QCOMPARE(off.count(), 1);
    QTest::qWait(400);
    QVERIFY(!f->RingShown());
    QTest::mouseClick(show, Qt::LeftButton);
    QCOMPARE(f->RingSize(), 5);  // restarts at 5
    QVERIFY(RingAppears());
  }

  void hiddenWindowLoadsNoMapAndMapZeroKeepsTheMap() {
    TMapForm* f = Open(false);
    f->ShowEntry(1, "W1AW", "JO62QM", "FN31PR");
    QCOMPARE(f->CurrentMap(), 0);
    QCOMPARE(W<QCheckBox>("ShowLocationChkBox")->text(), QString("&Show W1AW"));
    QVERIFY(W<QLabel>("DistanceText")->text().startsWith("Distance "));
    f->show();
    f->ShowEntry(2, "W1AW", "JO62QM", "JN45AA");
    QCOMPARE(f->CurrentMap(), 2);
    f->ShowEntry(0, "K1ABC", "JO62QM", "FN42");
    QCOMPARE(f->CurrentMap(), 2);  // the previous map stays, with no ring
    QCOMPARE(W<QCheckBox>("ShowLocationChkBox")->text(), QString("&Show K1ABC"));
    QVERIFY(RingStaysOff());
    // Without a home locator the heading and distance are hidden.
    f->ShowEntry(2, "K1ABC", "", "JN45AA");
    QVERIFY(W<QLabel>("HeadingText")->isHidden());
    QVERIFY(W<QLabel>("DistanceText")->isHidden());
  }

  void beaconModeEndsWithTheNextEntryOrClosingAndCallsBack() {
    TMapForm* f = Open(false);
    int left = 0;
    f->ShowBeacon(
        "4U1UN", "FN30AS", [&left](TMapForm*) { ++left; }, "JO62QM",
        "- currently active beacon on 14100 kHz");
    QCOMPARE(f->windowTitle(), QString("Map view - currently active beacon on 14100 kHz"));
    QVERIFY(f->BeaconMode());
    QVERIFY(W<QCheckBox>("ShowLocationChkBox")->isChecked());
    f->show();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QCOMPARE(left, 1);
    QCOMPARE(f->windowTitle(), QString("Map view"));
    QVERIFY(!f->BeaconMode());
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QCOMPARE(left, 1);
    f->hide();
    f->ShowBeacon(
        "4U1UN", "FN30AS", [&left](TMapForm*) { ++left; }, "JO62QM", " - x");
    f->show();
    f->close();
    QCOMPARE(left, 2);
    QCOMPARE(f->windowTitle(), QString("Map view"));
  }

  void schedulerFollowTellsTheMapOnlyWhenTheCallChanges() {
    TMapForm* map = Open(false);
    QSignalSpy shown(map, &TMapForm::LocationShown);
    TLocalTime now{10, 4, 25};
    TBeaconSchedulerForm s(
        map, [] { return QString("JO62QM"); }, [&now] { return now; });
    QCOMPARE(s.windowTitle(), QString("Beacon scheduler"));
    QCOMPARE(s.SelectedRow(), 9);  // Hong Kong on 14100 kHz
    QCOMPARE(s.SelectedColumn(), 2);
    QCOMPARE(s.CellText(9, 0), QString("Hong Kong, China"));
    QCOMPARE(s.CellText(1, 2), QString("10:03:00"));
    QCOMPARE(s.CellText(18, 6), QString("10:03:30"));
    QCOMPARE(shown.count(), 0);
    QTest::mouseClick(s.findChild<QPushButton*>("MapBtn"), Qt::LeftButton);
    QVERIFY(map->isVisible());
    QVERIFY(s.Schedule().Follow());
    for (int sec = 25; sec < 60; ++sec) {
      now.second = sec;
      s.UpdateTimerTimer();
    }
    // VR2B at once, then 4S7B, ZS6DN and 5Z4B at 30, 40 and 50 seconds.
    QCOMPARE(shown.count(), 4);
    QCOMPARE(shown.last().at(0).toString(), QString("5Z4B"));
    QCOMPARE(map->CurrentMap(), kWorldMapNr);
    QVERIFY(map->BeaconMode());
    QCOMPARE(map->windowTitle(), QString("Map view - currently active beacon on 14100 kHz"));
    // A click on the 28200 kHz column selects band 5; the highlight moves on the next update.
    QTableWidget* grid = s.findChild<QTableWidget*>("BeaconGrid");
    const QRect cell = grid->visualItemRect(grid->item(3, 6));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(s.Schedule().Band(), 5);
    s.UpdateTimerTimer();
    QCOMPARE(s.SelectedColumn(), 6);
    QCOMPARE(s.SelectedRow(), 8);  // second 59 on band 5: row 6 + 1 - 4 + ... = 8
    QCOMPARE(map->windowTitle(), QString("Map view - currently active beacon on 28200 kHz"));
    // Closing the map leaves follow mode through the leave callback.
    map->close();
    QVERIFY(!s.Schedule().Follow());
    QCOMPARE(map->windowTitle(), QString("Map view"));
    const int before = shown.count();
    now = {10, 5, 10};
    s.UpdateTimerTimer();
    QCOMPARE(shown.count(), before);
  }

  void schedulerShowsOneBeaconAndEndsTheFollow() {
    TMapForm* map = Open();
    TLocalTime now{10, 4, 25};
    TBeaconSchedulerForm s(
        map, [] { return QString("JO62QM"); }, [&now] { return now; });
    s.show();
    s.MapBtnClick();
    s.UpdateTimerTimer();
    QVERIFY(map->BeaconMode());
    QTableWidget* grid = s.findChild<QTableWidget*>("BeaconGrid");
    const QRect cell = grid->visualItemRect(grid->item(3, 0));
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, cell.center());
    auto* menu = s.findChild<QMenu*>("GridMenu");
    QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }, 1000));
    menu->close();
    s.findChild<QAction*>("ShowOnMapItem")->trigger();
    QVERIFY(!map->BeaconMode());
    QVERIFY(!s.Schedule().Follow());
    QCOMPARE(map->findChild<QCheckBox*>("ShowLocationChkBox")->text(), QString("&Show W6WX"));
    QVERIFY(map->findChild<QCheckBox*>("ShowLocationChkBox")->isChecked());
    QCOMPARE(map->CurrentMap(), kWorldMapNr);
    // Switching the location display off ends follow mode too.
    s.MapBtnClick();
    now.second = 31;
    s.UpdateTimerTimer();
    QVERIFY(map->BeaconMode());
    QTest::mouseClick(map->findChild<QCheckBox*>("ShowLocationChkBox"), Qt::LeftButton);
    QVERIFY(!s.Schedule().Follow());
    // Closing the scheduler ends the map's beacon display.
    s.MapBtnClick();
    now.second = 41;
    s.UpdateTimerTimer();
    QVERIFY(map->BeaconMode());
    s.close();
    QVERIFY(!map->BeaconMode());
  }

  void fitWindowTakesThePictureSizeAndTellsTheSetting() {
    TMapForm* f = Open();
    QSignalSpy changed(f, &TMapForm::FitAlwaysChanged);
    f->ShowEntry(2, "DL1ABC", "JO62QM", "JN45AA");  // 100 x 60 pixels
    QCOMPARE(f->size(), QSize(660, 544));
    QTest::mouseClick(W<QCheckBox>("FitAlwaysChkBox"), Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toBool(), true);
    // 350 wide, or as wide as the top bar's buttons need; the bar is 33 high.
    const auto fitted = [&](int height) {
      const int most = std::max(350, W<QWidget>("Bevel")->minimumSizeHint().width());
      return f->height() == height && f->width() >= 350 && f->width() <= most;
    };
    QVERIFY(fitted(60 + 33));
    QTest::mouseClick(W<QPushButton>("ZoomOutBtn"), Qt::LeftButton);  // 72 x 36, fitted again
    QVERIFY(fitted(36 + 33));
  }

  void printsTheMapAtItsScreenSize() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = QString::fromStdString(dir_->file("map.pdf"));
    printer.setOutputFileName(pdf);
    f->PrintMap(printer);
    QVERIFY(QFile(pdf).size() > 500);
    QCOMPARE(printer.docName(), QString("Tellmark Map"));
  }

  // An entry without a map: the map stays, but no ring and no zoom chain of the entry before.
  void entryWithoutMapLeavesNoRingOfTheEntryBefore() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QVERIFY(RingAppears());
    QVERIFY(W<QPushButton>("ZoomOutBtn")->isEnabled());
    f->ShowEntry(0, "K1ABC", "JO62QM", "FN42");
    QCOMPARE(f->CurrentMap(), 1);
    QVERIFY(!f->Located());
    QVERIFY(f->Chain().empty());
    QVERIFY(!W<QPushButton>("ZoomOutBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("ZoomInBtn")->isEnabled());
    QVERIFY(RingStaysOff());
    // Show off and on again brings no ring back to the place of the entry before.
    auto* show = W<QCheckBox>("ShowLocationChkBox");
    QTest::mouseClick(show, Qt::LeftButton);
    QTest::mouseClick(show, Qt::LeftButton);
    QVERIFY(show->isChecked());
    QVERIFY(RingStaysOff());
  }

  // The ring starts only while Show is ticked: not for the next entry, not on another map.
  void noRingWhileShowIsUnticked() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    QVERIFY(RingAppears());
    QTest::mouseClick(W<QCheckBox>("ShowLocationChkBox"), Qt::LeftButton);
    f->ShowEntry(2, "DL2ABC", "JO62QM", "JN48QR");
    QVERIFY(f->Located());
    QVERIFY(RingStaysOff());
    QTest::mouseClick(W<QPushButton>("ZoomOutBtn"), Qt::LeftButton);
    QVERIFY(RingStaysOff());
  }

  // Heading and distance as on the sphere of 111.12 km per degree, in km or in miles as the
  // window was told.
  void headingAndDistanceInKmOrMiles() {
    for (const bool km : {true, false}) {
      form_ = std::make_unique<TMapForm>(dataFile_, kDirAt, false, km);
      form_->show();
      for (const char* target : {"JN45AA", "FN31PR", "RE78TW"}) {
        form_->ShowEntry(1, "X", "JO62QM", target);
        const TSphere s = OnSphere("JO62QM", target);
        const QString want = km ? QString("Distance %1 km").arg(std::lround(s.km))
                                : QString("Distance %1 miles").arg(std::lround(s.km / 1.609));
        QCOMPARE(W<QLabel>("DistanceText")->text(), want);
        QCOMPARE(W<QLabel>("HeadingText")->text(),
                 QString("Heading %1\u00B0").arg(std::lround(s.heading)));
      }
    }
  }

  // A world map wider than the window scrolls: the ring of ZL6B (175.6 E, at the far east of the
  // map) is scrolled into view, and dragging the map moves it.
  void wideMapScrollsTheRingIntoViewAndDrags() {
    const std::string wide = WriteThreeMaps(dir_->path(), 1440, "wide.dat");
    TMapForm* f = Open(true, wide);
    QCOMPARE(f->size(), QSize(660, 544));
    f->ShowEntry(kWorldMapNr, "ZL6B", "JO62QM", "RE78TW");
    QVERIFY(f->Located());
    QVERIFY(f->Pixel().x > 1400);
    QTRY_VERIFY(W<QScrollArea>("ScrollBox")->horizontalScrollBar()->isVisible());
    const QPoint at = f->ScrollPosition();
    const QSize seen = f->VisibleMapSize();
    QVERIFY(seen.width() < 1440);
    QVERIFY(f->Pixel().x >= at.x() && f->Pixel().x < at.x() + seen.width());
    QVERIFY(f->Pixel().y >= at.y() && f->Pixel().y < at.y() + seen.height());
    QVERIFY(RingAppears());
    // New York, far to the west, comes into view in turn.
    f->ShowEntry(kWorldMapNr, "4U1UN", "JO62QM", "FN30AS");
    QVERIFY(f->Pixel().x >= f->ScrollPosition().x());
    QVERIFY(f->Pixel().x < f->ScrollPosition().x() + seen.width());
    // Dragging to the left shows more of the east.
    QWidget* holder = W<QWidget>("MapHolder");
    const QPoint from = f->ScrollPosition() + QPoint(300, 100);
    QTest::mousePress(holder, Qt::LeftButton, {}, from);
    QTest::mouseMove(holder, from - QPoint(200, 0));
    QTest::mouseRelease(holder, Qt::LeftButton, {}, from - QPoint(200, 0));
    QCOMPARE(f->ScrollPosition().x(), from.x() - 300 + 200);
  }

  // F1 on the map and on the scheduler, and the scheduler's Help button, open their topics.
  void helpOpensTheTopicsOfMapAndScheduler() {
    QList<int> asked;
    const THelpHandler before = SetHelpHandler([&asked](int context) { asked << context; });
    InstallHelpKey(qApp);
    TMapForm* map = Open();
    QTest::keyClick(map, Qt::Key_F1);
    TLocalTime now{10, 4, 25};
    TBeaconSchedulerForm s(
        map, [] { return QString("JO62QM"); }, [&now] { return now; });
    s.show();
    auto* help = s.findChild<QPushButton*>("HelpBtn");
    QVERIFY(help->isEnabled());
    QTest::mouseClick(help, Qt::LeftButton);
    QTest::keyClick(&s, Qt::Key_F1);
    SetHelpHandler(before);
    QCOMPARE(asked, QList<int>({10015, 10018, 10018}));
  }

  // "Show on map..." ticks Show on an unticked map; a followed beacon comes with the user's
  // locator (heading and distance from it); closing the scheduler stops its timer.
  void schedulerTicksShowGivesTheHomeLocatorAndStopsOnClose() {
    TMapForm* map = Open();
    map->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");
    auto* show = map->findChild<QCheckBox*>("ShowLocationChkBox");
    QTest::mouseClick(show, Qt::LeftButton);
    QVERIFY(!show->isChecked());
    TLocalTime now{10, 4, 25};
    TBeaconSchedulerForm s(
        map, [] { return QString("JO62QM"); }, [&now] { return now; });
    s.show();
    QTableWidget* grid = s.findChild<QTableWidget*>("BeaconGrid");
    const QRect cell = grid->visualItemRect(grid->item(5, 0));  // ZL6B
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, cell.center());
    s.findChild<QMenu*>("GridMenu")->close();
    s.findChild<QAction*>("ShowOnMapItem")->trigger();
    QCOMPARE(show->text(), QString("&Show ZL6B"));
    QVERIFY(show->isChecked());
    QVERIFY(RingAppears());
    // Following: VR2B (OL72CG) is active at 10:04:25 on 14100 kHz.
    s.MapBtnClick();
    s.UpdateTimerTimer();
    QVERIFY(map->BeaconMode());
    const TSphere hk = OnSphere("JO62QM", "OL72CG");
    QVERIFY(!map->findChild<QLabel*>("DistanceText")->isHidden());
    QCOMPARE(map->findChild<QLabel*>("DistanceText")->text(),
             QString("Distance %1 km").arg(std::lround(hk.km)));
    QCOMPARE(map->findChild<QLabel*>("HeadingText")->text(),
             QString("Heading %1\u00B0").arg(std::lround(hk.heading)));
    auto* timer = s.findChild<QTimer*>("UpdateTimer");
    QVERIFY(timer->isActive());
    s.close();
    QVERIFY(!timer->isActive());
    QVERIFY(!map->BeaconMode());
  }

  // The printout is what the window shows: the map at its size on a 96-dpi screen (100 pixels
  // are 100 pixels at 96 dpi, whatever the printer's resolution), the ring, and the call,
  // heading and distance under it.
  void printsWhatTheWindowShowsAtThePrintersResolution() {
    TMapForm* f = Open();
    f->ShowEntry(1, "DL1ABC", "JO62QM", "JN45AA");  // the point at (80, 50) of 100 x 100
    QVERIFY(RingAppears());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = QString::fromStdString(dir_->file("shown.pdf"));
    printer.setOutputFileName(pdf);
    QVERIFY(printer.logicalDpiX() >= 600);
    f->PrintMap(printer);
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(text.waitForFinished(20000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(printed.contains("DL1ABC"), qPrintable(printed));
    QVERIFY2(printed.contains(W<QLabel>("HeadingText")->text()), qPrintable(printed));
    QVERIFY2(printed.contains(W<QLabel>("DistanceText")->text()), qPrintable(printed));
    const QString base = QString::fromStdString(dir_->file("shown"));
    QProcess raster;
    raster.start("pdftoppm", {"-r", "96", "-png", "-singlefile", pdf, base});
    QVERIFY(raster.waitForFinished(20000));
    const QImage page(base + ".png");
    QVERIFY(!page.isNull());
    const auto near = [](QRgb c, int r, int g, int b) {
      return std::abs(qRed(c) - r) < 12 && std::abs(qGreen(c) - g) < 12 &&
             std::abs(qBlue(c) - b) < 12;
    };
    // The map's pixels: its colour, with the pixels right of and below it too (not the text).
    QRect map;
    for (int y = 0; y + 1 < page.height(); ++y)
      for (int x = 0; x + 1 < page.width(); ++x)
        if (near(page.pixel(x, y), 10, 20, 30) && near(page.pixel(x + 1, y), 10, 20, 30) &&
            near(page.pixel(x, y + 1), 10, 20, 30))
          map |= QRect(x, y, 2, 2);
    QVERIFY2(std::abs(map.width() - 100) <= 2 && std::abs(map.height() - 100) <= 2,
             qPrintable(QString("%1 x %2").arg(map.width()).arg(map.height())));
    // The ring: inverted (light) map pixels around the point.
    int ring = 0;
    for (int y = map.top() + 50 - 20; y <= map.top() + 50 + 20; ++y)
      for (int x = map.left() + 80 - 20; x <= map.left() + 80 + 20; ++x)
        ring += qGray(page.pixel(x, y)) > 150;
    QVERIFY2(ring > 40, qPrintable(QString::number(ring)));
  }

  void mainWindowMapCommandsFollowTheEdition() {
    AllocIndexCaches();
    TBuildInput input;
    TBuildEntry dl;
    dl.fields = {{itCall, "dl1abc"}, {itLocator, "JO62QM"}, {itAddress, "Berlin"}};
    input.intl.push_back(dl);
    TBuildEntry us;
    us.db = TDatabase::US;
    us.fields = {
        {utCall, "w1aw"}, {utState, "CT"}, {utLongitude, "72.7273"}, {utLatitude, "41.7145"}};
    us.surname = "Club";
    input.us.push_back(us);
    for (const bool maps : {true, false}) {
      TestDir ed;
      TEditionOptions options;
      if (maps) {
        PrepareMaps(TELLMARK_SOURCE_DIR "/data/sources/map_geometry.bin", input, options);
      } else {
        for (auto* db : {&input.intl, &input.us})
          for (auto& e : *db) e.mapNr = 0;  // an older edition: no maps, no map numbers
      }
      WriteEdition(input, ed.path(), options);
      OpenTestEdition(ed.path());
      QFile ini(ini_);
      QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
      ini.write("[StartUp]\nPrgVersion=S1998\nLastCall=\n[General]\nMyLocator=JO62QM\n");
      ini.close();
      {
        TCallViewForm main;
        main.CreateMapForm();
        QCOMPARE(boxes_.size(), 0);
        QCOMPARE(main.findChild<QAction*>("ViewMapItem")->isEnabled(), maps);
        QCOMPARE(main.findChild<QPushButton*>("MapBtn")->isEnabled(), maps);
        if (maps) {
          QVERIFY(main.MapNumber() > 0);
          QTest::mouseClick(main.findChild<QPushButton*>("MapBtn"), Qt::LeftButton);
          QVERIFY(main.MapForm()->isVisible());
          QCOMPARE(main.MapForm()->CurrentMap(), main.MapNumber());
          QVERIFY(main.MapForm()->Located());
          main.FindCall("W1AW");  // the map follows every entry shown
          QCOMPARE(main.MapForm()->CurrentMap(), main.MapNumber());
          QCOMPARE(main.MapForm()->windowTitle(), QString("Map view"));
        } else {
          QVERIFY(!main.MapForm());
        }
      }
      CloseDataSet();
    }
    FreeIndexCaches();
  }
};

QTEST_MAIN(TstMap)
#include "tst_map.moc"
