#pragma once
// The progress window of long loops ("Searching...", "Copying calls..."): a gauge 0..100 and an
// Abort button that sets the abort flag its owner polls. It is application-modal while shown, so
// only Abort acts, and it may be closed only while the flag is set.
#include <QDialog>
#include <memory>

#include "textsearch/UTextSearch.h"

namespace Ui {
class TWaitDlg;
}

class TWaitDlg : public QDialog, public TSearchProgress {
  Q_OBJECT

 public:
  explicit TWaitDlg(QWidget* parent = nullptr);
  ~TWaitDlg() override;

  // Setting the flag disables the Abort button, clearing it enables it.
  bool Aborted() const { return aborted_; }
  void SetAborted(bool on);
  int Progress() const;
  void SetProgress(int percent);

  // TSearchProgress: shown application-modal with pending messages run; Update sets the gauge,
  // lets pending messages run (twice) and reports the flag; Close sets the flag and closes.
  bool Show() override;
  bool Update(int percent) override;
  void Close() override;

 public slots:
  void AbortBtnClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Escape acts as Abort; the window stays until its owner closes it.
  void reject() override;

 private:
  std::unique_ptr<Ui::TWaitDlg> ui;
  bool aborted_ = false;
};
