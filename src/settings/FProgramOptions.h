#pragma once
// The program options dialog "Program Options": clipboard format, own locator, notes data file,
// report mode and file, label format and output, address style. It edits copies and validates
// them before OK; the report and label buttons act at once through the hooks the main window
// sets.
#include <QDialog>
#include <functional>
#include <memory>

#include "settings/UProgramOptions.h"
#include "settings/USettings.h"

namespace Ui {
class TSetOptDlg;
}

class TSetOptDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10012;

  explicit TSetOptDlg(QWidget* parent = nullptr);
  ~TSetOptDlg() override;

  // Fills the controls from the program settings.
  void SetOptions(const TProgramSettings& settings);
  // Each file-name field's tooltip is its whole path.
  void FitPathFields();

  // The dialog's copies, taken from the controls when it closed.
  const TPrintOptions& PrintOptions() const { return printOptions_; }
  const TReportOptions& ReportOptions() const { return reportOptions_; }
  int32_t ClipboardFormat() const { return clipboardFormat_; }
  const TAddressStyle& AddressStyle() const { return addressStyle_; }
  const std::string& Locator() const { return locator_; }
  // The notes data file edit (local file name, at most 255 characters).
  std::string NotesDataFilename() const;

  // Runs the validation: the first failure shows its message and switches to its page.
  bool Validate();
  // The texts of the edits the validation reads.
  TProgramOptionsInput Input() const;

  // Hooks of the buttons that act at once; unset hooks leave their buttons disabled.
  std::function<void()> EditReportFile;   // opens the report file in the text editor
  std::function<void()> ClearReportFile;  // clears the report file
  // Sends a form feed to the label output; false with the last error code set on failure.
  std::function<bool(const TPrintOptions& options)> SendFormFeed;
  // Prints a test label with the label options as they stand in the dialog.
  std::function<void(const TPrintOptions& options)> TestPrintLabel;
  // Asks for a notes file name; tests replace the file dialog. Empty = cancelled.
  std::function<QString(const QString& current)> AskNotesFile;
  // Enables the buttons whose hooks are set (call after setting them).
  void UpdateHookButtons();

 signals:
  // The report file edit changed: the report file takes the name at once (local file name).
  void ReportFileNameChanged(const std::string& name);

 public slots:
  void RprtRestoreBtnClick();
  void LblRestoreDefaultsBtnClick();
  void RprtEditFileBtnClick();
  void ClearFileBtnClick();
  void SendFormFeedBtnClick();
  void LblTestPrintBtnClick();
  void ClearExportFileBtnClick();
  void BrowseBtnClick();
  void HelpBtnClick();
  void done(int result) override;

 private:
  void CopyControls();

  std::unique_ptr<Ui::TSetOptDlg> ui;
  TPrintOptions printOptions_;
  TReportOptions reportOptions_;
  int32_t clipboardFormat_ = 0;
  TAddressStyle addressStyle_;
  std::string locator_;
};
