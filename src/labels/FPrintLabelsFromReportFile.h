#pragma once
// "Print labels from report file": a label for every call of the report file, printed at once
// ("old" method) or marked for a label sheet ("new" method), with a counting pass, pause, stop
// and the two ignore-this-error questions.
#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

#include "dataset/UEntry.h"
#include "labels/ULabelJob.h"
#include "settings/USettings.h"

class TLabelReportForm;

namespace Ui {
class TPrintLabelsForm;
}

class TPrintLabelsForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10011;
  enum TJobState { jsNotStarted, jsCounting, jsPrinting, jsPaused, jsFinished };

  // report receives the labels of the new method (it may be null under the old one).
  TPrintLabelsForm(const TPrintOptions& options, const TAddressStyle& style, bool newMethod,
                   TLabelReportForm* report, QWidget* parent = nullptr);
  ~TPrintLabelsForm() override;

  void SetReportFile(const std::string& name);
  TJobState State() const { return state_; }
  int64_t TotalLines() const { return totalLines_; }
  int64_t LinesRead() const { return linesRead_; }

  void StartBtnClick();
  void StopBtnClick();
  void PauseBtnClick();
  void SendFormFeedBtnClick();

 signals:
  void HelpRequested(int context);
  // After a line of the printing pass was read, before its label, and after its label (tests
  // pause and stop here).
  void LineRead(int64_t linesRead);
  void LineDone(int64_t linesRead);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void SetJobState(TJobState s);
  void CountLines();
  void RunJob();
  // One label; false with the last error code on failure (201: too large).
  bool PrintOneLabel(const TEntryRecord& entry);
  bool FormCloseQuery();
  void CloseJobFile();

  std::unique_ptr<Ui::TPrintLabelsForm> ui;
  TPrintOptions options_;
  TAddressStyle style_;
  bool newMethod_;
  TLabelReportForm* report_;
  std::string reportFile_;
  TReportLineReader reader_;
  int64_t totalLines_ = 0;
  int64_t linesRead_ = 0;
  TJobState state_ = jsNotStarted;
  bool ignoreNotFound_ = false;
  bool ignoreTooLarge_ = false;
};
