#include "textsearch/FProgressDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <algorithm>

#include "ui_FProgressDlg.h"
#include "widgets/UContrast.h"

TWaitDlg::TWaitDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TWaitDlg>()) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(sizeHint().expandedTo(QSize(300, 110)));
  // The percentage readable over the filled part of the gauge as beside it.
  MakeGaugeReadable(ui->Gauge, ui->Gauge->palette().color(QPalette::Active, QPalette::Highlight));
  connect(ui->AbortBtn, &QPushButton::clicked, this, &TWaitDlg::AbortBtnClick);
  SetAborted(false);
}

TWaitDlg::~TWaitDlg() = default;

void TWaitDlg::SetAborted(bool on) {
  aborted_ = on;
  ui->AbortBtn->setEnabled(!on);
}

int TWaitDlg::Progress() const { return ui->Gauge->value(); }

void TWaitDlg::SetProgress(int percent) { ui->Gauge->setValue(std::clamp(percent, 0, 100)); }

void TWaitDlg::AbortBtnClick() { SetAborted(true); }

bool TWaitDlg::Show() {
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  QCoreApplication::processEvents();
  return isVisible();
}

bool TWaitDlg::Update(int percent) {
  SetProgress(percent);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  return aborted_;
}

void TWaitDlg::Close() {
  QCoreApplication::processEvents();
  SetAborted(true);
  close();
}

void TWaitDlg::closeEvent(QCloseEvent* event) {
  if (aborted_)
    event->accept();
  else
    event->ignore();
}

void TWaitDlg::reject() {
  if (aborted_)
    QDialog::reject();
  else
    AbortBtnClick();
}
