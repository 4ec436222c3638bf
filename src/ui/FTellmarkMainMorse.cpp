// The main window's Morse commands: sending the entry shown (F9) through the "CW Output" window,
// stopping it (Esc), the Morse options dialog, and the refusal to close while output runs.
#include <QAction>
#include <QCoreApplication>
#include <QThread>

#include "morse/FCWOutput.h"
#include "morse/FMorseOptions.h"
#include "morse/UMorseWave.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

const char* const kMorseStillActive =
    "Morsecode output is still active. Wait until it has finished its job end or cancel it by "
    "pressing the ESC key.";
constexpr int kCloseStopTries = 10;
constexpr int kCloseStopWaitMs = 100;

}  // namespace

void TCallViewForm::SetUpMorseCommands() {
  cwForm_ = new TCWOutputForm(this);
  const std::pair<QAction*, void (TCallViewForm::*)()> actions[] = {
      {ui->CWMorsecodeOutputItem, &TCallViewForm::EditMorsenMenuClick},
      {ui->CWStopMorsingItem, &TCallViewForm::CWStopMorsingItemClick},
      {ui->OptMorseItem, &TCallViewForm::OptMorseItemClick}};
  for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);
}

void TCallViewForm::EditMorsenMenuClick() {
  if (busy_) return;
  try {
    cwForm_->show();
    cwForm_->raise();
    cwForm_->StartOutput(MorseEntryText(lookup_.Record()), settings_.morseOptions);
  } catch (const std::exception& e) {
    cwForm_->ShowErrorWhileSending(QString::fromLocal8Bit(e.what()));
  }
}

void TCallViewForm::CWStopMorsingItemClick() { cwForm_->StopOutput(); }

void TCallViewForm::OptMorseItemClick() {
  if (busy_ || modalRunning_) return;
  modalRunning_ = true;
  try {
    TSetMorseOptionsDlg dialog(cwForm_, this);
    connect(&dialog, &TSetMorseOptionsDlg::HelpRequested, this,
            [](int context) { ShowHelp(context); });
    CentreOnScreen(&dialog);
    dialog.Load(settings_.morseOptions);
    if (dialog.exec() == QDialog::Accepted) settings_.morseOptions = dialog.Get();
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  modalRunning_ = false;
}

bool TCallViewForm::MorseCloseQuery() {
  // Up to 10 stop requests 100 ms apart; the worker's calls and its end run in between.
  for (int i = 0; i < kCloseStopTries && cwForm_->IsRunning(); ++i) {
    cwForm_->StopOutput();
    QThread::msleep(kCloseStopWaitMs);
    QCoreApplication::processEvents();
  }
  if (!cwForm_->IsRunning()) return true;
  ShowErrorBox(kMorseStillActive);
  return false;
}
