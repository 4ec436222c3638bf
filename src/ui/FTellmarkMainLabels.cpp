// The main window's label commands: a label of the entry shown printed at once ("old" method)
// or marked for a label sheet ("new" method), the form feed, the label menu by method, and the
// label lines still spooled for the printer at program end.
#include <QAction>
#include <QApplication>
#include <QStatusBar>

#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "labels/FLabelOptions.h"
#include "labels/FPrintLabelsFromReportFile.h"
#include "labels/ULabel.h"
#include "labels/ULabelPrinter.h"
#include "labels/ULabelReport.h"
#include "report/UReport.h"
#include "ui/FQslLabels.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UDataText.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"

namespace {

// Sets Busy for the time of a command, also when it fails.
class TBusyGuard {
 public:
  explicit TBusyGuard(TCallViewForm* form) : form_(form) { form_->SetBusy(true); }
  ~TBusyGuard() { form_->SetBusy(false); }
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;

 private:
  TCallViewForm* form_;
};

void ShowPrintFailure(int code) {
  if (code == kLabelTooLargeCode)
    ShowErrorBox(kLabelTooLargeMessage);
  else
    ShowErrorBox(QString(kErrorDuringPrint) + FromData(LabelOutputErrorText(code)));
}

inline constexpr const char* kPrintProcessHint =
    "To start the printing process, choose \"Print labels\"  in the \"File\" menu.\r\r"
    "Do you like to see this message in the future?";
inline constexpr const char* kNoLabelDialog =
    "Error during creation of the dialog. Maybe there is no printer installed.";

}  // namespace

void TCallViewForm::SetUpLabelCommands() {
  // The clipboard's "Address only" block and the options dialog's form feed.
  AddressBlock = [](const TEntryRecord& rec, const TAddressStyle& style,
                    std::vector<std::string>& lines) {
    TAddressBlock block;
    if (!FormatAddress(rec, style, block)) return false;
    lines.assign(block.line.begin(), block.line.begin() + block.count);
    return true;
  };
  SendFormFeedToLabels = [](const TPrintOptions& options) { return SendFormFeed(options); };
  const std::pair<QAction*, void (TCallViewForm::*)()> actions[] = {
      {ui->FilePrintLabelItem, &TCallViewForm::FilePrintLabelItemClick},
      {ui->FileMarkLabelForPrintingItem, &TCallViewForm::FilePrintLabelItemClick},
      {ui->FileSendFormFeedItem, &TCallViewForm::FileSendFormFeedItemClick},
      {ui->FileStartPrintLabelsItem, &TCallViewForm::FileStartPrintLabelsItemClick},
      {ui->OptLabelPrintingItem, &TCallViewForm::OptLabelPrintingItemClick},
      {ui->ReportPrintLabelsMenuItem, &TCallViewForm::ReportPrintLabelsMenuItemClick},
      {ui->ReportPrintQslLabelsMenuItem, &TCallViewForm::ReportPrintQslLabelsMenuItemClick}};
  for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);
}

void TCallViewForm::UpdateLabelMenu() {
  // The new (template) method marks labels with Ctrl+P, the old one prints at once.
  const bool newMethod = settings_.printMethod;
  ui->FilePrintLabelItem->setEnabled(!newMethod);
  ui->FilePrintLabelItem->setShortcut(newMethod ? QKeySequence() : QKeySequence("Ctrl+P"));
  ui->FileMarkLabelForPrintingItem->setEnabled(newMethod);
  ui->FileMarkLabelForPrintingItem->setShortcut(newMethod ? QKeySequence("Ctrl+P")
                                                          : QKeySequence());
  ui->FileSendFormFeedItem->setEnabled(!newMethod);
  ui->FileStartPrintLabelsItem->setEnabled(newMethod);
}

void TCallViewForm::FilePrintLabelItemClick() {
  if (busy_ || modalRunning_) return;
  TBusyGuard busy(this);
  const TEntryRecord& entry = lookup_.Record();
  if (!settings_.printMethod) {
    bool ok = false;
    try {
      TAddressBlock block;
      ok = FormatAddress(entry, settings_.addressStyle, block) &&
           PrintLabelDirect(block, settings_.printOptions);
    } catch (...) {
      ok = false;
    }
    if (!ok)
      ShowPrintFailure(LastErrorCode());
    else if (IsPrinterDeviceName(settings_.printOptions.outfileName))
      statusBar()->showMessage(FromData(LabelSpoolStatusText()));
    return;
  }
  try {
    if (!LabelReport()->MarkLabel(FormatAddressLines(entry, settings_.addressStyle))) return;
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
    return;
  }
  if (settings_.printProcessInfo &&
      ShowInfoBox(ApplicationTitle(), kPrintProcessHint, mbYesNo | mbIconQuestion) == idNo)
    settings_.printProcessInfo = false;
}

TLabelReportForm* TCallViewForm::LabelReport() {
  if (!labelReport_) {
    labelReport_ = new TLabelReportForm(this);
    connect(labelReport_, &TLabelReportForm::LabelCountChanged, this,
            [this](size_t n) { statusBar()->showMessage(MarkedLabelsText(n)); });
  }
  return labelReport_;
}

void TCallViewForm::FileStartPrintLabelsItemClick() {
  if (busy_ || modalRunning_) return;
  modalRunning_ = true;
  LabelReport()->PrintMarkedLabels(this);
  modalRunning_ = false;
}

void TCallViewForm::OptLabelPrintingItemClick() {
  if (busy_ || modalRunning_) return;
  modalRunning_ = true;
  try {
    TExtLabelOptDlg dialog(*LabelReport(), !settings_.printMethod, this);
    connect(&dialog, &TExtLabelOptDlg::HelpRequested, this, [](int context) { ShowHelp(context); });
    if (dialog.exec() == QDialog::Accepted) {
      settings_.printMethod = !dialog.UseOldMethod();
      UpdateLabelMenu();
    }
  } catch (...) {
    ShowErrorBox(kNoLabelDialog);
  }
  modalRunning_ = false;
}

void TCallViewForm::ReportPrintLabelsMenuItemClick() {
  if (busy_ || modalRunning_) return;
  CloseReportFile();
  try {
    TPrintLabelsForm form(settings_.printOptions, settings_.addressStyle, settings_.printMethod,
                          LabelReport(), this);
    form.SetReportFile(ReportFileName());
    connect(&form, &TPrintLabelsForm::HelpRequested, this, [](int context) { ShowHelp(context); });
    modalRunning_ = true;
    form.exec();
    QApplication::processEvents();
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  modalRunning_ = false;
}

void TCallViewForm::ReportPrintQslLabelsMenuItemClick() {
  if (busy_ || modalRunning_) return;
  try {
    TQslLabelsForm form(this, HomeDir());
    modalRunning_ = true;
    form.exec();
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  modalRunning_ = false;
}

void TCallViewForm::FileSendFormFeedItemClick() {
  if (busy_ || modalRunning_) return;
  TBusyGuard busy(this);
  try {
    if (!SendFormFeed(settings_.printOptions)) ShowLabelOutputFailure(LastErrorCode());
  } catch (const std::exception& e) {
    ShowErrorBox(QString(kErrorDuringPrint) + e.what());
  }
}

void TCallViewForm::FlushLabelSpool() { FlushLabelSpoolAtExit(); }
