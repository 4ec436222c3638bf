#include "map/FMap.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStringList>
#include <QTimer>

#include "dataset/ULocator.h"
#include "map/UMapGeo.h"
#include "ui_FMap.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

// The ring: a circle drawn with an inverting pen of width 2 and no fill over the map picture.
class TLocationShape : public QWidget {
 public:
  TLocationShape(const QImage& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
    setObjectName("LocationShape");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    // The pen's brush is the inverted picture under the shape, so each ring pixel inverts the
    // map pixel it covers.
    QImage under = picture_.copy(geometry()).convertToFormat(QImage::Format_RGB32);
    under.invertPixels();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrushOrigin(0, 0);
    p.setPen(QPen(QBrush(under), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(1, 1, width() - 2, height() - 2));
  }

 private:
  const QImage& picture_;
};

// The stations heard: a dot with its call for each, over the map picture.
class TStationsShape : public QWidget {
 public:
  struct TDot {
    QPoint at;
    QString call;
    QColor colour;
  };
  explicit TStationsShape(QWidget* parent) : QWidget(parent) {
    setObjectName("StationsShape");
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  std::vector<TDot> dots;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    p.setFont(f);
    for (const TDot& d : dots) {
      p.setPen(QPen(Qt::black, 1));
      p.setBrush(d.colour);
      p.drawEllipse(d.at, 4, 4);
      const QRect text(d.at.x() + 6, d.at.y() - 7, 90, 14);
      p.setPen(Qt::white);
      p.drawText(text.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, d.call);
      p.setPen(Qt::black);
      p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, d.call);
    }
  }
};

TMapForm::TMapForm(const std::string& dataFilePath, int64_t mapDirOffset, bool fitAlways,
                   bool useKm, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::TMapForm>()), useKm_(useKm) {
  ui->setupUi(this);
  ui->ScrollBox->setMinimumSize(1, 1);       // the window fits a small map exactly
  setProperty("helpContext", kHelpContext);  // F1
  // A map larger than the window scrolls: bars, and dragging the picture with the mouse.
  ui->MapHolder->installEventFilter(this);
  ui->MapHolder->setCursor(Qt::OpenHandCursor);
  LocationShape = new TLocationShape(picture_, ui->MapHolder);
  StationsShape = new TStationsShape(ui->MapHolder);
  StationsShape->hide();
  BlinkTimer = new QTimer(this);
  BlinkTimer->setObjectName("BlinkTimer");
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  PopupMenu->addAction(ui->CloseWindowItem);
  addAction(ui->CloseWindowItem);
  connect(ui->CloseWindowItem, &QAction::triggered, this, &TMapForm::CloseWindowItemClick);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu->popup(mapToGlobal(at)); });
  connect(ui->ZoomInBtn, &QPushButton::clicked, this, &TMapForm::ZoomInBtnClick);
  connect(ui->ZoomOutBtn, &QPushButton::clicked, this, &TMapForm::ZoomOutBtnClick);
  connect(ui->PrintBtn, &QPushButton::clicked, this, &TMapForm::PrintBtnClick);
  connect(ui->FitAlwaysChkBox, &QCheckBox::clicked, this, &TMapForm::FitAlwaysChkBoxClick);
  connect(ui->ShowLocationChkBox, &QCheckBox::clicked, this, &TMapForm::ShowLocationChkBoxClick);
  connect(BlinkTimer, &QTimer::timeout, this, &TMapForm::BlinkTimerTimer);
  resize(660, 544);

  // FormCreate.
  setWindowTitle("Map view");
  shownCaption_ = windowTitle();
  currentMap_ = 0;
  chain_.clear();
  SetZoom(1);
  ui->FitAlwaysChkBox->setChecked(fitAlways);
  stream_ = std::make_unique<TMapStream>(dataFilePath, mapDirOffset);
  ready_ = true;
}

TMapForm::~TMapForm() = default;  // FormDestroy: the stream goes with the window

void TMapForm::ShowEntry(int mapNr, const QString& call, const QString& homeLocator,
                         const QString& entryLocator) {
  LeaveBeaconMode();
  ShowLocation(mapNr, homeLocator, entryLocator, call);
}

void TMapForm::ShowBeacon(const QString& call, const QString& beaconLocator, TLeaveCallback leave,
                          const QString& homeLocator, const QString& captionSuffix) {
  captionSuffix_ = captionSuffix.left(100);
  ShowLocation(kWorldMapNr, homeLocator, beaconLocator, call);
  leave_ = std::move(leave);
  beaconMode_ = true;
  SetCaption();
  if (ui->ShowLocationChkBox->isEnabled() && !ui->ShowLocationChkBox->isChecked()) {
    ui->ShowLocationChkBox->setChecked(true);
    StartMarker();
  }
}

void TMapForm::LeaveBeaconMode() {
  if (!beaconMode_) return;
  beaconMode_ = false;
  SetCaption();
  if (leave_) {
    TLeaveCallback leave = std::move(leave_);
    leave_ = nullptr;
    leave(this);
  }
}

void TMapForm::SetShowLocation(bool on) {
  if (!ui->ShowLocationChkBox->isEnabled() || ui->ShowLocationChkBox->isChecked() == on) return;
  ui->ShowLocationChkBox->setChecked(on);
  ShowLocationChkBoxClick();
}

void TMapForm::SetCaption() {
  // The suffix ("- currently active beacon on ...") is set off from "Map view" by a blank.
  const QString gap = captionSuffix_.startsWith(' ') ? "" : " ";
  const QString caption = beaconMode_ ? "Map view" + gap + captionSuffix_ : QString("Map view");
  if (caption == shownCaption_) return;
  shownCaption_ = caption;
  setWindowTitle(caption);
}

void TMapForm::ShowLocation(int mapNr, const QString& homeLocator, const QString& entryLocator,
                            const QString& call) {
  homeLocator_ = homeLocator.left(6).toStdString();
  entryLocator_ = entryLocator.left(6).toStdString();
  call_ = call.left(6).toStdString();
  StopMarker();
  ui->ShowLocationChkBox->setText("&Show " + QString::fromStdString(call_));
  precision_ = LocatorPrecision(entryLocator_);
  try {
    const TGeoPoint p = LocatorToCoord(entryLocator_);
    // The point is kept as 6-byte reals.
    pointLon_ = Real48ToDouble(DoubleToReal48(p.longitude));
    pointLat_ = Real48ToDouble(DoubleToReal48(p.latitude));
    pointValid_ = true;
  } catch (const std::exception&) {
    pointValid_ = false;
  }
  ui->ShowLocationChkBox->setEnabled(pointValid_);
  TEntf entf;
  if (GetEntf(homeLocator_, entryLocator_, entf)) {
    ui->HeadingText->setText(QString::fromStdString(HeadingText(entf.heading)));
    ui->DistanceText->setText(QString::fromStdString(DistanceText(entf.distanceKm, useKm_)));
    ui->HeadingText->show();
    ui->DistanceText->show();
  } else {
    ui->HeadingText->hide();
    ui->DistanceText->hide();
  }
  if (isVisible() && mapNr != 0) {
    ShowMap(mapNr);
    chain_ = stream_->ZoomChain(mapNr);
    SetZoom(1);
  } else {
    // The map shown stays, but neither the ring nor the zoom chain of the entry before: they
    // would mark that entry's place under this entry's call.
    located_ = false;
    chain_.clear();
    SetZoom(1);
  }
  emit LocationShown(QString::fromStdString(call_));
}

void TMapForm::ShowMap(int n) {
  StopMarker();
  if (n != currentMap_) {
    located_ = false;
    markerClass_ = 0;
    stream_->SelectMap(n);
    const std::string bytes = stream_->ReadImage();
    QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                    static_cast<int>(bytes.size()), "BMP");
    if (image.isNull()) throw EMapError("Map " + std::to_string(n) + " is not a readable bitmap");
    picture_ = image.convertToFormat(QImage::Format_RGB32);
    ui->MapImage->setPixmap(QPixmap::fromImage(picture_));
    ui->MapImage->setFixedSize(picture_.size());
    ui->MapHolder->setFixedSize(picture_.size());
    markerClass_ = stream_->MarkerClass(n);
    currentMap_ = n;
    if (ui->FitAlwaysChkBox->isChecked()) FitWindow();
  }
  try {
    pixel_ = stream_->LocatePoint(n, pointLon_, pointLat_);
    located_ = true;
  } catch (const std::exception&) {
    located_ = false;
  }
  PlaceStations();
  // A point outside the visible part of the map is scrolled into view, with room for the ring.
  if (located_ && pointValid_) ui->ScrollBox->ensureVisible(pixel_.x, pixel_.y, 40, 40);
  StartMarker();
}

bool TMapForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != ui->MapHolder) return QWidget::eventFilter(watched, event);
  QScrollBar* h = ui->ScrollBox->horizontalScrollBar();
  QScrollBar* v = ui->ScrollBox->verticalScrollBar();
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() != Qt::LeftButton) break;
      dragFrom_ = e->globalPosition().toPoint();
      dragScroll_ = QPoint(h->value(), v->value());
      dragging_ = true;
      ui->MapHolder->setCursor(Qt::ClosedHandCursor);
      return true;
    }
    case QEvent::MouseMove: {
      if (!dragging_) break;
      const QPoint d = static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragFrom_;
      h->setValue(dragScroll_.x() - d.x());
      v->setValue(dragScroll_.y() - d.y());
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (!dragging_) break;
      dragging_ = false;
      ui->MapHolder->setCursor(Qt::OpenHandCursor);
      return true;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

QPoint TMapForm::ScrollPosition() const {
  return QPoint(ui->ScrollBox->horizontalScrollBar()->value(),
                ui->ScrollBox->verticalScrollBar()->value());
}

QSize TMapForm::VisibleMapSize() const { return ui->ScrollBox->viewport()->size(); }

void TMapForm::SetZoom(int i) {
  if (chain_.empty()) {
    zoomIndex_ = 1;
    ui->ZoomInBtn->setEnabled(false);
    ui->ZoomOutBtn->setEnabled(false);
    return;
  }
  zoomIndex_ = std::clamp(i, 1, static_cast<int>(chain_.size()));
  ui->ZoomInBtn->setEnabled(zoomIndex_ > 1);
  ui->ZoomOutBtn->setEnabled(zoomIndex_ < static_cast<int>(chain_.size()));
}

void TMapForm::ZoomInBtnClick() {
  if (zoomIndex_ > 1) ZoomTo(zoomIndex_ - 1);
}

void TMapForm::ZoomOutBtnClick() {
  if (zoomIndex_ < static_cast<int>(chain_.size())) ZoomTo(zoomIndex_ + 1);
}

// A map of the chain that cannot be shown (a damaged image) leaves the current one in place.
void TMapForm::ZoomTo(int i) {
  const int before = zoomIndex_;
  SetZoom(i);
  try {
    ShowMap(chain_[static_cast<size_t>(zoomIndex_ - 1)]);
  } catch (const std::exception& e) {
    SetZoom(before);
    ShowHandlingError(e);
  }
}

void TMapForm::StartMarker() {
  if (ringShown_) StopMarker();
  if (!pointValid_ || !located_) return;
  if (ui->ShowLocationChkBox->isChecked() && MarkAllowed(markerClass_, precision_)) {
    ringSize_ = 5;
    BlinkTimer->setInterval(250);
    BlinkTimer->start();
  }
}

void TMapForm::BlinkTimerTimer() {
  LocationShape->setGeometry(pixel_.x - ringSize_ / 2, pixel_.y - ringSize_ / 2, ringSize_,
                             ringSize_);
  LocationShape->raise();
  LocationShape->show();
  LocationShape->update();
  ringSize_ += 5;
  if (ringSize_ > 70) ringSize_ = 5;
  ringShown_ = true;
}

void TMapForm::StopMarker() {
  BlinkTimer->stop();
  LocationShape->hide();
  ringShown_ = false;
}

void TMapForm::ShowLocationChkBoxClick() {
  if (ui->ShowLocationChkBox->isChecked()) {
    StartMarker();
  } else {
    StopMarker();
    emit LocationDisplayOff();
  }
}

void TMapForm::FitWindow() {
  // The window does not get narrower than the buttons of the top bar need.
  for (int pass = 0; pass < 2; ++pass)
    resize(std::max(ui->MapHolder->width(), 350), ui->MapHolder->height() + ui->Bevel->height());
  // A large map scrolls rather than reach past the screen's edge.
  if (isVisible()) KeepOnScreen(this);
}

void TMapForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  KeepOnScreen(this);
}

void TMapForm::FitAlwaysChkBoxClick() {
  if (!isVisible()) return;
  emit FitAlwaysChanged(ui->FitAlwaysChkBox->isChecked());
  if (ui->FitAlwaysChkBox->isChecked()) FitWindow();
}

QImage TMapForm::PrintedPicture() const {
  QImage page = picture_.convertToFormat(QImage::Format_RGB32);
  if (!BlinkTimer->isActive() && !ringShown_) return page;
  // The ring as the window draws it (inverting), at a fixed size of the ring's range.
  const int size = kPrintedRing;
  const QRect box(pixel_.x - size / 2, pixel_.y - size / 2, size, size);
  QImage under = page.copy(box);
  under.invertPixels();
  QPainter p(&page);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrushOrigin(box.topLeft());
  p.setPen(QPen(QBrush(under), 2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(box.left() + 1, box.top() + 1, size - 2, size - 2));
  return page;
}

QString TMapForm::PrintedCaption() const {
  QStringList parts{QString::fromStdString(call_)};
  if (!ui->HeadingText->isHidden()) parts << ui->HeadingText->text();
  if (!ui->DistanceText->isHidden()) parts << ui->DistanceText->text();
  return parts.join("    ");
}

void TMapForm::PrintMap(QPrinter& printer) {
  if (picture_.isNull()) throw EMapError("No map is shown");
  printer.setDocName("Tellmark Map");
  const QImage page = PrintedPicture();
  QPainter painter;
  if (!painter.begin(&printer)) throw EMapError("The printer cannot be started");
  // The map across the page's width, as high as its proportions make it, leaving room below
  // for the caption; whatever the printer's resolution.
  const QRect paper = printer.pageLayout().paintRectPixels(printer.resolution());
  const QFont probe(font().family(), 10);
  const int captionRoom = QFontMetrics(probe, &printer).height() * 3;
  const double scale = std::min(static_cast<double>(paper.width()) / page.width(),
                                static_cast<double>(paper.height() - captionRoom) / page.height());
  const QRect target(0, 0, static_cast<int>(scale * page.width()),
                     static_cast<int>(scale * page.height()));
  painter.drawImage(target, page);
  // Call, heading and distance under the map, in a 10-point font of the printer.
  QFont font = this->font();
  font.setPointSize(10);
  font.setBold(false);
  painter.setFont(font);
  painter.setPen(Qt::black);
  const QFontMetrics fm(font, &printer);
  const QRect text(0, target.bottom() + 1 + fm.height() / 2,
                   std::max(target.width(), fm.horizontalAdvance(PrintedCaption()) + fm.height()),
                   fm.height() * 2);
  painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, PrintedCaption());
  painter.end();
}

void TMapForm::PrintBtnClick() {
  QPrinter printer;
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    PrintMap(printer);
  } catch (const std::exception& e) {
    QGuiApplication::restoreOverrideCursor();
    ShowErrorBox(QString("Error during print: ") + e.what());
    return;
  }
  QGuiApplication::restoreOverrideCursor();
}

void TMapForm::CloseWindowItemClick() { close(); }

void TMapForm::closeEvent(QCloseEvent* event) {
  // FormClose: beacon mode ends; the window is only hidden.
  if (beaconMode_ && leave_) LeaveBeaconMode();
  StopMarker();
  event->accept();
}

void TMapForm::ShowStations(const std::vector<TStationMark>& stations) {
  stations_ = stations;
  if (!stations_.empty() && currentMap_ == 0 && isVisible()) {
    try {
      ShowMap(kWorldMapNr);
      chain_ = stream_->ZoomChain(kWorldMapNr);
      SetZoom(1);
    } catch (const std::exception&) {
      // No world map in this edition: nothing to draw on.
    }
  }
  PlaceStations();
}

void TMapForm::PlaceStations() {
  StationsShape->dots.clear();
  if (currentMap_ != 0) {
    for (const TStationMark& s : stations_) {
      try {
        const TGeoPoint g = LocatorToCoord(s.locator.toStdString());
        const TPixel px = stream_->LocatePoint(currentMap_, g.longitude, g.latitude);
        if (px.x < 0 || px.y < 0 || px.x >= picture_.width() || px.y >= picture_.height()) continue;
        StationsShape->dots.push_back(
            {QPoint(static_cast<int>(px.x), static_cast<int>(px.y)), s.call.left(13), s.colour});
      } catch (const std::exception&) {
        // Off this map, or no locator: not drawn.
      }
    }
  }
  StationsShape->setGeometry(0, 0, picture_.width(), picture_.height());
  StationsShape->setVisible(!StationsShape->dots.empty());
  StationsShape->raise();
  StationsShape->update();
}

int TMapForm::StationsDrawn() const { return static_cast<int>(StationsShape->dots.size()); }
