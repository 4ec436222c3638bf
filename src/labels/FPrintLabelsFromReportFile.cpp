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
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

void ProcessMessages() { QCoreApplication::processEvents(); }

// The rest of a line after its first characters were read.
void SkipLine(std::istream& in) { in.ignore(std::numeric_limits<std::streamsize>::max(), '\n'); }

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
  // A navy gauge; the percentage in grey reads on the bar and beside it.
  ui->Gauge->setStyleSheet(
      "QProgressBar { color: #808080; font-weight: bold; }"
      " QProgressBar::chunk { background-color: navy; }");
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

void TPrintLabelsForm::CloseJobFile() {
  if (file_.is_open()) file_.close();
  file_.clear();
}

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
    file_.open(reportFile_, std::ios::binary);
    if (!file_.is_open()) throw std::runtime_error(ErrorCodeText(IOCodeFromErrno(errno)));
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
    while (state_ == jsPrinting && file_.peek() != std::char_traits<char>::eof()) {
      char buf[16] = {};
      std::streamsize got = 0;
      while (got < 15) {
        const int c = file_.peek();
        if (c == std::char_traits<char>::eof() || c == '\n') break;
        buf[got++] = static_cast<char>(file_.get());
      }
      SkipLine(file_);
      std::string call(buf, static_cast<size_t>(got));
      if (!call.empty() && call.back() == '\r') call.pop_back();
      ++linesRead_;
      ui->Gauge->setValue(JobProgress(linesRead_, totalLines_));
      ProcessMessages();
      if (RemoveBlanks(call).empty() || state_ != jsPrinting) continue;
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
    if (!SendFormFeed(options_))
      ShowErrorBox(QString(kErrorDuringPrint) + FromData(LabelOutputErrorText(LastErrorCode())));
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
