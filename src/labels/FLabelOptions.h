#pragma once
// "Extended label options": paper, margins, columns, printable area, font, printer and bin of
// the label layout; templates loaded and saved; preview; the choice of the label method.
// Changes written into the layout by the immediate handlers, tab changes, Save, Preview and
// Load stay when the dialog is cancelled.
#include <QDialog>
#include <functional>
#include <memory>

class TLabelReportForm;
class QLineEdit;

namespace Ui {
class TExtLabelOptDlg;
}

inline constexpr const char* kAskResetLabels =
    "This resets all label settings and clears the list of labels to print. Continue?";

class TExtLabelOptDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10016;
  TExtLabelOptDlg(TLabelReportForm& report, bool useOldMethod, QWidget* parent = nullptr);
  ~TExtLabelOptDlg() override;
  bool UseOldMethod() const { return useOldMethod_; }

  // Writes the controls into the layout; throws std::runtime_error for a number that does not
  // convert (the fields before it are applied).
  void ApplyLayout();
  void ShowLayout();

  // Tests answer the open and save file dialogs: (save?, title) -> file name, empty = cancel.
  static void SetFileDialogHandler(std::function<QString(bool save, const QString& title)> h);

 signals:
  void HelpRequested(int context);

 private:
  void UnitsCbxChange();
  void PrinternameCbxChange();
  void PaperBinCbxChange();
  void PortraitRadBtnClick();
  void PapernameCbxChange();
  void TabbedNotebook1Change(int index);
  void FontBtnClick();
  void SaveBtnClick();
  void LoadBtnClick();
  void LoadPredefBtnClick();
  void PreviewBtnClick();
  void ResetBtnClick();
  void OKBtnClick();
  QString AskFileName(bool save);
  void SetLength(QLineEdit* edit, double mm);
  double Length(const QLineEdit* edit) const;
  void LoadTemplateAndShow(const std::string& path);

  std::unique_ptr<Ui::TExtLabelOptDlg> ui;
  TLabelReportForm& report_;
  bool useOldMethod_;
  bool showing_ = false;
  int tab_ = 0;
};
