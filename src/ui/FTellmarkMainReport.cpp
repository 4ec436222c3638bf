// The main window's report commands: adding the entry shown (by hand or, in the mode "always",
// whenever an entry is shown), adding every call of a search result or of an ADIF log, editing
// and clearing the report file, and the enabled state of the add commands by the report mode.
#include <QAction>
#include <QFileDialog>
#include <set>

#include "adif/UAdifFill.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/USafeFile.h"
#include "labels/ULabelJob.h"
#include "report/UReport.h"
#include "textsearch/Dbwort.h"
#include "textsearch/FProgressDlg.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UDataText.h"
#include "widgets/UDocuments.h"
#include "widgets/UMessages.h"

namespace {

// The results browsed by the main window, read as a reference list.
class TResultSourceList : public TAllgVerweisListe {
 public:
  explicit TResultSourceList(const TResultSource& source) : source_(source) {
    count_ = source.Count();
  }
  int32_t GetItem(int32_t i) override { return i >= 1 && i <= count_ ? source_.Item(i) : -1; }
  void SetItem(int32_t, int32_t) override {}

 private:
  const TResultSource& source_;
};

}  // namespace

void TCallViewForm::SetUpReportCommands() {
  const std::pair<QAction*, void (TCallViewForm::*)()> actions[] = {
      {ui->AddEntryToReportMenuItem, &TCallViewForm::AddEntryToReportMenuItemClick},
      {ui->AddSearchResultsToReportMenuItem, &TCallViewForm::AddSearchResultsToReportMenuItemClick},
      {ui->AddAdifLogToReportMenuItem, &TCallViewForm::AddAdifLogToReportMenuItemClick},
      {ui->ReportEditReportFileMenuItem, &TCallViewForm::ReportEditReportFileMenuItemClick},
      {ui->ReportClearReportFileMenuItem, &TCallViewForm::ReportClearReportFileMenuItemClick}};
  for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);
  // Report mode "always": every entry shown is added (the rule is the core's).
  connect(this, &TCallViewForm::EntryShown, this, [this] {
    const std::string call = ReportCall(lookup_.Record());
    const TReportResult r = ReportShownEntry(settings_.reportOptions.mode, call);
    if (!r)
      ShowErrorBox(FromData(r.message));
    else if (settings_.reportOptions.mode == rmAlways)
      ShowReportAdded(FromData(call));
  });
}

void TCallViewForm::ShowReportAdded(const QString& what) {
  ShowStatus(FromData(ReportAddedText(ToData(what), ReportCallCount())));
}

void TCallViewForm::ApplyReportSettings() {
  SetReportFileName(settings_.reportOptions.fileName);
  UpdateReportMenu();
}

void TCallViewForm::UpdateReportMenu() {
  const bool add = ReportAddCommandsEnabled(settings_.reportOptions.mode);
  ui->AddEntryToReportMenuItem->setEnabled(add);
  ui->AddSearchResultsToReportMenuItem->setEnabled(add);
  ui->AddAdifLogToReportMenuItem->setEnabled(add);
}

void TCallViewForm::AddCurrentToReport() {
  const bool wasBusy = busy_;
  SetBusy(true);
  const std::string call = ReportCall(lookup_.Record());
  const TReportResult r = AddEntryToReport(call);
  SetBusy(wasBusy);
  if (!r)
    ShowErrorBox(FromData(r.message));
  else
    ShowReportAdded(FromData(call));
}

void TCallViewForm::AddEntryToReportMenuItemClick() {
  if (busy_ || modalRunning_) return;
  AddCurrentToReport();
}

void TCallViewForm::AddSearchResultsToReportMenuItemClick() {
  if (busy_ || modalRunning_ || lookup_.ResultCount() <= 0 || !lookup_.Results()) return;
  modalRunning_ = true;
  try {
    TResultSourceList results(*lookup_.Results());
    TWaitDlg progress(this);
    progress.setWindowTitle(kCopyingCallsCaption);
    const TReportCopyResult copied = AddSearchResultsToReport(
        lookup_.Database(), results, &progress,
        [](const std::string& message) { ShowErrorBox(FromData(message)); });
    const std::string text = ReportAddedText(CallsText(copied.written), ReportCallCount());
    ShowStatus(FromData(text) + (copied.aborted ? "; aborted" : ""));
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  modalRunning_ = false;
}

void TCallViewForm::AddAdifLogToReportMenuItemClick() {
  if (busy_ || modalRunning_) return;
  modalRunning_ = true;
  const QString file = AskAdifLog ? AskAdifLog()
                                  : QFileDialog::getOpenFileName(
                                        this, {}, {}, "ADIF logs (*.adi *.ADI);;All files (*)");
  modalRunning_ = false;
  if (file.isEmpty()) return;
  const bool wasBusy = busy_;
  SetBusy(true);
  try {
    std::string text;
    if (const TSafeFileResult read = ReadRegularFile(ToLocalPath(file), text); !read)
      throw std::runtime_error(read.message);
    const TAdifLog log = TAdifLog::Parse(std::move(text));
    // The calls of the sound records go in; damage is shown once, with where it is.
    const std::vector<std::string> calls = AdifLogCalls(log).calls;
    const TReportCopyResult added = AddCallsToReport(
        calls, [](const std::string& message) { ShowErrorBox(FromData(message)); });
    // Which of them the directory does not have: they get no address label.
    std::vector<std::string> notFound;
    std::set<std::string> asked;
    for (const std::string& call : calls) {
      if (!asked.insert(call).second) continue;
      TEntryRecord rec;
      if (FindCallEntry(call, rec) == TFindCallResult::NotFound) notFound.push_back(call);
    }
    ShowStatus(FromData(ReportAddedText(CallsText(added.written), ReportCallCount())));
    ShowInfoBox(ApplicationTitle(),
                QString::fromStdString(ReportLogAddedText(added.written, notFound)),
                notFound.empty() ? mbOK | mbIconInformation : mbOK | mbIconWarning);
    if (!log.Problems().empty())
      ShowErrorBox(QString::fromStdString("ADIF log: " + AdifProblemText(log.Problems().front())));
  } catch (const std::exception& e) {
    ShowHandlingError(e);
  }
  SetBusy(wasBusy);
}

void TCallViewForm::ReportEditReportFileMenuItemClick() {
  if (busy_ || modalRunning_) return;
  const std::string name = PrepareReportFileForEditor();
  if (OpenInNotepad(FromLocalPath(name)) <= 32) ShowErrorBox(kCantStartNotepad);
}

void TCallViewForm::ReportClearReportFileMenuItemClick() {
  if (busy_ || modalRunning_) return;
  if (const TReportResult r = ClearReportFile(); !r)
    ShowErrorBox(FromData(r.message));
  else
    ShowStatus("The report file was cleared");
}
