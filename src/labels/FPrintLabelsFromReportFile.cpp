#include "labels/FPrintLabelsFromReportFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <stdexcept>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "labels/ULabel.h"
#include "labels/ULabelJob.h"
#include "labels/ULabelReport.h"
#include "ui_FPrintLabelsFromReportFile.h"
#include "widgets/UContrast.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

void ProcessMessages() { QCoreApplication::processEvents(); }

}  // namespace

TPrintLabelsForm::TPrintLabelsForm(const TPrintOptions& options, const TAddressStyle& style,
                                   bool newMethod, TLabelReportForm* report, QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TPrintLabelsForm>()),
      options_(options),
      style_(style),
      newMethod_(newMethod),
      report_(report) {
  ui->setupUi(this);
  setProperty("helpContext", kHelpContext);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  // A navy gauge; the percentage in bold, white over the navy part and dark beside it.
  MakeGaugeReadable(ui->Gauge, QColor(0, 0, 128));
  QFont bold = ui->Gauge->font();
  bold.setBold(true);
  ui->Gauge->setFont(bold);
  ui->Gauge->setAlignment(Qt::AlignCenter);
  connect(ui->StartBtn, &QPushButton::clicked, this, &TPrintLabelsForm::StartBtnClick);
  connect(ui->StopBtn, &QPushButton::clicked, this, &TPrintLabelsForm::StopBtnClick);
  connect(ui->PauseBtn, &QPushButton::clicked, this, &TPrintLabelsForm::PauseBtnClick);
  connect(ui->SendFormFeedBtn, &QPushButton::clicked, this,
          &TPrintLabelsForm::SendFormFeedBtnClick);
  connect(ui->CloseBtn, &QPushButton::clicked, this, [this] {
    if (FormCloseQuery()) accept();
  });
  connect(ui->HelpBtn, &QPushButton::clicked, this, [this] { emit HelpRequested(kHelpContext); });
  ui->SendFormFeedBtn->setText(newMethod_ ? "Start p&rinting..." : "Send &form feed");
  SetJobState(jsNotStarted);
  adjustSize();
  CentreOnScreen(this);
}

TPrintLabelsForm::~TPrintLabelsForm() { CloseJobFile(); }

void TPrintLabelsForm::SetReportFile(const std::string& name) {
  reportFile_ = name;
  ui->ReportfilenameLbl->setText(QString::fromLocal8Bit(name.c_str()));
}

void TPrintLabelsForm::SetJobState(TJobState s) {
  static const char* const kStatus[] = {"Not started", "Estimating...", "Printing...", "Pause",
                                        "Finished."};
  state_ = s;
  ui->StatusLbl->setText(kStatus[s]);
  ui->StartBtn->setEnabled(s == jsNotStarted || s == jsPaused || s == jsFinished);
  ui->StopBtn->setEnabled(s == jsCounting || s == jsPrinting || s == jsPaused);
  ui->PauseBtn->setEnabled(s == jsPrinting);
  ui->CloseBtn->setEnabled(s == jsNotStarted || s == jsPaused || s == jsFinished);
  ui->SendFormFeedBtn->setEnabled(s == jsNotStarted || s == jsFinished);
}

void TPrintLabelsForm::CloseJobFile() { reader_.Close(); }

void TPrintLabelsForm::StartBtnClick() {
  try {
    if (state_ == jsNotStarted || state_ == jsFinished) {
      SetJobState(jsCounting);
      CountLines();
      if (state_ == jsCounting) {
        SetJobState(jsPrinting);
        RunJob();
      }
    } else if (state_ == jsPaused) {
      RunJob();
    }
  } catch (const std::exception& e) {
    ShowErrorBox(FromData(e.what()));
  }
}

void TPrintLabelsForm::CountLines() {
  CloseJobFile();
  ui->Gauge->setValue(0);
  linesRead_ = 0;
  totalLines_ = 0;
  try {
    if (IsDeviceFileName(reportFile_)) throw std::runtime_error(kIllegalReportFileName);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TCursor {
      ~TCursor() { QApplication::restoreOverrideCursor(); }
    } cursor;
    if (!reader_.Open(reportFile_)) throw std::runtime_error(ErrorCodeText(LastErrorCode()));
    std::ifstream counter(reportFile_, std::ios::binary);
    std::string line;
    while (state_ == jsCounting && std::getline(counter, line)) {
      ++totalLines_;
      ProcessMessages();
    }
  } catch (...) {
    SetJobState(jsFinished);
    throw;
  }
}

void TPrintLabelsForm::RunJob() {
  try {
    if (state_ == jsPaused) SetJobState(jsPrinting);
    std::string call;
    while (state_ == jsPrinting && reader_.Current(call)) {
      linesRead_ = reader_.LinesRead();
      ui->Gauge->setValue(JobProgress(linesRead_, totalLines_));
      emit LineRead(linesRead_);
      ProcessMessages();
      // Paused or stopped meanwhile: the line stays for Start.
      if (state_ != jsPrinting) break;
      reader_.Done();
      if (RemoveBlanks(call).empty()) continue;
      TEntryRecord entry;
      const TFindCallResult found = FindCallEntry(call, entry);
      if (found == TFindCallResult::IOError)
        throw std::runtime_error("Error during I/O: " + ErrorCodeText(LastErrorCode()));
      if (found == TFindCallResult::NotFound) {
        if (!ignoreNotFound_ &&
            ShowInfoBox(ApplicationTitle(), FromData(CallNotFoundQuestion(call, linesRead_)),
                        mbYesNo | mbIconQuestion) == idYes)
          ignoreNotFound_ = true;
      } else if (!PrintOneLabel(entry)) {
        const int code = LastErrorCode();
        if (code != kLabelTooLargeCode) throw std::runtime_error(LabelOutputErrorText(code));
        if (!ignoreTooLarge_ &&
            ShowInfoBox(ApplicationTitle(), FromData(LabelTooLargeQuestion(call, linesRead_)),
                        mbYesNo | mbIconQuestion) == idYes)
          ignoreTooLarge_ = true;
      }
      emit LineDone(linesRead_);
      ProcessMessages();
    }
    if (state_ != jsPaused) CloseJobFile();
    if (state_ == jsPrinting) SetJobState(jsFinished);
  } catch (const std::exception& e) {
    CloseJobFile();
    SetJobState(jsFinished);
    throw std::runtime_error(std::string(kErrorDuringPrint) + e.what());
  }
}

bool TPrintLabelsForm::PrintOneLabel(const TEntryRecord& entry) {
  if (!newMethod_) {
    TAddressBlock block;
    return FormatAddress(entry, style_, block) && PrintLabelDirect(block, options_);
  }
  if (!report_) throw std::runtime_error("Internal error 1000");
  report_->AddLabel(FormatAddressLines(entry, style_));
  return true;
}

void TPrintLabelsForm::PauseBtnClick() {
  if (state_ == jsPrinting) SetJobState(jsPaused);
}

void TPrintLabelsForm::StopBtnClick() {
  if (state_ < jsCounting || state_ > jsPaused) return;
  if (ShowInfoBox(ApplicationTitle(), kAskAbortPrintJob, mbOKCancel | mbIconWarning) == idOK) {
    CloseJobFile();
    SetJobState(jsFinished);
  }
}

void TPrintLabelsForm::SendFormFeedBtnClick() {
  if (newMethod_) {
    if (report_) report_->PrintMarkedLabels(this);
    return;
  }
  try {
    if (!SendFormFeed(options_)) ShowLabelOutputFailure(LastErrorCode());
  } catch (const std::exception& e) {
    ShowErrorBox(QString(kErrorDuringPrint) + e.what());
  }
}

bool TPrintLabelsForm::FormCloseQuery() {
  if (state_ >= jsCounting && state_ <= jsPaused) {
    SetJobState(jsPaused);
    if (ShowInfoBox(ApplicationTitle(), kAskAbortPrintJob, mbOKCancel | mbIconWarning) == idOK) {
      CloseJobFile();
      SetJobState(jsFinished);
    }
  }
  return state_ == jsNotStarted || state_ == jsFinished;
}

void TPrintLabelsForm::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery())
    event->accept();
  else
    event->ignore();
}

void TPrintLabelsForm::reject() {
  if (FormCloseQuery()) QDialog::reject();
}
