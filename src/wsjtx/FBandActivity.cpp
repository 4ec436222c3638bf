#include "wsjtx/FBandActivity.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "callbook/UCallbook.h"
#include "settings/USettings.h"
#include "widgets/UWindowPlace.h"

using namespace wsjtx;

namespace {

enum TColumn {
  cTime,
  cSnr,
  cDt,
  cFreq,
  cMessage,
  cCall,
  cName,
  cQth,
  cState,
  cCounty,
  cEntity,
  cCq,
  cItu,
  cCont,
  cGrid,
  cKm,
  cHeading,
  cFlags,
  cColumns
};
const char* const kHeadings[cColumns] = {"Time", "dB",    "DT",    "Freq",   "Message", "Call",
                                         "Name", "QTH",   "State", "County", "Entity",  "CQ",
                                         "ITU",  "Cont.", "Grid",  "km",     "\u00b0",  "Flags"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

QColor Rgb(uint32_t v) { return QColor((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff); }

QString FlagsText(const std::optional<TFlags>& f) {
  if (!f) return {};
  QStringList parts;
  if (f->newEntity) parts << "new entity";
  if (f->newState) parts << "new state";
  if (f->newCounty) parts << "new county";
  if (f->newZone) parts << "new zone";
  if (f->newGrid) parts << "new grid";
  if (f->workedBefore) parts << "worked";
  return parts.join(", ");
}

}  // namespace

TBandActivityForm::TBandActivityForm(const TCallbook& callbook, QWidget* parent)
    : QWidget(parent, Qt::Window), callbook_(callbook), annotator_(callbook) {
  setObjectName("BandActivityForm");
  setWindowTitle("Band activity");
  setProperty("helpContext", kHelpContext);
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  onlyCq_ = new QCheckBox("Only &CQ", this);
  onlyCq_->setObjectName("OnlyCqChkBox");
  onlyNew_ = new QCheckBox("Only &new", this);
  onlyNew_->setObjectName("OnlyNewChkBox");
  continent_ = new QComboBox(this);
  continent_->setObjectName("ContinentBox");
  continent_->addItem("All continents", "");
  for (const char* c : {"AF", "AN", "AS", "EU", "NA", "OC", "SA"}) continent_->addItem(c, c);
  auto* clear = new QPushButton("C&lear", this);
  clear->setObjectName("ClearBtn");
  auto* options = new QPushButton("&Settings...", this);
  options->setObjectName("SettingsBtn");
  bar->addWidget(onlyCq_);
  bar->addWidget(onlyNew_);
  bar->addWidget(new QLabel("Continent:", this));
  bar->addWidget(continent_);
  bar->addStretch(1);
  bar->addWidget(clear);
  bar->addWidget(options);
  layout->addLayout(bar);
  table_ = new QTableWidget(0, cColumns, this);
  table_->setObjectName("DecodeTable");
  QStringList headings;
  for (const char* h : kHeadings) headings << QString::fromUtf8(h);
  table_->setHorizontalHeaderLabels(headings);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_, 1);
  status_ = new QLabel(this);
  status_->setObjectName("StatusLabel");
  layout->addWidget(status_);

  connect(onlyCq_, &QCheckBox::toggled, this, [this] { Rebuild(); });
  connect(onlyNew_, &QCheckBox::toggled, this, [this] { Rebuild(); });
  connect(continent_, &QComboBox::currentIndexChanged, this, [this] { Rebuild(); });
  connect(clear, &QPushButton::clicked, this, [this] {
    rows_.clear();
    Rebuild();
  });
  connect(options, &QPushButton::clicked, this, &TBandActivityForm::ShowSettingsDialog);
  connect(table_, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { RowDoubleClicked(row); });
  // Columns fit their texts, at most five times a second however fast decodes come.
  fitTimer_ = new QTimer(this);
  fitTimer_->setSingleShot(true);
  fitTimer_->setInterval(200);
  connect(fitTimer_, &QTimer::timeout, this, [this] { table_->resizeColumnsToContents(); });
  logTimer_ = new QTimer(this);
  logTimer_->setInterval(2000);
  connect(logTimer_, &QTimer::timeout, this, [this] {
    std::string error;
    if (logOpen_ && log_.ReloadIfChanged(annotator_.Source(), &error)) {
      Reannotate();
      Rebuild();
    }
  });

  TSession::THandlers h;
  h.decode = [this](const TClient& c, const TDecode& d) { AddDecode(c, d); };
  h.clear = [this](const TClient& c) {
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                               [&](const TRow& r) { return r.clientId == c.id; }),
                rows_.end());
    Rebuild();
  };
  h.status = [this](const TClient& c, const wsjtx::TStatus& s) {
    lastClient_ = Q(c.id) + ": " + Q(BandOfFrequency(s.dialFrequency)) + " " + Q(s.mode) + " " +
                  QString::number(static_cast<double>(s.dialFrequency) / 1e6, 'f', 6) + " MHz";
    status_->setText(StatusText());
  };
  h.qsoLogged = [this](const TClient&, const TQsoLogged& q) {
    log_.Add(ContactOfLogged(q, annotator_.Source()));
  };
  session_ = std::make_unique<TSession>(std::move(h));
  SizeToScreen(this, QSize(1100, 480));
}

TBandActivityForm::~TBandActivityForm() {
  // Highlights set in WSJT-X go with this window.
  for (const std::string& call : highlighted_)
    for (const auto& [key, c] : session_->Clients())
      socket_.Send(WriteHighlightCallsign(c.schema, c.id, call, TColor{}, TColor{}, false), c.from);
}

bool TBandActivityForm::Apply(const TWsjtxSettings& s) {
  settings_ = s;
  delete notifier_;
  notifier_ = nullptr;
  TListenAddress where;
  where.address = s.address;
  where.port = s.port;
  std::string error;
  logOpen_ = false;
  if (!s.logFile.empty()) {
    problem_.clear();
    if (log_.Load(s.logFile, annotator_.Source(), &error))
      logOpen_ = true;
    else
      problem_ = Q(error);
  }
  if (logOpen_)
    logTimer_->start();
  else
    logTimer_->stop();
  if (!socket_.Open(where, &error)) {
    Reannotate();
    Rebuild();
    status_->setText(Q(error));
    return false;
  }
  notifier_ = new QSocketNotifier(socket_.Fd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TBandActivityForm::ReadDatagrams);
  Reannotate();
  Rebuild();
  return true;
}

QString TBandActivityForm::StatusText() const {
  QString s = "Listening on " + Q(settings_.address) + ":" + QString::number(settings_.port);
  if (TListenAddress{settings_.address, settings_.port}.Multicast()) s += " (multicast group)";
  s += logOpen_ ? " \u00b7 log: " + QString::number(log_.Contacts()) + " contacts"
                : QString(" \u00b7 no log");
  if (!problem_.isEmpty()) s += " (" + problem_ + ")";
  if (!lastClient_.isEmpty()) s += " \u00b7 " + lastClient_;
  s += " \u00b7 " + QString::number(rows_.size()) + " decodes";
  return s;
}

void TBandActivityForm::ReadDatagrams() {
  std::string bytes;
  sockaddr_in from{};
  for (int i = 0; i < 1000 && socket_.Receive(bytes, from); ++i) HandleDatagram(bytes, from);
}

void TBandActivityForm::HandleDatagram(const std::string& bytes, const sockaddr_in& from) {
  session_->Handle(bytes, from,
                   [this](std::string_view b, const sockaddr_in& to) { socket_.Send(b, to); });
}

void TBandActivityForm::AddDecode(const TClient& c, const TDecode& d) {
  TDecodeContext ctx;
  ctx.dialFrequency = c.dialFrequency;
  ctx.statusMode = c.mode;
  ctx.myLocator = myLocator_;
  ctx.log = logOpen_ ? &log_ : nullptr;
  TRow r;
  r.decode = d;
  r.context = ctx;
  r.annotation = annotator_.Annotate(d, ctx);
  r.clientId = c.id;
  r.from = c.from;
  bool newCycle = rows_.empty() || rows_.back().decode.time != d.time;
  if (rows_.size() >= kMaxRows) {
    rows_.erase(rows_.begin());
    newCycle = true;  // the table is built anew
  }
  rows_.push_back(std::move(r));
  if (settings_.highlight) Highlight(rows_.back());
  if (newCycle) {
    DropOldCycles();
    Rebuild();
  } else if (Passes(rows_.back())) {
    table_->insertRow(0);
    // The vector may have moved its rows: point the table at them again.
    shown_.clear();
    for (auto it = rows_.rbegin(); it != rows_.rend(); ++it)
      if (Passes(*it)) shown_.push_back(&*it);
    ShowRow(0, rows_.back());
    if (!fitTimer_->isActive()) fitTimer_->start();
  }
  status_->setText(StatusText());
  EmitStations();
}

void TBandActivityForm::DropOldCycles() {
  std::vector<uint32_t> times;
  for (auto it = rows_.rbegin(); it != rows_.rend(); ++it)
    if (std::find(times.begin(), times.end(), it->decode.time) == times.end())
      times.push_back(it->decode.time);
  if (static_cast<int>(times.size()) <= kCycles) return;
  times.resize(kCycles);
  rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                             [&](const TRow& r) {
                               return std::find(times.begin(), times.end(), r.decode.time) ==
                                      times.end();
                             }),
              rows_.end());
}

bool TBandActivityForm::Passes(const TRow& r) const {
  const TAnnotation& a = r.annotation;
  if (onlyCq_->isChecked() && !a.text.cq) return false;
  if (onlyNew_->isChecked() && !(a.flags && a.flags->AnyNew())) return false;
  const QString cont = continent_->currentData().toString();
  if (!cont.isEmpty() && !(a.record && Q(a.record->continent) == cont)) return false;
  return true;
}

void TBandActivityForm::Reannotate() {
  for (TRow& r : rows_) {
    r.context.myLocator = myLocator_;
    r.context.log = logOpen_ ? &log_ : nullptr;
    r.annotation = annotator_.Annotate(r.decode, r.context);
  }
}

void TBandActivityForm::Rebuild() {
  shown_.clear();
  for (auto it = rows_.rbegin(); it != rows_.rend(); ++it)
    if (Passes(*it)) shown_.push_back(&*it);
  table_->setRowCount(static_cast<int>(shown_.size()));
  for (size_t i = 0; i < shown_.size(); ++i) ShowRow(static_cast<int>(i), *shown_[i]);
  if (!fitTimer_->isActive()) fitTimer_->start();
  status_->setText(StatusText());
}

QColor TBandActivityForm::FlagColour(const TFlags& f) const {
  if (f.newEntity) return Rgb(settings_.newEntityColour);
  if (f.newState) return Rgb(settings_.newStateColour);
  if (f.newCounty) return Rgb(settings_.newCountyColour);
  if (f.newGrid) return Rgb(settings_.newGridColour);
  return {};
}

void TBandActivityForm::ShowRow(int row, const TRow& r) {
  const TDecode& d = r.decode;
  const TAnnotation& a = r.annotation;
  const TCallbookRecord* rec = a.record ? &*a.record : nullptr;
  const auto opt = [](const std::optional<int>& v) { return v ? QString::number(*v) : QString(); };
  QString texts[cColumns];
  texts[cTime] = Q(TimeText(d.time));
  texts[cSnr] = QString::number(d.snr);
  texts[cDt] = QString::number(d.deltaTime, 'f', 1);
  texts[cFreq] = QString::number(d.deltaFrequency);
  texts[cMessage] = Q(d.message);
  texts[cCall] = Q(a.text.caller);
  if (rec) {
    texts[cName] = Q(rec->name);
    texts[cQth] = Q(rec->city);
    texts[cState] = Q(a.province.empty() ? rec->state : a.province);
    texts[cCounty] = Q(rec->county);
    texts[cEntity] = Q(rec->dxcc);
    texts[cCq] = opt(rec->cqZone);
    texts[cItu] = opt(rec->ituZone);
    texts[cCont] = Q(rec->continent);
  }
  texts[cGrid] = Q(a.grid);
  if (a.distanceKm) texts[cKm] = QString::number(std::lround(*a.distanceKm));
  if (a.heading) texts[cHeading] = QString::number(std::lround(*a.heading) % 360);
  texts[cFlags] = FlagsText(a.flags);
  const QColor background = a.flags ? FlagColour(*a.flags) : QColor();
  const bool worked = a.flags && a.flags->workedBefore;
  for (int c = 0; c < cColumns; ++c) {
    auto* item = new QTableWidgetItem(texts[c]);
    if (c == cSnr || c == cDt || c == cFreq || c == cCq || c == cItu || c == cKm || c == cHeading)
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (background.isValid()) {
      item->setBackground(background);
      item->setForeground(Qt::black);
    } else if (worked) {
      item->setForeground(Rgb(settings_.workedColour));
    }
    if (a.text.cq && c == cMessage) {
      QFont f = item->font();
      f.setBold(true);
      item->setFont(f);
    }
    table_->setItem(row, c, item);
  }
}

int TBandActivityForm::RowsShown() const { return table_->rowCount(); }

void TBandActivityForm::SetOnlyCq(bool on) { onlyCq_->setChecked(on); }
void TBandActivityForm::SetOnlyNew(bool on) { onlyNew_->setChecked(on); }
void TBandActivityForm::SetContinent(const QString& c) {
  const int i = continent_->findData(c);
  continent_->setCurrentIndex(i < 0 ? 0 : i);
}

void TBandActivityForm::RowDoubleClicked(int row) {
  if (row < 0 || row >= static_cast<int>(shown_.size())) return;
  const TRow& r = *shown_[static_cast<size_t>(row)];
  // The entry's own call ("K5DRC" of "VE3/K5DRC") finds it in the main window.
  if (r.annotation.record)
    emit CallChosen(Q(r.annotation.record->call));
  else if (!r.annotation.text.caller.empty())
    emit CallChosen(Q(r.annotation.text.caller));
  // WSJT-X acts only on a CQ or QRZ it decoded itself, as a double-click there would.
  if (settings_.sendReply && r.annotation.text.cq) {
    if (const TClient* c = session_->Find(r.clientId))
      socket_.Send(WriteReply(c->schema, c->id, r.decode), c->from);
  }
}

void TBandActivityForm::Highlight(const TRow& r) {
  const TAnnotation& a = r.annotation;
  if (!a.flags || a.text.caller.empty()) return;
  if (!(a.flags->newEntity || a.flags->newState || a.flags->newCounty)) return;
  // WSJT-X slows down with many highlights: at most 100 calls.
  if (highlighted_.count(a.text.caller) || highlighted_.size() >= 100) return;
  const TClient* c = session_->Find(r.clientId);
  if (!c) return;
  const QColor bg = FlagColour(*a.flags);
  socket_.Send(WriteHighlightCallsign(
                   c->schema, c->id, a.text.caller,
                   TColor::Rgb(static_cast<uint8_t>(bg.red()), static_cast<uint8_t>(bg.green()),
                               static_cast<uint8_t>(bg.blue())),
                   TColor::Rgb(0, 0, 0), false),
               c->from);
  highlighted_.insert(a.text.caller);
}

void TBandActivityForm::EmitStations() {
  QVector<TStationHeard> stations;
  if (rows_.empty()) {
    emit StationsHeard(stations);
    return;
  }
  const uint32_t last = rows_.back().decode.time;
  for (const TRow& r : rows_) {
    if (r.decode.time != last || r.annotation.grid.empty() || r.annotation.text.caller.empty())
      continue;
    TStationHeard s;
    s.call = Q(r.annotation.text.caller);
    s.locator = Q(r.annotation.grid);
    s.colour = r.annotation.flags ? FlagColour(*r.annotation.flags) : QColor();
    if (!s.colour.isValid()) s.colour = QColor(0, 90, 200);
    stations.push_back(s);
  }
  emit StationsHeard(stations);
}

void TBandActivityForm::ShowSettingsDialog() {
  TWsjtxSettingsDialog dialog(settings_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const TWsjtxSettings s = dialog.Result();
  try {
    TSettingsFile file(SettingsFilePath());
    file.Load();
    SaveWsjtxSettings(file, s);
    file.Save();
  } catch (const std::exception& e) {
    status_->setText(QString::fromStdString(e.what()));
  }
  Apply(s);
}

TWsjtxSettingsDialog::TWsjtxSettingsDialog(const TWsjtxSettings& s, QWidget* parent)
    : QDialog(parent), s_(s) {
  setWindowTitle("WSJT-X settings");
  auto* form = new QFormLayout(this);
  address_ = new QLineEdit(Q(s.address), this);
  address_->setToolTip("127.0.0.1, or a multicast group such as 239.255.0.1 (joined)");
  port_ = new QSpinBox(this);
  port_->setRange(1, 65535);
  port_->setValue(s.port);
  auto* logRow = new QHBoxLayout;
  log_ = new QLineEdit(Q(s.logFile), this);
  auto* browse = new QPushButton("&Browse...", this);
  logRow->addWidget(log_, 1);
  logRow->addWidget(browse);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getOpenFileName(this, "Log", log_->text(),
                                                   "ADIF logs (*.adi *.adif);;All files (*)");
    if (!f.isEmpty()) log_->setText(f);
  });
  reply_ = new QCheckBox("A double-click on a CQ &answers it in WSJT-X", this);
  reply_->setChecked(s.sendReply);
  highlight_ = new QCheckBox("&Highlight new entities, states and counties in WSJT-X", this);
  highlight_->setChecked(s.highlight);
  form->addRow("UDP &address:", address_);
  form->addRow("UDP &port:", port_);
  form->addRow("&Log (ADIF):", logRow);
  form->addRow(reply_);
  form->addRow(highlight_);
  struct TColourRow {
    const char* label;
    uint32_t TWsjtxSettings::*field;
  };
  for (const TColourRow& c : {TColourRow{"New entity", &TWsjtxSettings::newEntityColour},
                              TColourRow{"New state", &TWsjtxSettings::newStateColour},
                              TColourRow{"New county", &TWsjtxSettings::newCountyColour},
                              TColourRow{"New grid", &TWsjtxSettings::newGridColour},
                              TColourRow{"Worked before (text)", &TWsjtxSettings::workedColour}}) {
    auto* edit = new QLineEdit(QString("#%1").arg(s_.*(c.field), 6, 16, QChar('0')), this);
    edit->setInputMask("\\#HHHHHH");
    connect(edit, &QLineEdit::textChanged, this, [this, edit, f = c.field](const QString& t) {
      bool ok = false;
      const uint32_t v = t.mid(1).toUInt(&ok, 16);
      if (ok && t.size() == 7) s_.*f = v;
      edit->setStyleSheet(ok ? QString("background: %1").arg(t) : QString());
    });
    edit->setStyleSheet(QString("background: %1").arg(edit->text()));
    form->addRow(QString(c.label) + ":", edit);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TWsjtxSettingsDialog::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

void TWsjtxSettingsDialog::Accept() {
  TListenAddress where;
  std::string error;
  const std::string text =
      address_->text().trimmed().toStdString() + ":" + std::to_string(port_->value());
  if (!ParseListenAddress(text, where, &error)) {
    address_->setFocus();
    address_->setToolTip(Q(error));
    return;
  }
  accept();
}

TWsjtxSettings TWsjtxSettingsDialog::Result() const {
  TWsjtxSettings s = s_;
  s.address = address_->text().trimmed().toStdString();
  s.port = port_->value();
  s.logFile = log_->text().trimmed().toStdString();
  s.sendReply = reply_->isChecked();
  s.highlight = highlight_->isChecked();
  return s;
}
