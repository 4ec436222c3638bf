#include "morse/FMorseOptions.h"

#include <QEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "common/StrUtil.h"
#include "morse/FCWOutput.h"
#include "morse/UMMCWOutput.h"
#include "ui_FMorseOptions.h"
#include "widgets/UMessages.h"

TSetMorseOptionsDlg::TSetMorseOptionsDlg(TCWOutputForm* output, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSetMorseOptionsDlg>()), output_(output) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setProperty("helpContext", kHelpContext);
  QFont bold("MS Sans Serif");
  bold.setStyleHint(QFont::SansSerif);
  bold.setBold(true);
  setFont(bold);
  connect(ui->SpeedBar, &QScrollBar::valueChanged, this, &TSetMorseOptionsDlg::SpeedBarChange);
  connect(ui->PitchBar, &QScrollBar::valueChanged, this, &TSetMorseOptionsDlg::PitchBarChange);
  connect(ui->MorseBtn, &QPushButton::clicked, this, &TSetMorseOptionsDlg::MorseBtnClick);
  connect(ui->StopBtn, &QPushButton::clicked, this, &TSetMorseOptionsDlg::StopBtnClick);
  connect(ui->RestoreBtn, &QPushButton::clicked, this, &TSetMorseOptionsDlg::RestoreBtnClick);
  connect(ui->HelpBtn, &QPushButton::clicked, this, &TSetMorseOptionsDlg::HelpBtnClick);
  connect(ui->OkBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->AbortBtn, &QPushButton::clicked, this, &QDialog::reject);
  // The two boxes only show what the bars set: drawn as plain text on what is behind them, not
  // as boxes to type into.
  for (QLineEdit* edit : {ui->SpeedEdit, ui->PitchEdit}) {
    edit->setFrame(false);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    edit->setPalette(p);
    edit->setCursor(Qt::ArrowCursor);
    edit->installEventFilter(this);
  }
  // FormCreate
  ui->MorseTextEdit->setText(kMorseTestText);
  setFixedSize(size().expandedTo(minimumSizeHint()));
}

TSetMorseOptionsDlg::~TSetMorseOptionsDlg() = default;

void TSetMorseOptionsDlg::Load(const TMorseOptions& o) {
  ui->SpeedBar->setRange(0, kMorseSpeedSteps - 1);
  ui->SpeedBar->setValue(o.speed);
  ui->SpeedBar->setPageStep(1);
  SpeedBarChange();
  // Maximum first, then the position, then the minimum: a position below 30 moves up to it.
  ui->PitchBar->setMaximum(300);
  ui->PitchBar->setValue(o.pitch / 10);
  ui->PitchBar->setMinimum(30);
  ui->PitchBar->setSingleStep(1);
  ui->PitchBar->setPageStep(10);
  PitchBarChange();
  ui->VolumeBar->setValue(o.volume);
}

TMorseOptions TSetMorseOptionsDlg::Get() const {
  TMorseOptions o;
  o.speed = static_cast<uint8_t>(ui->SpeedBar->value());
  o.pitch = static_cast<uint16_t>(ui->PitchBar->value() * 10);
  o.volume = static_cast<uint8_t>(ui->VolumeBar->value());
  return o;
}

void TSetMorseOptionsDlg::SpeedBarChange() {
  ui->SpeedEdit->setText(QString::fromStdString(MorseSpeedLabel(ui->SpeedBar->value())));
}

void TSetMorseOptionsDlg::PitchBarChange() {
  ui->PitchEdit->setText(QString::number(ui->PitchBar->value() * 10));
}

void TSetMorseOptionsDlg::MorseBtnClick() {
  try {
    output_->StartOutput(Utf8ToCp437(ui->MorseTextEdit->text().toStdString(), kNoMorseChar), Get());
  } catch (const std::exception& e) {
    output_->ShowErrorWhileSending(QString::fromLocal8Bit(e.what()));
  }
}

void TSetMorseOptionsDlg::StopBtnClick() { output_->StopOutput(); }

void TSetMorseOptionsDlg::RestoreBtnClick() {
  ui->SpeedBar->setValue(1);
  ui->PitchBar->setValue(80);
  ui->MorseTextEdit->setText(kMorseTestText);
}

void TSetMorseOptionsDlg::HelpBtnClick() { emit HelpRequested(kHelpContext); }

bool TSetMorseOptionsDlg::eventFilter(QObject* watched, QEvent* event) {
  // SpeedEditEnter, PitchEditEnter: the focus goes on to the bar below.
  if (event->type() == QEvent::FocusIn) {
    if (watched == ui->SpeedEdit) ui->SpeedBar->setFocus();
    if (watched == ui->PitchEdit) ui->PitchBar->setFocus();
  }
  return QDialog::eventFilter(watched, event);
}
