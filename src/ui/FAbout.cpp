#include "ui/FAbout.h"

#include <QPainter>
#include <QPainterPath>
#include <QSysInfo>
#include <charconv>

#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/UEntityFile.h"
#include "ui_FAbout.h"
#include "widgets/UWindowPlace.h"

namespace {

// The program icon, drawn: a globe on a blue tile.
QPixmap ProgramIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1d, 0x4f, 0x91));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 3));
  p.drawEllipse(QPointF(32, 34), 18, 18);
  p.setPen(QPen(Qt::white, 2));
  QPainterPath grid;
  grid.moveTo(14, 34);
  grid.lineTo(50, 34);
  grid.moveTo(32, 16);
  grid.lineTo(32, 52);
  grid.moveTo(20, 22);
  grid.cubicTo(28, 28, 36, 28, 44, 22);
  grid.moveTo(20, 46);
  grid.cubicTo(28, 40, 36, 40, 44, 46);
  p.drawPath(grid);
  p.setPen(QPen(QColor(0xff, 0xd2, 0x3f), 3));
  p.drawLine(QPointF(46, 6), QPointF(52, 16));
  p.drawLine(QPointF(52, 6), QPointF(46, 16));
  return pixmap;
}

}  // namespace

std::string VersionLabelText(std::string_view version) {
  std::string numbers;
  int count = 0;
  size_t start = 0;
  while (start <= version.size()) {
    const size_t dot = version.find('.', start);
    const std::string_view part =
        version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    unsigned v = 0;
    const auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
    if (part.empty() || ec != std::errc() || p != part.data() + part.size() || ++count > 4)
      return "Version: ";
    numbers += (numbers.empty() ? "" : ".") + std::to_string(v);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  for (; count < 4; ++count) numbers += ".0";
  return "Version: " + numbers;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
  ui->ProgramIcon->setPixmap(ProgramIcon(48));
  ui->VersionLbl->setText(QString::fromStdString(VersionLabelText(TELLMARK_VERSION)));
  // What this build is: 64 Bit on a 64-bit build.
  // An edition of real data by its own title and sources; the sample as the 1999 CD, without
  // claiming records it does not hold.
  const TEdition& ed = CurrentEdition();
  const QString bits = QString(" (%1 Bit)").arg(QSysInfo::WordSize);
  if (RealEdition(ed))
    ui->EditionLbl->setText(QString::fromStdString(Cp437ToUtf8(ed.title)) + bits);
  else
    ui->EditionLbl->setText("Summer Edition 1999" + bits);
  ui->EditionLbl->setWordWrap(RealEdition(ed));
  if (SampleEdition(ed)) ui->PublisherLbl2->setText(kSampleEditionText);
  if (const std::string d = EditionSourcesText(ed); !d.empty() && !SampleEdition(ed))
    ui->EditionLbl->setText(ui->EditionLbl->text() + "\n" + QString::fromStdString(d));
  // The country file the edition resolves calls with.
  if (const TResult<TEntityTable> entities = ReadEntityTable(); entities.ok())
    if (const std::string c = CountryFileLine(*entities); !c.empty())
      ui->EditionLbl->setText(ui->EditionLbl->text() + "\n" + QString::fromStdString(c));
  connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
  // The client area is 355 x 245; more only when the fonts need it.
  setMinimumSize(355, 245);
  resize(sizeHint().expandedTo(QSize(355, 245)));
  setFixedSize(size());
  CentreOnScreen(this);
}

TAboutBox::~TAboutBox() = default;
